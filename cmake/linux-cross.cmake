# Shared part of the Linux cross toolchains (linux-<arch>.cmake), which set
# BIN2DD_CROSS_TRIPLE, BIN2DD_CROSS_PROCESSOR and BIN2DD_CROSS_QEMU first.
# Compilers from Debian's crossbuild-essential-<arch>. Programs for another
# CPU run under qemu-user with the cross C library as their root; where the
# host runs the CPU natively (i386 on x86-64) everything is linked statically
# instead and runs without emulation.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${BIN2DD_CROSS_PROCESSOR})

set(CMAKE_C_COMPILER ${BIN2DD_CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${BIN2DD_CROSS_TRIPLE}-g++)

set(CMAKE_FIND_ROOT_PATH /usr/${BIN2DD_CROSS_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# BIN2DD_CROSS_ALL_STATIC links every program statically under the emulator
# too, so that none needs the cross C library at run time.
if(BIN2DD_CROSS_QEMU)
  find_program(BIN2DD_QEMU ${BIN2DD_CROSS_QEMU} REQUIRED)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${BIN2DD_QEMU})
  if(NOT BIN2DD_CROSS_ALL_STATIC)
    list(APPEND CMAKE_CROSSCOMPILING_EMULATOR -L /usr/${BIN2DD_CROSS_TRIPLE})
  endif()
else()
  set(BIN2DD_CROSS_ALL_STATIC ON)
endif()
if(BIN2DD_CROSS_ALL_STATIC)
  set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
endif()
