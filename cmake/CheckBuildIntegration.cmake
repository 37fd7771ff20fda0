# Builds the examples that use bin2dd from another build against this build,
# installed into a scratch prefix: the CMake consumer project in
# examples/cmake and the make rule in examples/make. Each must give back the
# image's whole four-byte groups, and the CMake project must convert the
# image again after it changed.
# Run as: cmake -DBUILD=<this build> -DSOURCE=<source tree> -DWORK=<scratch> -P ...
cmake_minimum_required(VERSION 3.25)

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

# A conversion that fails part way leaves no include file to pass for up to
# date: the next make converts again.
set(make make -s -C ${WORK}/make -f ${SOURCE}/examples/make/Makefile IMAGES=${WORK}/images)
file(WRITE ${WORK}/failing/bin2dd "#!/bin/sh\nprintf 'dd 0' >\"\${1%.*}.INC\"\nexit 1\n")
file(CHMOD ${WORK}/failing/bin2dd PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
execute_process(COMMAND ${make} BIN2DD=${WORK}/failing/bin2dd RESULT_VARIABLE failed
                OUTPUT_QUIET ERROR_QUIET)
if(NOT failed)
  message(FATAL_ERROR "make took a failed conversion for a success")
endif()
run(${make} BIN2DD=${WORK}/prefix/bin/bin2dd)
expect_groups(${WORK}/make/microcode.bin ${image})

# Inputs the function must not take for its own: an image the build writes
# into the binary folder survives `clean`, and two images of one name in
# different folders both convert, under both generators.
file(WRITE ${WORK}/names/CMakeLists.txt [=[
cmake_minimum_required(VERSION 3.25)
project(names NONE)
find_package(bin2dd REQUIRED)
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/made.bin "MADE")
bin2dd_add_include(made ${CMAKE_CURRENT_BINARY_DIR}/made.bin)
bin2dd_add_include(a a/patch.bin)
bin2dd_add_include(b b/patch.bin)
add_custom_target(includes ALL DEPENDS ${made} ${a} ${b})
]=])
file(WRITE ${WORK}/names/a/patch.bin "AAAA")
file(WRITE ${WORK}/names/b/patch.bin "BBBB")
foreach(generator Ninja "Unix Makefiles")
  string(MAKE_C_IDENTIFIER "${generator}" build)
  set(build ${WORK}/names-${build})
  run(${CMAKE_COMMAND} -S ${WORK}/names -B ${build} -G ${generator}
      -DCMAKE_PREFIX_PATH=${WORK}/prefix)
  foreach(round build clean rebuild)
    if(round STREQUAL "clean")
      run(${CMAKE_COMMAND} --build ${build} --target clean)
      if(NOT EXISTS ${build}/made.bin)
        message(FATAL_ERROR "${generator}: clean deleted the image the function was given")
      endif()
      continue()
    endif()
    run(${CMAKE_COMMAND} --build ${build})
    foreach(converted made.INC:4544414d bin2dd/a/patch.INC:41414141 bin2dd/b/patch.INC:42424242)
      string(REPLACE ":" ";" converted ${converted})
      list(GET converted 0 file)
      list(GET converted 1 value)
      file(READ ${build}/${file} got HEX)
      string(HEX "dd 0${value}h" line)
      if(NOT got STREQUAL "${line}0d0a")
        message(FATAL_ERROR "${generator}: ${file} holds ${got}, not the line of ${value}")
      endif()
    endforeach()
  endforeach()
endforeach()
message(STATUS "the CMake projects and the make rule give back the images")
