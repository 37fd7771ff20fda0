# Static analysis of the program's own sources, run as tests so that any
# finding fails the test run.
set(BIN2DD_SOURCES
  ${PROJECT_SOURCE_DIR}/src/driver.cpp
  ${PROJECT_SOURCE_DIR}/src/include_writer.cpp
  ${PROJECT_SOURCE_DIR}/src/file_io.cpp
  ${PROJECT_SOURCE_DIR}/src/output_name.cpp
  ${PROJECT_SOURCE_DIR}/src/main.cpp)

find_program(CLANG_TIDY_EXE NAMES clang-tidy clang-tidy-14)
find_program(CPPCHECK_EXE cppcheck)
if(NOT CLANG_TIDY_EXE OR NOT CPPCHECK_EXE)
  message(FATAL_ERROR "BIN2DD_LINT needs clang-tidy and cppcheck (apt-get install clang-tidy cppcheck)")
endif()

add_test(NAME lint_clang_tidy
  COMMAND ${CLANG_TIDY_EXE} -p ${PROJECT_BINARY_DIR} --quiet ${BIN2DD_SOURCES})
add_test(NAME lint_cppcheck
  COMMAND ${CPPCHECK_EXE} --std=c++17 --language=c++ --enable=warning,style,performance,portability
          --error-exitcode=1 --inline-suppr --quiet --suppress=missingIncludeSystem
          -I ${PROJECT_SOURCE_DIR}/src ${BIN2DD_SOURCES})
