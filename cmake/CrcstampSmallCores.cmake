# C programs for small cores, built by their own compilers and run in simulators, where the host has them
# (never when cross-compiling): an ATmega1284P by avr-gcc in simavr, an STM8S208 by SDCC in ucsim.
#   CRCSTAMP_SMALL_CORES          the cores found: avr, stm8
#   CRCSTAMP_<core>_BUILDS        the builds each is tried in: the size one first
#   crcstamp_small_core_program(CORE BUILD NAME SOURCES... FLAGS... DEPENDS...)
#     builds NAME from SOURCES with warnings as errors, in every build, and sets NAME_RUN to the command that
#     runs it.
find_program(CRCSTAMP_AVR_GCC avr-gcc)
find_program(CRCSTAMP_SIMAVR simavr)
find_program(CRCSTAMP_SDCC sdcc)
find_program(CRCSTAMP_SSTM8 sstm8)
set(CRCSTAMP_SMALL_CORES)
if(CRCSTAMP_AVR_GCC AND CRCSTAMP_SIMAVR AND NOT CMAKE_CROSSCOMPILING)
  list(APPEND CRCSTAMP_SMALL_CORES avr)
endif()
if(CRCSTAMP_SDCC AND CRCSTAMP_SSTM8 AND NOT CMAKE_CROSSCOMPILING)
  list(APPEND CRCSTAMP_SMALL_CORES stm8)
endif()
set(CRCSTAMP_avr_BUILDS Os O2)
set(CRCSTAMP_stm8_BUILDS size speed)

function(crcstamp_small_core_program core build name)
  cmake_parse_arguments(PARSE_ARGV 3 arg "" "" "SOURCES;FLAGS;DEPENDS")
  if(core STREQUAL avr)
    set(program ${name}.elf)
    set(commands COMMAND ${CRCSTAMP_AVR_GCC} -mmcu=atmega1284p -${build} -std=c99 -pedantic -Wall -Wextra -Wshadow
                 -Wconversion -Werror ${arg_FLAGS} -o ${program} ${arg_SOURCES})
    set(run ${CRCSTAMP_SIMAVR} -m atmega1284p -f 16000000 ${program})
  else()  # SDCC compiles one source a call, then links the objects
    set(program ${name}.ihx)
    set(commands COMMAND ${CMAKE_COMMAND} -E make_directory ${name})
    foreach(source ${arg_SOURCES})
      list(APPEND commands COMMAND ${CRCSTAMP_SDCC} -mstm8 --std-c99 --opt-code-${build} --Werror ${arg_FLAGS}
           -c ${source} -o ${name}/)
      get_filename_component(object ${source} NAME_WE)
      list(APPEND objects ${name}/${object}.rel)
    endforeach()
    list(APPEND commands COMMAND ${CRCSTAMP_SDCC} -mstm8 -o ${program} ${objects})
    # The program talks to ucsim through its simulator interface at 0x7FFF: it prints and stops the run there.
    set(run ${CRCSTAMP_SSTM8} -t STM8S208 -I if=rom[0x7fff] -b -q -e run -e quit ${program})
  endif()
  add_custom_command(OUTPUT ${program} ${commands} DEPENDS ${arg_SOURCES} ${arg_DEPENDS} VERBATIM COMMAND_EXPAND_LISTS)
  add_custom_target(${name} ALL DEPENDS ${program})
  set(${name}_RUN ${run} PARENT_SCOPE)
endfunction()
