# Static analysis of the program's own sources, run as tests so that any
# finding fails the test run.
set(BIN2DD_SOURCES
  ${PROJECT_SOURCE_DIR}/src/driver.cpp
  ${PROJECT_SOURCE_DIR}/src/include_writer.cpp
  ${PROJECT_SOURCE_DIR}/src/file_io.cpp
  ${PROJECT_SOURCE_DIR}/src/same_file.cpp
  ${PROJECT_SOURCE_DIR}/src/os_file_posix.cpp
  ${PROJECT_SOURCE_DIR}/src/console_posix.cpp
  ${PROJECT_SOURCE_DIR}/src/output_name.cpp
  ${PROJECT_SOURCE_DIR}/src/main.cpp)

find_program(CLANG_TIDY_EXE NAMES clang-tidy clang-tidy-14)
find_program(CPPCHECK_EXE cppcheck)
find_program(CLANG_FORMAT_EXE NAMES clang-format clang-format-14)
if(NOT CLANG_TIDY_EXE OR NOT CPPCHECK_EXE OR NOT CLANG_FORMAT_EXE)
  message(FATAL_ERROR "BIN2DD_LINT needs clang-tidy, cppcheck and clang-format "
                      "(apt-get install clang-tidy cppcheck clang-format)")
endif()

add_test(NAME lint_clang_tidy
  COMMAND ${CLANG_TIDY_EXE} -p ${PROJECT_BINARY_DIR} --quiet ${BIN2DD_SOURCES})
add_test(NAME lint_cppcheck
  COMMAND ${CPPCHECK_EXE} --std=c++17 --language=c++ --enable=warning,style,performance,portability
          --error-exitcode=1 --inline-suppr --quiet --suppress=missingIncludeSystem
          -I ${PROJECT_SOURCE_DIR}/src ${BIN2DD_SOURCES})

# Every C++ file of the project follows .clang-format.
file(GLOB_RECURSE BIN2DD_FORMATTED CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/src/*.cpp ${PROJECT_SOURCE_DIR}/src/*.h
  ${PROJECT_SOURCE_DIR}/tests/*.cpp ${PROJECT_SOURCE_DIR}/tests/*.h
  ${PROJECT_SOURCE_DIR}/bench/*.cpp ${PROJECT_SOURCE_DIR}/fuzz/*.cpp)
add_test(NAME lint_clang_format
  COMMAND ${CLANG_FORMAT_EXE} --dry-run --Werror ${BIN2DD_FORMATTED})
