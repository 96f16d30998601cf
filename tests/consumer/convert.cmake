configure_file(${SAMPLE} ${CMAKE_ARGV5} COPYONLY)  # a stand-in HEX converter: the sample, whatever the ELF
