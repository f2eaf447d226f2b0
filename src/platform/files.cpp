// Files outside Windows: CreateFileA/W, GetFileSize, ReadFile, WriteFile and
// CloseHandle on POSIX file descriptors. A handle is the descriptor plus one,
// so that no valid handle is null; INVALID_HANDLE_VALUE reports failure.
// UTF-16 paths are opened as UTF-8, narrow paths are read in the ANSI code
// page (932) first. Only the access rights, dispositions and attributes the
// library uses are accepted; share modes and attributes have no effect. The
// caller owns a handle until CloseHandle.
#ifndef _WIN32

#include "platform/platform.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

HANDLE ToHandle(int fd) { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(fd) + 1); }
int ToFd(HANDLE file) { return static_cast<int>(reinterpret_cast<intptr_t>(file) - 1); }

// Opens a UTF-8 path. OPEN_EXISTING refuses a directory, as Windows does;
// CREATE_ALWAYS creates or truncates with mode 0666 less the umask. A FIFO or
// a socket is refused too: it can be neither sized nor read or written whole.
// The open itself never waits (O_NONBLOCK: a FIFO without a peer fails or
// opens at once and is then refused); a regular file is switched back to
// blocking reads and writes.
HANDLE OpenPath(const char *path, DWORD access, DWORD disposition) {
  int flags;
  switch (access & (GENERIC_READ | GENERIC_WRITE)) {
    case GENERIC_READ: flags = O_RDONLY; break;
    case GENERIC_WRITE: flags = O_WRONLY; break;
    case GENERIC_READ | GENERIC_WRITE: flags = O_RDWR; break;
    default: return INVALID_HANDLE_VALUE;
  }
  if (disposition == CREATE_ALWAYS)
    flags |= O_CREAT | O_TRUNC;
  else if (disposition != OPEN_EXISTING)
    return INVALID_HANDLE_VALUE;
  int fd;
  do {
    fd = open(path, flags | O_CLOEXEC | O_NONBLOCK, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return INVALID_HANDLE_VALUE;
  struct stat info;
  if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode) || S_ISFIFO(info.st_mode) ||
      S_ISSOCK(info.st_mode)) {
    close(fd);
    return INVALID_HANDLE_VALUE;
  }
  const int status = fcntl(fd, F_GETFL);
  if (status == -1 || fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0) {
    close(fd);
    return INVALID_HANDLE_VALUE;
  }
  return ToHandle(fd);
}

// Opens a UTF-16 path by way of a UTF-8 copy on the heap.
HANDLE OpenWidePath(LPCWSTR path, DWORD access, DWORD disposition) {
  if (!path || !*path) return INVALID_HANDLE_VALUE;
  int bytes = WideCharToMultiByte(CP_UTF8, 0, path, -1, nullptr, 0, nullptr, nullptr);
  char *utf8 = bytes > 0 ? static_cast<char *>(malloc(static_cast<size_t>(bytes))) : nullptr;
  if (!utf8) return INVALID_HANDLE_VALUE;
  WideCharToMultiByte(CP_UTF8, 0, path, -1, utf8, bytes, nullptr, nullptr);
  HANDLE file = OpenPath(utf8, access, disposition);
  free(utf8);
  return file;
}

}  // namespace

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD attributes, HANDLE templateFile) {
  (void)share, (void)security, (void)attributes, (void)templateFile;
  if (!path || !*path) return INVALID_HANDLE_VALUE;
  int units = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
  WCHAR *wide = units > 0 ? static_cast<WCHAR *>(malloc(static_cast<size_t>(units) * sizeof(WCHAR)))
                          : nullptr;
  if (!wide) return INVALID_HANDLE_VALUE;
  MultiByteToWideChar(CP_ACP, 0, path, -1, wide, units);
  HANDLE file = OpenWidePath(wide, access, disposition);
  free(wide);
  return file;
}

HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD attributes, HANDLE templateFile) {
  (void)share, (void)security, (void)attributes, (void)templateFile;
  return OpenWidePath(path, access, disposition);
}

// The low 32 bits of the size, the high 32 bits through sizeHigh when given;
// INVALID_FILE_SIZE when the size cannot be had.
DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh) {
  struct stat info;
  if (file == INVALID_HANDLE_VALUE || !file || fstat(ToFd(file), &info) != 0)
    return INVALID_FILE_SIZE;
  uint64_t size = static_cast<uint64_t>(info.st_size);
  if (sizeHigh) *sizeHigh = static_cast<DWORD>(size >> 32);
  return static_cast<DWORD>(size);
}

// Reads until `bytes` are in or the file ends; FALSE only on an error. The
// count read so far is reported either way.
BOOL ReadFile(HANDLE file, LPVOID out, DWORD bytes, LPDWORD bytesRead, LPOVERLAPPED overlapped) {
  (void)overlapped;
  DWORD done = 0;
  BOOL ok = file != INVALID_HANDLE_VALUE && file && (out || bytes == 0);
  while (ok && done < bytes) {
    ssize_t n = read(ToFd(file), static_cast<char *>(out) + done, bytes - done);
    if (n > 0)
      done += static_cast<DWORD>(n);
    else if (n == 0)
      break;
    else if (errno != EINTR)
      ok = FALSE;
  }
  if (bytesRead) *bytesRead = done;
  return ok;
}

// Writes until all `bytes` are out; FALSE on an error, with the count written
// so far reported.
BOOL WriteFile(HANDLE file, LPCVOID data, DWORD bytes, LPDWORD bytesWritten,
               LPOVERLAPPED overlapped) {
  (void)overlapped;
  DWORD done = 0;
  BOOL ok = file != INVALID_HANDLE_VALUE && file && (data || bytes == 0);
  while (ok && done < bytes) {
    ssize_t n = write(ToFd(file), static_cast<const char *>(data) + done, bytes - done);
    if (n > 0)
      done += static_cast<DWORD>(n);
    else if (n == 0 || errno != EINTR)
      ok = FALSE;
  }
  if (bytesWritten) *bytesWritten = done;
  return ok;
}

BOOL CloseHandle(HANDLE file) {
  if (file == INVALID_HANDLE_VALUE || !file) return FALSE;
  return close(ToFd(file)) == 0 ? TRUE : FALSE;
}

#endif  // !_WIN32
