# C programs for small cores, built by their own compilers and run in simulators, where the host has them
# (never when cross-compiling): an ATmega1284P by avr-gcc in simavr, an STM8S208 by SDCC in ucsim, where int is 16
# bits; a Cortex-M0 (micro:bit) and a Cortex-M4 (MPS2 AN386) by arm-none-eabi-gcc in qemu-system-arm, and an RV32IMC
# (virt) by riscv64-unknown-elf-gcc in qemu-system-riscv32, with picolibc over semihosting.
#   CRCSTAMP_SMALL_CORES          the cores found: avr, stm8, m0, m4, rv32
#   CRCSTAMP_<core>_BUILDS        the builds each is tried in: the size one first
#   CRCSTAMP_<core>_RIG           its rig's source, beside the floor in bench/
#   crcstamp_small_core_program(CORE BUILD NAME SOURCES... FLAGS... DEPENDS...)
#     builds NAME from SOURCES with warnings as errors, in every build, and sets NAME_RUN to the command that
#     runs it.
find_program(CRCSTAMP_AVR_GCC avr-gcc)
find_program(CRCSTAMP_SIMAVR simavr)
find_program(CRCSTAMP_SDCC sdcc)
find_program(CRCSTAMP_SSTM8 sstm8)
find_program(CRCSTAMP_ARM_GCC arm-none-eabi-gcc)
find_program(CRCSTAMP_ARM_OBJDUMP arm-none-eabi-objdump)
find_program(CRCSTAMP_QEMU_ARM qemu-system-arm)
find_program(CRCSTAMP_RISCV_GCC riscv64-unknown-elf-gcc)
find_program(CRCSTAMP_QEMU_RISCV qemu-system-riscv32)
find_file(CRCSTAMP_ARM_PICOLIBC picolibc.specs PATHS /usr/lib/picolibc/arm-none-eabi NO_DEFAULT_PATH)
find_file(CRCSTAMP_RISCV_PICOLIBC picolibc.specs PATHS /usr/lib/picolibc/riscv64-unknown-elf NO_DEFAULT_PATH)
set(CRCSTAMP_SMALL_CORES)
if(NOT CMAKE_CROSSCOMPILING)
  if(CRCSTAMP_AVR_GCC AND CRCSTAMP_SIMAVR)
    list(APPEND CRCSTAMP_SMALL_CORES avr)
  endif()
  if(CRCSTAMP_SDCC AND CRCSTAMP_SSTM8)
    list(APPEND CRCSTAMP_SMALL_CORES stm8)
  endif()
  if(CRCSTAMP_ARM_GCC AND CRCSTAMP_ARM_OBJDUMP AND CRCSTAMP_QEMU_ARM AND CRCSTAMP_ARM_PICOLIBC)
    list(APPEND CRCSTAMP_SMALL_CORES m0 m4)
  endif()
  if(CRCSTAMP_RISCV_GCC AND CRCSTAMP_QEMU_RISCV AND CRCSTAMP_RISCV_PICOLIBC)
    list(APPEND CRCSTAMP_SMALL_CORES rv32)
  endif()
endif()
set(CRCSTAMP_avr_BUILDS Os O2)
set(CRCSTAMP_stm8_BUILDS size speed)
foreach(core avr stm8)
  set(CRCSTAMP_${core}_RIG rig_${core}.c)
endforeach()
# The QEMU cores: the compiler with its flags, the memory (flash at, its size, RAM at, its size) and the machine.
foreach(core m0 m4 rv32)
  set(CRCSTAMP_${core}_BUILDS Os O2)
  set(CRCSTAMP_${core}_RIG rig_qemu.c)
endforeach()
set(m0_compiler ${CRCSTAMP_ARM_GCC} -mcpu=cortex-m0 -mthumb)
set(m0_memory 0 0x40000 0x20000000 0x4000)
set(m0_machine ${CRCSTAMP_QEMU_ARM} -M microbit)
set(m4_compiler ${CRCSTAMP_ARM_GCC} -mcpu=cortex-m4 -mthumb)
set(m4_memory 0 0x400000 0x20000000 0x400000)
set(m4_machine ${CRCSTAMP_QEMU_ARM} -M mps2-an386)
set(rv32_compiler ${CRCSTAMP_RISCV_GCC} -march=rv32imc -mabi=ilp32)
set(rv32_memory 0x80000000 0x100000 0x80100000 0x100000)
set(rv32_machine ${CRCSTAMP_QEMU_RISCV} -M virt -bios none)

function(crcstamp_small_core_program core build name)
  cmake_parse_arguments(PARSE_ARGV 3 arg "" "" "SOURCES;FLAGS;DEPENDS")
  if(core STREQUAL avr)
    set(program ${name}.elf)
    set(commands COMMAND ${CRCSTAMP_AVR_GCC} -mmcu=atmega1284p -${build} -std=c99 -pedantic -Wall -Wextra -Wshadow
                 -Wconversion -Werror ${arg_FLAGS} -o ${program} ${arg_SOURCES})
    set(run ${CRCSTAMP_SIMAVR} -m atmega1284p -f 16000000 ${program})
  elseif(NOT core STREQUAL stm8)  # counted in QEMU's trace: executed instructions, on the Cortex-M0 priced in cycles
    set(program ${name}.elf)
    set(memory)
    foreach(symbol flash flash_size ram ram_size)
      list(POP_FRONT ${core}_memory value)
      list(APPEND memory -Wl,--defsym=__${symbol}=${value})
    endforeach()
    set(commands COMMAND ${${core}_compiler} -${build} -std=c99 -pedantic -Wall -Wextra -Wshadow -Wconversion -Werror
                 --specs=picolibc.specs --oslib=semihost --crt0=hosted -DCRCSTAMP_RIG_TRACED ${arg_FLAGS} ${memory} -o ${program}
                 ${arg_SOURCES})
    set(run bash ${PROJECT_SOURCE_DIR}/bench/trace_cost.sh $<IF:$<STREQUAL:${core},m0>,cycles,instructions>
        ${CRCSTAMP_ARM_OBJDUMP} ${program} ${${core}_machine} -nographic -semihosting-config enable=on,target=native)
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
