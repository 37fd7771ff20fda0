# Checks that README.md shows each example source in examples/ word for word,
# so that what users copy is what the assembler tests assemble.
# Run as: cmake -DREADME=... -DEXAMPLES="a.asm;b.asm" -P CheckReadmeExamples.cmake
file(READ ${README} readme)
foreach(example IN LISTS EXAMPLES)
  file(READ ${example} text)
  string(FIND "${readme}" "${text}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "README.md does not show ${example} as it stands:\n${text}")
  endif()
endforeach()
