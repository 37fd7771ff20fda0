// Output naming: the include file is named after the input file.
#include "output_name.h"

std::string removeExtension(const std::string &path) {
  const std::string::size_type dot = path.rfind('.');
  return dot == std::string::npos ? path : path.substr(0, dot);
}
