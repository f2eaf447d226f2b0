// System calls of the sprig tool, POSIX and Windows side by side. Nothing
// else in tools/ tests for the platform. Windows paths and arguments are
// UTF-16 and converted from and to UTF-8 here; POSIX paths pass unchanged.
#include "cli_sys.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#  include <windows.h>
#  include <fcntl.h>
#  include <io.h>
#  include <shellapi.h>
#else
#  include <fcntl.h>
#  include <sys/stat.h>
#  include <unistd.h>
#endif

namespace sprig_cli {

namespace {

#ifdef _WIN32

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &out[0], n);
  return out;
}

std::string Narrow(const wchar_t* text) {
  int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return std::string();
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], n, nullptr, nullptr);
  out.resize(static_cast<std::size_t>(n - 1));
  return out;
}

std::string Reason(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND: return "no such file";
    case ERROR_PATH_NOT_FOUND: return "no such directory";
    case ERROR_ACCESS_DENIED: return "permission denied";
    case ERROR_SHARING_VIOLATION: return "file is in use";
    case ERROR_DISK_FULL: return "disk full";
    default: return "system error " + std::to_string(error);
  }
}

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

#else

std::string Reason(int error) {
  switch (error) {
    case ENOENT: return "no such file";
    case ENOTDIR: return "no such directory";
    case EACCES: case EPERM: return "permission denied";
    case EISDIR: return "is a directory";
    case EROFS: return "read-only file system";
    case ENOSPC: return "disk full";
    default: {
      std::string text = std::strerror(error);
      if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z') text[0] = static_cast<char>(text[0] - 'A' + 'a');
      return text;
    }
  }
}

bool IsSeparator(char c) { return c == '/'; }

#endif

// The folder part of a path, "." when it has none.
std::string FolderOf(const std::string& path) {
  std::size_t i = path.size();
  while (i > 0 && !IsSeparator(path[i - 1])) --i;
  if (i == 0) return ".";
  std::string folder = path.substr(0, i);
  // Keep "/" and "C:/" whole; drop the separator otherwise.
  if (folder.size() > 1 && !(folder.size() == 3 && folder[1] == ':')) folder.pop_back();
  return folder;
}

// "" when `folder` exists and is a folder, else the reason.
std::string ProbeFolder(const std::string& folder) {
#ifdef _WIN32
  DWORD attributes = GetFileAttributesW(Wide(folder).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return "no such directory";
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return "not a directory";
  return "";
#else
  struct stat st;
  if (stat(folder.c_str(), &st) != 0) return errno == ENOENT ? "no such directory" : Reason(errno);
  if (!S_ISDIR(st.st_mode)) return "not a directory";
  return "";
#endif
}

}  // namespace

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  std::vector<std::string> args;
#ifdef _WIN32
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide != nullptr) {
    for (int i = 0; i < count; ++i) args.push_back(Narrow(wide[i]));
    LocalFree(wide);
    return args;
  }
#endif
  for (int i = 0; i < argc; ++i) args.push_back(argv[i] != nullptr ? argv[i] : "");
  return args;
}

void UseBinaryStreams() {
#ifdef _WIN32
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
#endif
}

std::string ProbeReadable(const std::string& path) {
#ifdef _WIN32
  std::wstring wide = Wide(path);
  DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return Reason(GetLastError());
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return "is a directory";
  HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Reason(GetLastError());
  CloseHandle(file);
  return "";
#else
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return Reason(errno);
  if (S_ISDIR(st.st_mode)) return "is a directory";
  int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) return Reason(errno);
  close(fd);
  return "";
#endif
}

std::string ProbeWritable(const std::string& path) {
  std::string reason = ProbeFolder(FolderOf(path));
  if (!reason.empty()) return reason;
#ifdef _WIN32
  DWORD attributes = GetFileAttributesW(Wide(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return "";
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return "is a directory";
  if (attributes & FILE_ATTRIBUTE_READONLY) return "permission denied";
  return "";
#else
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return errno == ENOENT ? "" : Reason(errno);
  if (S_ISDIR(st.st_mode)) return "is a directory";
  if (access(path.c_str(), W_OK) != 0) return Reason(errno);
  return "";
#endif
}

std::string CreateSiblingTemp(const std::string& target, std::string* tempPath) {
  std::string folder = FolderOf(target);
  std::string reason = ProbeFolder(folder);
  if (!reason.empty()) return reason;
  std::size_t cut = target.size();
  while (cut > 0 && !IsSeparator(target[cut - 1])) --cut;
  std::string prefix = target.substr(0, cut), base = target.substr(cut);
#ifdef _WIN32
  unsigned long id = GetCurrentProcessId();
#else
  unsigned long id = static_cast<unsigned long>(getpid());
#endif
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    std::string candidate = prefix + "." + base + ".sprig-" + std::to_string(id) + "-" +
                            std::to_string(attempt) + ".tmp";
#ifdef _WIN32
    HANDLE file = CreateFileW(Wide(candidate).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      CloseHandle(file);
      *tempPath = candidate;
      return "";
    }
    if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)
      return Reason(GetLastError());
#else
    int fd = open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
    if (fd >= 0) {
      close(fd);
      *tempPath = candidate;
      return "";
    }
    if (errno != EEXIST) return Reason(errno);
#endif
  }
  return "cannot make a temporary file";
}

std::string ReplaceByRename(const std::string& from, const std::string& to) {
#ifdef _WIN32
  if (!MoveFileExW(Wide(from).c_str(), Wide(to).c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return Reason(GetLastError());
  return "";
#else
  struct stat st;
  if (stat(to.c_str(), &st) == 0) chmod(from.c_str(), st.st_mode & 07777);
  if (rename(from.c_str(), to.c_str()) != 0) return Reason(errno);
  return "";
#endif
}

void FreeOuterXml(SG_WCHAR* block) {
  if (block == nullptr) return;
  GlobalUnlock(GlobalHandle(block));
  GlobalFree(GlobalHandle(block));
}

void RemoveFile(const std::string& path) {
#ifdef _WIN32
  DeleteFileW(Wide(path).c_str());
#else
  unlink(path.c_str());
#endif
}

}  // namespace sprig_cli
