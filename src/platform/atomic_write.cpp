// The two halves of atomic_write.h: POSIX (open with O_NONBLOCK, fstat,
// O_EXCL temporary, fsync, rename) and Windows (CreateFileW, a temporary from
// GetTempFileNameW, FlushFileBuffers, MoveFileExW).
#include "platform/atomic_write.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

namespace {

int Fail(FileStatus *status, int result, int osError, const char *step) {
  status->result = result;
  status->osError = osError;
  status->step = step;
  return 0;
}

// The folder part of `path` ("." when it has none).
std::string FolderOf(const std::string &path) {
  size_t slash = path.find_last_of("/\\");
  if (slash == std::string::npos) return ".";
  return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

}  // namespace

#ifndef _WIN32

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>

namespace {

int ResultOfErrno(int error) {
  return (error == ENOENT || error == ENOTDIR) ? kFileNotFound : kFileIo;
}

// Follows symlinks from `path` to the name of the file they lead to (which
// may not exist yet). False when a loop or an unreadable link stops it.
bool ResolveLinks(std::string *path) {
  for (int hop = 0; hop < 40; ++hop) {
    struct stat info;
    if (lstat(path->c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return true;
    char link[4096];
    ssize_t n = readlink(path->c_str(), link, sizeof link - 1);
    if (n <= 0) return false;
    link[n] = 0;
    *path = link[0] == '/' ? std::string(link) : FolderOf(*path) + "/" + link;
  }
  return false;
}

bool WriteAll(int fd, const char *data, size_t size) {
  while (size > 0) {
    ssize_t n = write(fd, data, size > (1u << 30) ? (1u << 30) : size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

std::atomic<unsigned> gTempCounter{0};

}  // namespace

int ReadWholeFile(const char *path, char **bytes, size_t *size, FileStatus *status) {
  *bytes = nullptr;
  *size = 0;
  int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return Fail(status, ResultOfErrno(errno), errno, "open");
  struct stat info;
  if (fstat(fd, &info) != 0) {
    int error = errno;
    close(fd);
    return Fail(status, kFileIo, error, "stat");
  }
  if (!S_ISREG(info.st_mode)) {
    close(fd);
    return Fail(status, kFileNotRegular, 0, "open");
  }
  if (info.st_size > 0x7FFFFFF0) {
    close(fd);
    return Fail(status, kFileTooLarge, 0, "stat");
  }
  size_t want = static_cast<size_t>(info.st_size);
  char *block = static_cast<char *>(malloc(want + 1));
  if (!block) {
    close(fd);
    return Fail(status, kFileMemory, 0, "read");
  }
  size_t have = 0;
  while (have < want) {
    ssize_t n = read(fd, block + have, want - have);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      int error = n < 0 ? errno : 0;
      free(block);
      close(fd);
      return Fail(status, kFileIo, error, n < 0 ? "read" : "read (the file shrank)");
    }
    have += static_cast<size_t>(n);
  }
  close(fd);
  *bytes = block;
  *size = have;
  status->result = kFileOk;
  return 1;
}

int ReplaceFileAtomically(const char *path, const void *data, size_t size, bool sync,
                          FileStatus *status) {
  std::string target = path;
  if (!ResolveLinks(&target)) return Fail(status, kFileIo, ELOOP, "resolve link");
  struct stat info;
  bool exists = stat(target.c_str(), &info) == 0;
  if (exists && !S_ISREG(info.st_mode)) return Fail(status, kFileNotRegular, 0, "stat");
  if (exists && access(target.c_str(), W_OK) != 0) return Fail(status, kFileIo, errno, "open");
  std::string folder = FolderOf(target);
  struct stat folderInfo;
  if (stat(folder.c_str(), &folderInfo) != 0 || !S_ISDIR(folderInfo.st_mode))
    return Fail(status, kFileNotFound, ENOENT, "open folder");

  std::string temp;
  int fd = -1;
  std::string base = target.substr(target.find_last_of('/') == std::string::npos
                                       ? 0 : target.find_last_of('/') + 1);
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    char suffix[48];
    snprintf(suffix, sizeof suffix, ".sprig-%ld-%u", static_cast<long>(getpid()), gTempCounter.fetch_add(1));
    temp = folder + "/." + base + suffix;
    fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, exists ? (info.st_mode & 0777) : 0666);
    if (fd < 0 && errno != EEXIST) return Fail(status, ResultOfErrno(errno), errno, "create temporary");
  }
  if (fd < 0) return Fail(status, kFileIo, EEXIST, "create temporary");
  const char *step = nullptr;
  // The new file has the target's mode less the umask, and the caller as
  // owner: each is changed only where it differs (every change of an inode
  // is one more journal entry on the common file systems).
  struct stat made;
  const bool madeKnown = exists && fstat(fd, &made) == 0;
  if (!WriteAll(fd, static_cast<const char *>(data), size)) {
    step = "write";
  } else if (exists && (!madeKnown || (made.st_mode & 07777) != (info.st_mode & 07777)) &&
             fchmod(fd, info.st_mode & 07777) != 0) {
    step = "chmod";
  } else if (sync && fsync(fd) != 0) {
    step = "sync";
  }
  int error = step ? errno : 0;
  if (exists && !step && (!madeKnown || made.st_uid != info.st_uid || made.st_gid != info.st_gid) &&
      fchown(fd, info.st_uid, info.st_gid) != 0) {
    // Only the owner's rights may be missing here; the bytes and mode are kept.
  }
  if (close(fd) != 0 && !step) {
    step = "close";
    error = errno;
  }
  if (!step && rename(temp.c_str(), target.c_str()) != 0) {
    step = "rename";
    error = errno;
  }
  if (step) {
    unlink(temp.c_str());
    return Fail(status, kFileIo, error, step);
  }
  int dir = sync ? open(folder.c_str(), O_RDONLY | O_CLOEXEC) : -1;
  if (dir >= 0) {
    fsync(dir);  // makes the rename itself durable; best effort
    close(dir);
  }
  status->result = kFileOk;
  return 1;
}

#else  // _WIN32

#include <windows.h>

namespace {

std::wstring Wide(const std::string &utf8) {
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
  std::wstring out(n > 0 ? static_cast<size_t>(n) : 1, L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &out[0], n);
  out.resize(n > 0 ? static_cast<size_t>(n - 1) : 0);
  return out;
}

int ResultOfError(DWORD error) {
  return (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) ? kFileNotFound : kFileIo;
}

bool IsFolder(const std::wstring &path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

int ReadWholeFile(const char *path, char **bytes, size_t *size, FileStatus *status) {
  *bytes = nullptr;
  *size = 0;
  std::wstring name = Wide(path);
  if (IsFolder(name)) return Fail(status, kFileNotRegular, 0, "open");
  HANDLE file = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    return Fail(status, ResultOfError(error), static_cast<int>(error), "open");
  }
  LARGE_INTEGER length;
  if (GetFileType(file) != FILE_TYPE_DISK || !GetFileSizeEx(file, &length)) {
    CloseHandle(file);
    return Fail(status, kFileNotRegular, 0, "open");
  }
  if (length.QuadPart > 0x7FFFFFF0) {
    CloseHandle(file);
    return Fail(status, kFileTooLarge, 0, "stat");
  }
  size_t want = static_cast<size_t>(length.QuadPart);
  char *block = static_cast<char *>(malloc(want + 1));
  if (!block) {
    CloseHandle(file);
    return Fail(status, kFileMemory, 0, "read");
  }
  size_t have = 0;
  while (have < want) {
    DWORD got = 0;
    if (!ReadFile(file, block + have, static_cast<DWORD>(want - have), &got, nullptr) || got == 0) {
      DWORD error = GetLastError();
      free(block);
      CloseHandle(file);
      return Fail(status, kFileIo, static_cast<int>(error), "read");
    }
    have += got;
  }
  CloseHandle(file);
  *bytes = block;
  *size = have;
  status->result = kFileOk;
  return 1;
}

int ReplaceFileAtomically(const char *path, const void *data, size_t size, bool sync,
                          FileStatus *status) {
  std::wstring target = Wide(path);
  if (IsFolder(target)) return Fail(status, kFileNotRegular, 0, "open");
  DWORD attributes = GetFileAttributesW(target.c_str());
  bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  if (exists && (attributes & FILE_ATTRIBUTE_READONLY))
    return Fail(status, kFileIo, ERROR_ACCESS_DENIED, "open");
  std::wstring folder = Wide(FolderOf(path));
  if (!IsFolder(folder)) return Fail(status, kFileNotFound, ERROR_PATH_NOT_FOUND, "open folder");
  wchar_t temp[MAX_PATH + 16];
  if (!GetTempFileNameW(folder.c_str(), L"spg", 0, temp)) {
    DWORD error = GetLastError();
    return Fail(status, ResultOfError(error), static_cast<int>(error), "create temporary");
  }
  HANDLE file = CreateFileW(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  const char *step = file == INVALID_HANDLE_VALUE ? "create temporary" : nullptr;
  const char *p = static_cast<const char *>(data);
  for (size_t left = size; !step && left > 0;) {
    DWORD chunk = static_cast<DWORD>(left > (1u << 30) ? (1u << 30) : left), wrote = 0;
    if (!WriteFile(file, p, chunk, &wrote, nullptr) || wrote == 0) step = "write";
    p += wrote;
    left -= wrote;
  }
  if (!step && sync && !FlushFileBuffers(file)) step = "sync";
  DWORD error = step ? GetLastError() : 0;
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  if (!step && exists) SetFileAttributesW(temp, attributes & ~FILE_ATTRIBUTE_TEMPORARY);
  const DWORD move = MOVEFILE_REPLACE_EXISTING | (sync ? MOVEFILE_WRITE_THROUGH : 0);
  if (!step && !MoveFileExW(temp, target.c_str(), move)) {
    step = "rename";
    error = GetLastError();
  }
  if (step) {
    DeleteFileW(temp);
    return Fail(status, kFileIo, static_cast<int>(error), step);
  }
  status->result = kFileOk;
  return 1;
}

#endif
