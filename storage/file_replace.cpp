// Replacing a file only by a complete one: see file_replace.h.
#include "storage/file_replace.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#ifndef _WIN32
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>
#endif

namespace plimbar {
namespace {

// Length of the folder part of path, separator included (0: none).
size_t FolderLength(const char* path) {
  size_t folder = 0;
  for (size_t i = 0; path[i] != '\0';) {
#ifdef _WIN32
    // A Shift-JIS trail byte can be '\\': step over double-byte characters.
    if (IsDBCSLeadByte(static_cast<BYTE>(path[i])) && path[i + 1] != '\0') {
      i += 2;
      continue;
    }
    if (path[i] == '\\' || path[i] == '/' || path[i] == ':') folder = i + 1;
#else
    if (path[i] == '/') folder = i + 1;
#endif
    ++i;
  }
  return folder;
}

bool OpenInPlace(const char* path, FileReplacement& r) {
  r.inPlace = true;
  r.temp[0] = '\0';
  errno = 0;
  r.file = std::fopen(path, "wb");
  if (r.file == nullptr && errno == 0) errno = EIO;
  return r.file != nullptr;
}

#ifdef _WIN32
int ErrnoFromWin32(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_DIRECTORY:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_WRITE_PROTECT:
      return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    default:
      return EIO;
  }
}

bool OpenPlatformReplacement(const char* path, FileReplacement& r) {
  const size_t length = std::strlen(path);
  const DWORD attributes = GetFileAttributesA(path);
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return OpenInPlace(path, r);  // fails, as it must
  }
  // A read-only file is not replaced (the rename alone would not always
  // refuse it).
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    errno = EACCES;
    return false;
  }
  const size_t folder = FolderLength(path);
  // GetTempFileNameA needs room for a name of 13 characters.
  if (length >= sizeof r.target || folder + 14 > MAX_PATH) {
    return OpenInPlace(path, r);
  }
  std::memcpy(r.target, path, length + 1);
  char dir[MAX_PATH];
  if (folder == 0) {
    std::strcpy(dir, ".");
  } else {
    std::memcpy(dir, path, folder);
    dir[folder] = '\0';
  }
  if (GetTempFileNameA(dir, "plb", 0, r.temp) == 0) {
    errno = ErrnoFromWin32(GetLastError());
    r.temp[0] = '\0';
    return false;
  }
  r.file = std::fopen(r.temp, "wb");
  if (r.file == nullptr) {
    const int error = errno != 0 ? errno : EIO;
    DeleteFileA(r.temp);
    r.temp[0] = '\0';
    errno = error;
    return false;
  }
  return true;
}

bool ReplaceTarget(const FileReplacement& r) {
  if (MoveFileExA(r.temp, r.target,
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  errno = ErrnoFromWin32(GetLastError());
  return false;
}

void RemoveTemp(const FileReplacement& r) { DeleteFileA(r.temp); }
#else
bool OpenPlatformReplacement(const char* path, FileReplacement& r) {
  // A symbolic link stays: the file it leads to is replaced.
  const char* target = path;
  struct stat st;
  bool exists = lstat(path, &st) == 0;
  if (exists && S_ISLNK(st.st_mode)) {
    if (realpath(path, r.target) == nullptr || stat(r.target, &st) != 0) {
      return OpenInPlace(path, r);  // a dangling link: create its file
    }
    target = r.target;
  }
  if (exists && !S_ISREG(st.st_mode)) return OpenInPlace(path, r);
  const size_t length = std::strlen(target);
  const size_t folder = FolderLength(target);
  static const char kTempName[] = ".plimbar-XXXXXX";
  if (length >= sizeof r.target || folder + sizeof kTempName > sizeof r.temp) {
    return OpenInPlace(path, r);
  }
  if (target != r.target) std::memcpy(r.target, target, length + 1);
  std::memcpy(r.temp, target, folder);
  std::memcpy(r.temp + folder, kTempName, sizeof kTempName);
  errno = 0;
  const int fd = mkstemp(r.temp);
  if (fd < 0) {
    if (errno == 0) errno = EIO;
    r.temp[0] = '\0';
    return false;
  }
  // The new file gets the old one's permissions, or those a newly created
  // file gets; its owner can always read and write it (a mask that takes
  // that away, as the browser build's in-memory file system reports, would
  // leave a file the program cannot read back).
  mode_t mode;
  if (exists) {
    mode = st.st_mode & 07777;
  } else {
    const mode_t mask = umask(0);
    umask(mask);
    mode = (0666 & ~mask) | 0600;
  }
  (void)fchmod(fd, mode);
  r.file = fdopen(fd, "wb");
  if (r.file == nullptr) {
    const int error = errno != 0 ? errno : EIO;
    close(fd);
    unlink(r.temp);
    r.temp[0] = '\0';
    errno = error;
    return false;
  }
  return true;
}

bool ReplaceTarget(const FileReplacement& r) {
  return std::rename(r.temp, r.target) == 0;
}

void RemoveTemp(const FileReplacement& r) { unlink(r.temp); }
#endif

}  // namespace

bool OpenReplacement(const char* path, FileReplacement& r) {
  return OpenPlatformReplacement(path, r);
}

bool CloseReplacement(FileReplacement& r, const char* path, bool ok,
                      bool removePartialInPlace) {
  if (r.file == nullptr) {  // closed already: nothing more to do or undo
    errno = EBADF;
    return false;
  }
  int error = ok ? 0 : (errno != 0 ? errno : EIO);
  errno = 0;
  if (std::fflush(r.file) != 0 && ok) {
    ok = false;
    error = errno != 0 ? errno : EIO;
  }
  // A write that failed without the caller noticing fails the whole file.
  if (ok && std::ferror(r.file)) {
    ok = false;
    error = EIO;
  }
#ifndef _WIN32
  // On the disk before the rename, so a crash never leaves an empty file
  // under the target's name.
  if (ok && !r.inPlace && fsync(fileno(r.file)) != 0) {
    ok = false;
    error = errno != 0 ? errno : EIO;
  }
#endif
  errno = 0;
  if (std::fclose(r.file) != 0 && ok) {
    ok = false;
    error = errno != 0 ? errno : EIO;
  }
  r.file = nullptr;
  errno = 0;
  if (ok && !r.inPlace && !ReplaceTarget(r)) {
    ok = false;
    error = errno != 0 ? errno : EIO;
  }
  if (!ok) {
    if (!r.inPlace) {
      RemoveTemp(r);
    } else if (removePartialInPlace) {
      // Leave no truncated file behind that a player would take for the
      // sound. Only a regular file: a device or pipe given as the path
      // stays.
      struct stat st;
      if (stat(path, &st) == 0 && S_ISREG(st.st_mode)) std::remove(path);
    }
    errno = error;
  }
  return ok;
}

}  // namespace plimbar
