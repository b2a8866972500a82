// Writing a file that takes another's place only when it is complete.
//
// The data goes to a temporary file in the target's folder, which takes the
// target's place (one rename) only after every byte was written, flushed
// and closed without error. A failed write therefore leaves a file that was
// there before exactly as it was, and removes its temporary file.
// A target that exists but is no regular file (a device such as /dev/null,
// a pipe) is written in place, as is a target whose folder name leaves no
// room for a temporary name within the platform's path limit.
#ifndef PLIMBAR_STORAGE_FILE_REPLACE_H
#define PLIMBAR_STORAGE_FILE_REPLACE_H

#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#else
#include <limits.h>
#endif

namespace plimbar {

#ifdef _WIN32
constexpr size_t kTempPathCapacity = MAX_PATH;
#else
constexpr size_t kTempPathCapacity = PATH_MAX;
#endif

struct FileReplacement {
  std::FILE* file = nullptr;  // write the new content here
  bool inPlace = false;
  char target[kTempPathCapacity];  // the file that is replaced
  char temp[kTempPathCapacity];    // the temporary file; empty in place
};

// Opens the file that will replace path. False (errno set) when nothing
// can be written; then there is nothing to close.
bool OpenReplacement(const char* path, FileReplacement& r);

// Ends the writing: flushes and closes, then, when everything so far
// succeeded (ok), puts the new file in the target's place. On failure the
// temporary file is removed; a file written in place is removed too when
// removePartialInPlace is set and it is a regular file. errno tells why.
// Returns whether the new file is complete in its place. Afterwards r holds
// no file: a second call does nothing and returns false (EBADF).
bool CloseReplacement(FileReplacement& r, const char* path, bool ok,
                      bool removePartialInPlace);

}  // namespace plimbar

#endif  // PLIMBAR_STORAGE_FILE_REPLACE_H
