# Cross-compiles for Linux on 64-bit ARM.
set(BIN2DD_CROSS_TRIPLE aarch64-linux-gnu)
set(BIN2DD_CROSS_PROCESSOR aarch64)
set(BIN2DD_CROSS_QEMU qemu-aarch64-static)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
