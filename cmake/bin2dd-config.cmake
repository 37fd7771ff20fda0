# CMake package of bin2dd: the imported program bin2dd::bin2dd and a rule that
# turns a binary file into an include file at build time.
include(${CMAKE_CURRENT_LIST_DIR}/bin2dd-targets.cmake)

# bin2dd_add_include(<variable> <input>)
# Copies <input> (relative to the current source folder) into the current
# binary folder and converts it there as a build step, which reruns whenever
# the input or bin2dd changes; sets <variable> to the full path of the .INC
# file. Give that path to the source that includes it as a dependency, for
# example with set_source_files_properties(... OBJECT_DEPENDS ...).
function(bin2dd_add_include variable input)
  get_filename_component(input "${input}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  get_filename_component(name "${input}" NAME)
  # bin2dd runs on the bare name, so that only the name's last extension is
  # cut, whatever dots the folders hold.
  string(FIND "${name}" "." dot REVERSE)
  set(stem "${name}")
  if(NOT dot EQUAL -1)
    string(SUBSTRING "${name}" 0 ${dot} stem)
  endif()
  set(output "${CMAKE_CURRENT_BINARY_DIR}/${stem}.INC")
  add_custom_command(OUTPUT "${output}"
    COMMAND ${CMAKE_COMMAND} -E copy "${input}" "${name}"
    COMMAND bin2dd::bin2dd "${name}"
    WORKING_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}"
    DEPENDS "${input}" "$<TARGET_FILE:bin2dd::bin2dd>"
    BYPRODUCTS "${CMAKE_CURRENT_BINARY_DIR}/${name}"
    COMMENT "Converting ${name} into ${stem}.INC"
    VERBATIM)
  set(${variable} "${output}" PARENT_SCOPE)
endfunction()
