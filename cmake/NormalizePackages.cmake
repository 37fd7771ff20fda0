# Run by cpack after it made the packages and before it sums them, so that
# two builds of one commit give the same bytes on any machine. CPack's
# archive writers store members in the order the file system lists them,
# under the builder's user (.tar.gz, .zip) and with the builder's umask in
# their permissions (.deb): each package is written again with members
# sorted by name, owned by root, readable by all. Member times are
# SOURCE_DATE_EPOCH's, which cpack has in its environment where it is known.
set(tarTime)
set(zipTime)
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(tarTime --mtime=@$ENV{SOURCE_DATE_EPOCH})
  set(zipTime --timestamp $ENV{SOURCE_DATE_EPOCH})
endif()

# Runs one command (or a pipeline of them) and stops the packaging if it fails.
function(run)
  execute_process(${ARGN} RESULTS_VARIABLE results)
  if(NOT results MATCHES "^0(;0)*$")
    message(FATAL_ERROR "Could not normalise ${package}: ${ARGN}: ${results}")
  endif()
endfunction()

foreach(package IN LISTS CPACK_PACKAGE_FILES)
  set(unpacked ${package}.members)
  file(REMOVE_RECURSE ${unpacked})
  if(package MATCHES "\\.tar\\.gz$")
    file(ARCHIVE_EXTRACT INPUT ${package} DESTINATION ${unpacked})
    file(GLOB top RELATIVE ${unpacked} ${unpacked}/*)
    run(COMMAND tar --sort=name --owner=root:0 --group=root:0 ${tarTime} --mode=u=rwX,go=rX
                --format=gnu -C ${unpacked} -cf - ${top}
        COMMAND gzip -9n OUTPUT_FILE ${package})
  elseif(package MATCHES "\\.deb$")
    # dpkg-deb sorts the members and takes their times from SOURCE_DATE_EPOCH.
    run(COMMAND dpkg-deb --raw-extract ${package} ${unpacked})
    # What only a Debian package uses: lintian's override, and the source
    # packages whose code the static program holds, with their sums.
    set(overrides ${unpacked}/usr/share/lintian/overrides)
    file(MAKE_DIRECTORY ${overrides})
    file(COPY_FILE ${CPACK_BIN2DD_LINTIAN_OVERRIDES} ${overrides}/bin2dd)
    if(CPACK_BIN2DD_BUILT_USING)
      file(READ ${CPACK_BIN2DD_BUILT_USING} builtUsing)
      file(READ ${unpacked}/DEBIAN/control control)
      string(REPLACE "\nDescription:" "\nBuilt-Using: ${builtUsing}\nDescription:" control
                     "${control}")
      file(WRITE ${unpacked}/DEBIAN/control "${control}")
    endif()
    run(COMMAND sh -c "find usr -type f | LC_ALL=C sort | xargs md5sum >DEBIAN/md5sums"
        WORKING_DIRECTORY ${unpacked})
    run(COMMAND chmod -R u=rwX,go=rX ${unpacked})
    run(COMMAND dpkg-deb --root-owner-group --build ${unpacked} ${package} OUTPUT_QUIET)
  elseif(package MATCHES "\\.zip$")
    # strip-nondeterminism sorts the members and drops the owner fields.
    find_program(STRIP_NONDETERMINISM strip-nondeterminism)
    if(NOT STRIP_NONDETERMINISM)
      message(FATAL_ERROR "The zip needs strip-nondeterminism "
                          "(apt-get install strip-nondeterminism) to be reproducible")
    endif()
    run(COMMAND ${STRIP_NONDETERMINISM} --type zip ${zipTime} ${package} OUTPUT_QUIET)
  endif()
  file(REMOVE_RECURSE ${unpacked})
endforeach()
