find_package(crcstamp 2.0 CONFIG REQUIRED)
target_link_libraries(firmware PRIVATE crcstamp::check)
add_custom_command(TARGET firmware POST_BUILD
  COMMAND ${HEX_CONVERTER} $<TARGET_FILE:firmware> ${CMAKE_CURRENT_BINARY_DIR}/firmware.hex)
crcstamp_stamp_hex(TARGET firmware HEX ${CMAKE_CURRENT_BINARY_DIR}/firmware.hex)
