// The rule that decides whether two open files are one, however each was reached.
#pragma once

#include "os_file.h"

// Whether two open files are one. Unknown when the system could not say:
// the caller must then treat them as one, since guessing "different" would
// let the output destroy the input.
enum class Sameness { Different, Same, Unknown };

// The rule that decides it from what the system reports of each open file.
bool isSameFile(const FileIdentity &first, const FileIdentity &second);

// Whether the files open on descriptors `first` and `second` are one.
// Decided from the open files because names are no guide: links, letter
// case, mounts and the encodings in which the platforms spell names all hide
// that two names are one file. Two regular files on different devices are
// also one when the bytes they share agree: a view of a file (an overlay, a
// FUSE or network mount) may report other numbers, times or a stale size,
// but it shows the same bytes. Neither file's position moves.
Sameness compareOpenFiles(int first, int second);
