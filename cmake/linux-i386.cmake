# Cross-compiles for Linux on 32-bit x86.
set(BIN2DD_CROSS_TRIPLE i686-linux-gnu)
set(BIN2DD_CROSS_PROCESSOR i686)
set(BIN2DD_CROSS_QEMU "") # the x86-64 kernel runs i386 programs itself
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
