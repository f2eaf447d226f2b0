// System services of the sprig tool, POSIX and Windows side by side. Nothing
// else in tools/ tests for the platform. Windows paths and arguments are
// UTF-16 and converted from and to UTF-8 here; POSIX paths pass unchanged.
#include "cli_sys.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "cli_text.h"

#ifdef _WIN32
#  include <windows.h>
#  include <fcntl.h>
#  include <io.h>
#  include <shellapi.h>
#else
#  include <unistd.h>
#endif

namespace sprig_cli {

namespace {

#ifdef _WIN32

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
#endif

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
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
#endif
}

std::string ErrorReason(int osError) {
#ifdef _WIN32
  return Reason(static_cast<DWORD>(osError));
#else
  return Reason(osError);
#endif
}

bool IsFolder(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_directory(std::filesystem::u8path(path), error);
}

std::string ListFolder(const std::string& folder, const std::vector<std::string>& patterns,
                       std::vector<std::string>* files) {
  namespace fs = std::filesystem;
  std::error_code error;
  fs::recursive_directory_iterator it(fs::u8path(folder), fs::directory_options::skip_permission_denied,
                                      error);
  // Paths below the folder are spelled with '/' (which every system takes)
  // after the folder as given, so listings read the same everywhere.
  std::string head = folder;
  if (!head.empty() && head.back() != '/' && head.back() != '\\') head += '/';
  std::vector<std::string> found;
  for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    if (!it->is_regular_file(error)) { error.clear(); continue; }
    std::string name = it->path().filename().u8string();
    bool wanted = patterns.empty();
    for (const std::string& pattern : patterns) wanted = wanted || GlobMatch(pattern, name);
    if (wanted)
      found.push_back(head + it->path().lexically_relative(fs::u8path(folder)).generic_u8string());
  }
  if (error) {
    if (error == std::errc::no_such_file_or_directory) return "no such directory";
    if (error == std::errc::permission_denied) return "permission denied";
    std::string text = error.message();
    if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z') text[0] = static_cast<char>(text[0] - 'A' + 'a');
    return text;
  }
  std::sort(found.begin(), found.end());
  files->insert(files->end(), found.begin(), found.end());
  return "";
}

uint64_t FileSize(const std::string& path) {
  std::error_code error;
  std::uintmax_t size = std::filesystem::file_size(std::filesystem::u8path(path), error);
  return error ? 0 : static_cast<uint64_t>(size);
}

bool IsTerminal(std::FILE* stream) {
#ifdef _WIN32
  return _isatty(_fileno(stream)) != 0;
#else
  return isatty(fileno(stream)) != 0;
#endif
}

std::string ReadAll(std::FILE* stream, std::string* bytes) {
  char block[65536];
  std::size_t n;
  while ((n = std::fread(block, 1, sizeof block, stream)) > 0) bytes->append(block, n);
  return std::ferror(stream) ? "read error" : "";
}

void FreeOuterXml(SG_WCHAR* block) {
  if (block == nullptr) return;
  GlobalUnlock(GlobalHandle(block));
  GlobalFree(GlobalHandle(block));
}

}  // namespace sprig_cli
