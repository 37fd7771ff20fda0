# Cross-compiles for Linux on 32-bit x86. Where the kernel runs i386
# programs, they run natively, every one linked statically; where it refuses
# them ("Exec format error": a kernel without IA-32 emulation, or a sandbox
# that forbids it), they run under qemu-i386-static like the other CPUs. One
# small static program, run once, tells which; BIN2DD_I386_NATIVE=OFF forces
# the emulator.
set(BIN2DD_CROSS_TRIPLE i686-linux-gnu)
set(BIN2DD_CROSS_PROCESSOR i686)
# The toolchain file is read again for every compiler check, in the same
# process: the environment carries the answer there.
if(NOT DEFINED BIN2DD_I386_NATIVE AND DEFINED ENV{BIN2DD_I386_NATIVE})
  set(BIN2DD_I386_NATIVE $ENV{BIN2DD_I386_NATIVE})
endif()
if(NOT DEFINED BIN2DD_I386_NATIVE)
  set(probe ${CMAKE_BINARY_DIR}/i386-probe)
  execute_process(
    COMMAND sh -c "printf 'int main(void) { return 0; }\\n' | $0-gcc -static -x c -o \"$1\" - && \"$1\""
            ${BIN2DD_CROSS_TRIPLE} ${probe}
    RESULT_VARIABLE ran OUTPUT_QUIET ERROR_QUIET)
  file(REMOVE ${probe})
  if(ran STREQUAL "0")
    set(native ON)
  else()
    set(native OFF)
    message(STATUS "This kernel runs no i386 programs (${ran}): the tests run under qemu-i386-static")
  endif()
  set(BIN2DD_I386_NATIVE ${native} CACHE BOOL "Run i386 programs natively rather than under qemu")
endif()
set(ENV{BIN2DD_I386_NATIVE} ${BIN2DD_I386_NATIVE})
# Under qemu-i386-static (Debian 12's qemu 7.2) a dynamically linked i386
# program that forks never gets past the child's first system call: the
# child spins. A static one forks and runs, so every program stays static
# there as well.
set(BIN2DD_CROSS_ALL_STATIC ON)
if(BIN2DD_I386_NATIVE)
  set(BIN2DD_CROSS_QEMU "")
else()
  set(BIN2DD_CROSS_QEMU qemu-i386-static)
endif()
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
