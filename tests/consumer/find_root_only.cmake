# As a cross-compiling firmware project's toolchain file has it: packages only under the target's root.
set(CMAKE_FIND_ROOT_PATH /nonexistent)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
