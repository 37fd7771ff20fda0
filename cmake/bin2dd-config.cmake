# CMake package of bin2dd: the imported program bin2dd::bin2dd and a rule that
# turns a binary file into an include file at build time.
include(${CMAKE_CURRENT_LIST_DIR}/bin2dd-targets.cmake)

# bin2dd_add_include(<variable> <input>)
# Converts <input> (relative to the current source folder) as a build step,
# which reruns whenever the input or bin2dd changes, and sets <variable> to
# the full path of the .INC file. Give that path to the source that includes
# it as a dependency, for example with
# set_source_files_properties(... OBJECT_DEPENDS ...), and its folder to the
# assembler's include path. An input in the binary tree (one the build writes
# itself) is converted where it lies; any other is copied first into a folder
# of its own under the current binary folder, named after its place in the
# source tree, so that two images of one name both convert. The rule declares
# as its own only what it makes: the copy and the .INC file.
function(bin2dd_add_include variable input)
  get_filename_component(input "${input}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  get_filename_component(name "${input}" NAME)
  get_filename_component(folder "${input}" DIRECTORY)
  # bin2dd runs on the bare name, so that only the name's last extension is
  # cut, whatever dots the folders hold.
  string(FIND "${name}" "." dot REVERSE)
  set(stem "${name}")
  set(extension "")
  if(NOT dot EQUAL -1)
    string(SUBSTRING "${name}" 0 ${dot} stem)
    string(SUBSTRING "${name}" ${dot} -1 extension)
  endif()
  # What no build of it can carry: the output would be the input itself, or
  # the generators would read the name as something else.
  string(TOUPPER "${extension}" extension)
  if(extension STREQUAL ".INC")
    message(FATAL_ERROR "bin2dd_add_include: ${input} cannot be converted: its .INC file "
                        "would be the input itself. Rename the image (for example to .bin).")
  endif()
  if(input MATCHES "[#$;\"'`\\\\\n]")
    message(FATAL_ERROR "bin2dd_add_include: ${input} cannot be converted: its path holds "
                        "'${CMAKE_MATCH_0}', which the build tools read as part of their own "
                        "syntax. Rename the image or its folder.")
  endif()

  file(RELATIVE_PATH inBinary "${CMAKE_BINARY_DIR}" "${input}")
  if(NOT inBinary MATCHES "^\\.\\./" AND NOT IS_ABSOLUTE "${inBinary}")
    # Made by this build (or put there by hand): converted where it lies.
    set(output "${folder}/${stem}.INC")
    add_custom_command(OUTPUT "${output}"
      COMMAND bin2dd::bin2dd "${name}"
      WORKING_DIRECTORY "${folder}"
      DEPENDS "${input}" "$<TARGET_FILE:bin2dd::bin2dd>"
      COMMENT "Converting ${name} into ${stem}.INC"
      VERBATIM)
  else()
    file(RELATIVE_PATH place "${CMAKE_SOURCE_DIR}" "${folder}")
    if(place MATCHES "^\\.\\./" OR IS_ABSOLUTE "${place}")
      # Outside the source tree: named after its whole path.
      string(REGEX REPLACE "^[A-Za-z]:" "" place "${folder}")
      set(place "outside${place}")
    endif()
    set(private "${CMAKE_CURRENT_BINARY_DIR}/bin2dd/${place}")
    string(REGEX REPLACE "/+$" "" private "${private}")
    set(output "${private}/${stem}.INC")
    file(MAKE_DIRECTORY "${private}")
    add_custom_command(OUTPUT "${output}"
      COMMAND ${CMAKE_COMMAND} -E copy "${input}" "${private}/${name}"
      COMMAND bin2dd::bin2dd "${name}"
      WORKING_DIRECTORY "${private}"
      DEPENDS "${input}" "$<TARGET_FILE:bin2dd::bin2dd>"
      BYPRODUCTS "${private}/${name}"
      COMMENT "Converting ${name} into ${stem}.INC"
      VERBATIM)
  endif()
  set(${variable} "${output}" PARENT_SCOPE)
endfunction()
