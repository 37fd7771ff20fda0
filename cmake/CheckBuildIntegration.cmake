# Builds the examples that use bin2dd from another build against this build,
# installed into a scratch prefix: the CMake consumer project in
# examples/cmake and the make rule in examples/make. Each must give back the
# image's whole four-byte groups, and the CMake project must convert the
# image again after it changed.
# Run as: cmake -DBUILD=<this build> -DSOURCE=<source tree> -DWORK=<scratch> -P ...
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(failed)
    message(FATAL_ERROR "${ARGN} failed:\n${out}")
  endif()
endfunction()

# Expects `file` to hold the whole four-byte groups of `image`.
function(expect_groups file image)
  file(READ ${image} bytes HEX)
  string(LENGTH "${bytes}" digits)
  math(EXPR whole "${digits} / 8 * 8")
  string(SUBSTRING "${bytes}" 0 ${whole} bytes)
  file(READ ${file} got HEX)
  if(NOT got STREQUAL bytes)
    message(FATAL_ERROR "${file} holds ${got}, not the whole groups of ${image}: ${bytes}")
  endif()
endfunction()

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/images ${WORK}/make)
run(${CMAKE_COMMAND} --install ${BUILD} --prefix ${WORK}/prefix)
configure_file(${SOURCE}/examples/patch.bin ${WORK}/images/patch.bin COPYONLY)

set(image ${WORK}/images/patch.bin)
run(${CMAKE_COMMAND} -S ${SOURCE}/examples/cmake -B ${WORK}/cmake -G Ninja
    -DCMAKE_PREFIX_PATH=${WORK}/prefix -DMICROCODE_IMAGE=${image})
foreach(round first changed)
  run(${CMAKE_COMMAND} --build ${WORK}/cmake)
  run(${WORK}/cmake/show_microcode OUTPUT_FILE ${WORK}/shown.bin)
  expect_groups(${WORK}/shown.bin ${image})
  file(APPEND ${image} "WXYZ")
endforeach()

run(make -s -C ${WORK}/make -f ${SOURCE}/examples/make/Makefile IMAGES=${WORK}/images
    BIN2DD=${WORK}/prefix/bin/bin2dd)
expect_groups(${WORK}/make/microcode.bin ${image})
message(STATUS "the CMake consumer project and the make rule give back the image")
