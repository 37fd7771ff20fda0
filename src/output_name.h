// Output naming: the include file is named after the input file.
#pragma once

#include <string>

// Returns `path` without its last extension: everything before the last dot
// anywhere in the string, directory names included (so "fw.d/patch" gives
// "fw"). A path without a dot is returned whole. Never touches the file system.
std::string removeExtension(const std::string &path);
