# Run after bin2dd is linked: reads the linker's map to learn which archives
# and start-up objects went into the program, names the library each belongs
# to, and writes what the packages carry about them: THIRD-PARTY-NOTICES
# (each library's version as built, its licence, Debian's copyright notice of
# the package that supplied it and the full licence texts), and for Linux a
# machine-readable copyright file and the .deb's Built-Using field. Fails when
# the program holds code of a library that has no notice, or when LIBRARIES,
# the libraries the packages say they hold, names one no longer linked.
# Run as: cmake -DMAP=... -DOUT=<folder> -DLIBRARIES=... -DWINDOWS=ON|OFF
#               -DSOURCE=<source tree> -DVERSION=... -P Notices.cmake
cmake_minimum_required(VERSION 3.25)
string(REPLACE "," ";" LIBRARIES "${LIBRARIES}")
file(READ ${MAP} map)
# Members that an archive gave, and the start-up objects named outright.
string(REGEX MATCHALL "\n(/[^\n(]+\\.a)\\(" archives "${map}")
string(REGEX MATCHALL "\nLOAD (/[^\n]+\\.o)" objects "${map}")
set(files)
foreach(entry IN LISTS archives objects)
  string(REGEX REPLACE "^\n(LOAD )?" "" entry "${entry}")
  string(REGEX REPLACE "\\($" "" entry "${entry}")
  get_filename_component(entry "${entry}" REALPATH)
  list(APPEND files "${entry}")
endforeach()
list(REMOVE_DUPLICATES files)
list(SORT files)
if(NOT files)
  message(FATAL_ERROR "${MAP} names no archive: was bin2dd linked with -Wl,-Map?")
endif()

# Which library each file belongs to, by its name.
if(WINDOWS)
  set(rules
      "^lib(stdc\\+\\+|supc\\+\\+)\\.a$" libstdc++
      "^(libgcc(_eh)?\\.a|crt(begin|end)\\.o)$" libgcc
      "^lib(win)?pthread\\.a$" winpthreads
      "^((dll)?crt2\\.o|lib(mingw32|mingwex|moldname|msvcrt|ucrt[a-z]*|kernel32|user32|advapi32|shell32|ntdll)\\.a)$" mingw-w64-crt)
else()
  set(rules
      "^(lib(c|m|mvec|pthread|dl|rt|resolv|c_nonshared)\\.a|[SR]?crt1\\.o|crt[in]\\.o)$" glibc
      "^lib(stdc\\+\\+|supc\\+\\+)\\.a$" libstdc++
      "^(libgcc(_eh)?\\.a|crt(begin|end)[ST]?\\.o)$" libgcc)
endif()
find_program(DPKG_QUERY dpkg-query)
set(linked)
set(sources)
foreach(file IN LISTS files)
  get_filename_component(name "${file}" NAME)
  set(library)
  set(rest ${rules})
  while(rest AND NOT library)
    list(POP_FRONT rest pattern candidate)
    if(name MATCHES "${pattern}")
      set(library ${candidate})
    endif()
  endwhile()
  if(NOT library)
    message(FATAL_ERROR "bin2dd contains code from ${file}, which no notice covers: "
                        "name its library in cmake/Notices.cmake and res/notices/")
  endif()
  list(APPEND linked ${library})
  list(APPEND from_${library} "${file}")
  # The Debian package that supplied the file, and its source package.
  if(DPKG_QUERY)
    execute_process(COMMAND dpkg-query -S "${file}" OUTPUT_VARIABLE owner ERROR_QUIET
                    RESULT_VARIABLE unowned)
    if(NOT unowned)
      string(REGEX REPLACE "[:,].*" "" owner "${owner}")
      execute_process(COMMAND ${DPKG_QUERY} -W
                              --showformat=\${Version}\t\${source:Package}\t\${source:Version} ${owner}
                      OUTPUT_VARIABLE package)
      string(REPLACE "\t" ";" package "${package}")
      list(GET package 1 source)
      list(GET package 2 sourceVersion)
      list(APPEND packages_${library} "${owner}")
      list(APPEND versions_${library} "${owner} ${sourceVersion}")
      list(APPEND sources "${source} (= ${sourceVersion})")
    endif()
  endif()
endforeach()
list(REMOVE_DUPLICATES linked)
list(SORT linked)
set(claimed ${LIBRARIES})
list(SORT claimed)
foreach(library IN LISTS linked)
  if(NOT library IN_LIST claimed)
    message(FATAL_ERROR "bin2dd links ${library} (${from_${library}}), which the packages' "
                        "notices do not name: add it to BIN2DD_THIRD_PARTY")
  endif()
endforeach()
foreach(library IN LISTS claimed)
  if(NOT library IN_LIST linked)
    message(FATAL_ERROR "The packages' notices name ${library}, which bin2dd no longer links: "
                        "take it out of BIN2DD_THIRD_PARTY")
  endif()
