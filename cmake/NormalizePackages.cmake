# Run by cpack after it made the packages and before it sums them. CPack's
# archive writer stores the members of a .tar.gz or .zip in the order the
# file system lists them and under the builder's own user, which differ from
# one machine to the next: the .tar.gz is written again sorted by name and
# owned by root, the .zip sorted by strip-nondeterminism. Member times are
# SOURCE_DATE_EPOCH's, which cpack already used; the .deb needs nothing more.
set(epoch $ENV{SOURCE_DATE_EPOCH})
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(package MATCHES "\\.tar\\.gz$")
    set(unpacked ${package}.members)
    file(REMOVE_RECURSE ${unpacked})
    file(MAKE_DIRECTORY ${unpacked})
    file(ARCHIVE_EXTRACT INPUT ${package} DESTINATION ${unpacked})
    file(GLOB top RELATIVE ${unpacked} ${unpacked}/*)
    execute_process(
      COMMAND tar --sort=name --owner=root:0 --group=root:0 --mtime=@${epoch}
              --mode=u=rwX,go=rX --format=gnu -C ${unpacked} -cf - ${top}
      COMMAND gzip -9n
      OUTPUT_FILE ${package} RESULTS_VARIABLE results)
    file(REMOVE_RECURSE ${unpacked})
  elseif(package MATCHES "\\.zip$")
    find_program(STRIP_NONDETERMINISM strip-nondeterminism)
    if(NOT STRIP_NONDETERMINISM)
      message(FATAL_ERROR "The zip needs strip-nondeterminism "
                          "(apt-get install strip-nondeterminism) to be reproducible")
    endif()
    execute_process(COMMAND ${STRIP_NONDETERMINISM} --type zip --timestamp ${epoch} ${package}
                    RESULTS_VARIABLE results OUTPUT_QUIET)
  else()
    continue()
  endif()
  if(NOT results MATCHES "^0(;0)*$")
    message(FATAL_ERROR "Could not normalise ${package}: ${results}")
  endif()
endforeach()
