# Cross-compiles for Linux on 64-bit big-endian IBM Z.
set(BIN2DD_CROSS_TRIPLE s390x-linux-gnu)
set(BIN2DD_CROSS_PROCESSOR s390x)
set(BIN2DD_CROSS_QEMU qemu-s390x-static)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