endforeach()

# One library's notice file: its fields, then a blank line and its text.
function(read_notice library)
  file(READ ${SOURCE}/res/notices/${library}.txt text)
  string(FIND "${text}" "\n\n" end)
  string(SUBSTRING "${text}" 0 ${end} head)
  math(EXPR end "${end} + 2")
  string(SUBSTRING "${text}" ${end} -1 body)
  foreach(field Name License Copyright Texts)
    string(REGEX MATCH "(^|\n)${field}:[ ]*([^\n]*)" ignored "${head}")
    set(${field} "${CMAKE_MATCH_2}" PARENT_SCOPE)
  endforeach()
  set(Body "${body}" PARENT_SCOPE)
endfunction()

set(rule "======================================================================\n")
string(CONCAT notices "Third-party notices for bin2dd ${VERSION}\n\n"
    "bin2dd is linked statically, so that it starts fast and depends on no\n"
    "library at run time. Besides its own code (MIT licence, see LICENSE), the\n"
    "program file therefore holds code of the libraries below, as its linker\n"
    "took it from the files named. Their terms travel with every copy of the\n"
    "program.\n")
foreach(library IN LISTS linked)
  read_notice(${library})
  list(REMOVE_DUPLICATES packages_${library})
  list(REMOVE_DUPLICATES versions_${library})
  list(JOIN versions_${library} ", " versions)
  if(NOT versions)
    set(versions "not known (not built on Debian)")
  endif()
  list(JOIN from_${library} "\n  " files)
  string(APPEND notices "\n${rule}${Name}\n${rule}\n"
         "Version as built: ${versions} (Debian package and source version)\n"
         "Licence: ${License}\n"
         "Linked from:\n  ${files}\n\n${Body}")
  foreach(package IN LISTS packages_${library})
    file(READ /usr/share/doc/${package}/copyright text)
    string(APPEND notices "\n--- Debian's copyright notice for ${package} ---\n\n${text}")
  endforeach()
  foreach(licence IN LISTS Texts)
    file(READ /usr/share/common-licenses/${licence} text)
    string(APPEND notices "\n--- The full text of ${licence} ---\n\n${text}")
  endforeach()
endforeach()

if(WINDOWS)
  string(REPLACE "\n" "\r\n" notices "${notices}")
  file(WRITE ${OUT}/THIRD-PARTY-NOTICES.txt "${notices}")
  return()
endif()
file(WRITE ${OUT}/THIRD-PARTY-NOTICES "${notices}")

# Debian's machine-readable copyright file: the project, then the libraries
# that the program file holds beside it.
file(READ ${SOURCE}/LICENSE licence)
string(REGEX MATCH "Copyright \\(c\\) ([^\n]*)" ignored "${licence}")
set(holder "${CMAKE_MATCH_1}")
string(REGEX REPLACE "^.*Copyright \\(c\\)[^\n]*\n+" "" terms "${licence}")
string(STRIP "${terms}" terms)
string(REGEX REPLACE "\n\n" "\n.\n" terms "${terms}")
string(REGEX REPLACE "\n([^\n])" "\n \\1" terms "${terms}")
string(CONCAT copyright
    "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
    "Upstream-Name: bin2dd\n"
    "Comment: bin2dd is linked statically: usr/bin/bin2dd also holds code of the\n"
    " libraries named below, from the Debian source packages in the package's\n"
    " Built-Using field. /usr/share/doc/bin2dd/THIRD-PARTY-NOTICES gives each\n"
    " one's version, notices and licence text.\n\n"
    "Files: *\nCopyright: ${holder}\nLicense: Expat\n\n")
set(licences)
foreach(library IN LISTS linked)
  read_notice(${library})
  list(JOIN versions_${library} ", " versions)
  string(APPEND copyright "Files: usr/bin/bin2dd\nCopyright: ${holder}\n ${Copyright}\n"
         "License: Expat and ${License}\nComment: ${Name}, linked in statically from ${versions}.\n\n")
  list(APPEND licences "${License}")
endforeach()
string(APPEND copyright "License: Expat\n ${terms}\n")
list(REMOVE_DUPLICATES licences)
foreach(licence IN LISTS licences)
  string(REGEX MATCH "^[A-Z]+-[0-9.]+" text "${licence}")
  string(APPEND copyright "\nLicense: ${licence}\n On Debian systems the full text of the "
         "${text} licence is in\n /usr/share/common-licenses/${text}; "
         "THIRD-PARTY-NOTICES holds it too.\n")
endforeach()
file(WRITE ${OUT}/copyright "${copyright}")
list(REMOVE_DUPLICATES sources)
list(SORT sources)
list(JOIN sources ", " builtUsing)
file(WRITE ${OUT}/built-using "${builtUsing}")
