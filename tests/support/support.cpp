// Implementation of the shared test helpers (see support.h). The only
// platform-specific parts are the drive prefix of native paths and the thread
// of RunOnSmallStack: <windows.h> on Windows, pthreads elsewhere.
#include "support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#else
#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#ifndef SPRIG_CORPUS_DIR
#error "SPRIG_CORPUS_DIR must be defined by the build"
#endif
#ifndef SPRIG_TEST_TMP_DIR
#error "SPRIG_TEST_TMP_DIR must be defined by the build"
#endif

namespace fs = std::filesystem;

namespace sprig_test {

namespace {

std::string StripTrailingSlash(std::string p) {
  while (p.size() > 1 && (p.back() == '/' || p.back() == '\\')) p.pop_back();
  return p;
}

fs::path FsPath(const std::string& nativePath) { return fs::u8path(nativePath); }

// Sorted entries directly inside a folder: native paths of its regular files,
// or the names of its folders.
std::vector<std::string> Entries(const std::string& folder, bool folders) {
  std::vector<std::string> out;
  std::error_code ec;
  fs::directory_iterator it(FsPath(folder), ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    if (folders ? it->is_directory(ec) : it->is_regular_file(ec)) {
      out.push_back(folders ? it->path().filename().generic_u8string()
                            : it->path().generic_u8string());
    }
  }
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace

// ---- Paths -----------------------------------------------------------------

std::string NativePath(const std::string& path) {
#ifdef _WIN32
  if (!path.empty() && path[0] == '/' && (path.size() < 2 || path[1] != '/')) return "Z:" + path;
#endif
  return path;
}

std::string CorpusDir() { return StripTrailingSlash(NativePath(SPRIG_CORPUS_DIR)); }

std::string CorpusPath(const std::string& relative) { return CorpusDir() + "/" + relative; }

std::vector<std::string> ListFiles(const std::string& folder) { return Entries(folder, false); }

std::vector<std::string> CorpusFiles(const std::string& folder) {
  return ListFiles(CorpusPath(folder));
}

std::vector<std::string> CorpusFeedEncodings() { return Entries(CorpusPath("feeds"), true); }

// ---- Files -----------------------------------------------------------------

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(FsPath(path), std::ios::binary);
  if (!in) {
    ADD_FAILURE() << "cannot open " << path;
    return std::string();
  }
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) {
    ADD_FAILURE() << "cannot read " << path;
    return std::string();
  }
  return bytes;
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(FsPath(path), std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  return !out.fail();
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  return fs::exists(FsPath(path), ec);
}

// ---- Text ------------------------------------------------------------------

WString Utf16(const std::string& utf8) {
  // Each maximal invalid subpart becomes one U+FFFD (the WHATWG rule).
  WString out;
  out.reserve(utf8.size());
  const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
  const std::size_t n = utf8.size();
  for (std::size_t i = 0; i < n;) {
    const unsigned char b = s[i++];
    // Continuation bytes to come, and the range of the first of them.
    std::size_t need = b >= 0xC2 && b <= 0xDF ? 1 : b >= 0xE0 && b <= 0xEF ? 2
                     : b >= 0xF0 && b <= 0xF4 ? 3 : 0;
    char32_t cp = b < 0x80 ? b : need ? b & (0x3F >> need) : 0xFFFD;
    unsigned char lo = b == 0xE0 ? 0xA0 : b == 0xF0 ? 0x90 : 0x80;
    unsigned char hi = b == 0xED ? 0x9F : b == 0xF4 ? 0x8F : 0xBF;
    for (; need > 0; --need, lo = 0x80, hi = 0xBF) {
      if (i >= n || s[i] < lo || s[i] > hi) {
        cp = 0xFFFD;
        break;
      }
      cp = (cp << 6) | (s[i++] & 0x3F);
    }
    if (cp >= 0x10000) {
      out.push_back(static_cast<SG_WCHAR>(0xD800 + ((cp - 0x10000) >> 10)));
      cp = 0xDC00 + (cp & 0x3FF);
    }
    out.push_back(static_cast<SG_WCHAR>(cp));
  }
  return out;
}

std::string Utf8(const SG_WCHAR* text, std::ptrdiff_t length) {
  std::string out;
  if (!text) return out;
  const std::size_t n = length < 0 ? std::char_traits<SG_WCHAR>::length(text)
                                   : static_cast<std::size_t>(length);
  for (std::size_t i = 0; i < n; ++i) {
    char32_t cp = static_cast<char16_t>(text[i]);
    if (cp >= 0xD800 && cp <= 0xDFFF) {
      const char32_t lo = i + 1 < n ? static_cast<char16_t>(text[i + 1]) : 0;
      if (cp <= 0xDBFF && lo >= 0xDC00 && lo <= 0xDFFF) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
        ++i;
      } else {
        cp = 0xFFFD;
      }
    }
    // The lead byte's mark for 0 to 3 continuation bytes.
    static const unsigned char kLeadMark[] = {0x00, 0xC0, 0xE0, 0xF0};
    const int extra = cp < 0x80 ? 0 : cp < 0x800 ? 1 : cp < 0x10000 ? 2 : 3;
    out.push_back(static_cast<char>(kLeadMark[extra] | (cp >> (6 * extra))));
    for (int k = extra - 1; k >= 0; --k) {
      out.push_back(static_cast<char>(0x80 | ((cp >> (6 * k)) & 0x3F)));
    }
  }
  return out;
}

bool FreeGlobalBlock(void *block) { return GlobalFree(GlobalHandle(block)) == nullptr; }

// ---- Temporary folders -----------------------------------------------------

TempDir::TempDir() {
  static std::atomic<unsigned> counter{0};
  std::string base = "test";
  if (const auto* info = ::testing::UnitTest::GetInstance()->current_test_info()) {
    base = std::string(info->test_suite_name()) + "." + info->name();
  }
  for (char& c : base) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-') c = '_';
  }
  const std::string root = StripTrailingSlash(NativePath(SPRIG_TEST_TMP_DIR));
  std::error_code ec;
  fs::create_directories(FsPath(root), ec);
  const unsigned salt = std::random_device{}() ^ static_cast<unsigned>(
      std::chrono::steady_clock::now().time_since_epoch().count());
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::ostringstream name;
    name << root << "/" << base << "-" << std::hex << salt << "-" << counter++;
    ec.clear();
    if (fs::create_directory(FsPath(name.str()), ec) && !ec) {
      path_ = name.str();
      return;
    }
  }
  ADD_FAILURE() << "cannot create a temporary folder under " << root;
}

TempDir::~TempDir() {
  if (path_.empty()) return;
  std::error_code ec;
  fs::remove_all(FsPath(path_), ec);
}

std::string TempDir::File(const std::string& name) const { return path_ + "/" + name; }

std::string TempDir::CopyCorpusFile(const std::string& relative, const std::string& name) const {
  const std::string from = CorpusPath(relative);
  const std::string to = File(name.empty() ? FsPath(relative).filename().generic_u8string() : name);
  std::error_code ec;
  fs::copy_file(FsPath(from), FsPath(to), fs::copy_options::overwrite_existing, ec);
  if (ec) {
    ADD_FAILURE() << "cannot copy " << from << " to " << to << ": " << ec.message();
    return std::string();
  }
  // The corpus is read-only; the copy must be writable for save tests.
  fs::permissions(FsPath(to), fs::perms::owner_read | fs::perms::owner_write,
                  fs::perm_options::add, ec);
  return to;
}

std::string TempDir::WriteFile(const std::string& name, const std::string& bytes) const {
  const std::string to = File(name);
  if (!WriteFileBytes(to, bytes)) ADD_FAILURE() << "cannot write " << to;
  return to;
}

// ---- Stack -----------------------------------------------------------------

namespace {

struct ThreadTask {
  const std::function<void()>* fn;
  std::exception_ptr error;
  bool finished;
};

#ifdef _WIN32
DWORD WINAPI ThreadEntry(LPVOID arg) {
#else
void* ThreadEntry(void* arg) {
#endif
  auto* task = static_cast<ThreadTask*>(arg);
  try {
    (*task->fn)();
  } catch (...) {
    task->error = std::current_exception();
  }
  task->finished = true;
  return 0;
}

#ifdef _WIN32
// Wine ends only the thread whose stack overflows, silently, where Windows
// ends the process; a test would then pass with a recursive walk. This
// handler makes every stack overflow end the process with a message.
LONG CALLBACK StackOverflowHandler(EXCEPTION_POINTERS* info) {
  if (info->ExceptionRecord->ExceptionCode == EXCEPTION_STACK_OVERFLOW) {
    static const char kMessage[] =
        "\n*** stack overflow: an operation recursed beyond the 1 MiB stack\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), kMessage, sizeof kMessage - 1, &written, nullptr);
    TerminateProcess(GetCurrentProcess(), EXCEPTION_STACK_OVERFLOW);
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

struct StackOverflowGuard {
  StackOverflowGuard() { AddVectoredExceptionHandler(1, StackOverflowHandler); }
};
const StackOverflowGuard kStackOverflowGuard;
#endif

}  // namespace

void RunOnSmallStack(std::size_t stackBytes, const std::function<void()>& fn) {
  ThreadTask task{&fn, nullptr, false};
#ifdef _WIN32
  HANDLE thread = CreateThread(nullptr, stackBytes, ThreadEntry, &task,
                               STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (thread == nullptr) {
    ADD_FAILURE() << "CreateThread failed: " << GetLastError();
    return;
  }
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
#else
  // The stack is mapped here rather than left to glibc, which may hand a new
  // thread a cached stack up to four times larger than asked for. A guard
  // page below it turns an overflow into a crash.
  const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  if (stackBytes < static_cast<std::size_t>(PTHREAD_STACK_MIN)) stackBytes = PTHREAD_STACK_MIN;
  stackBytes = (stackBytes + page - 1) / page * page;
  void* mapping = mmap(nullptr, stackBytes + page, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
  if (mapping == MAP_FAILED) {
    ADD_FAILURE() << "cannot map a " << stackBytes << "-byte stack";
    return;
  }
  mprotect(mapping, page, PROT_NONE);
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  int rc = pthread_attr_setstack(&attr, static_cast<char*>(mapping) + page, stackBytes);
  pthread_t thread;
  if (rc == 0) rc = pthread_create(&thread, &attr, ThreadEntry, &task);
  pthread_attr_destroy(&attr);
  if (rc != 0) {
    munmap(mapping, stackBytes + page);
    ADD_FAILURE() << "pthread_create with a " << stackBytes << "-byte stack failed: " << rc;
    return;
  }
  pthread_join(thread, nullptr);
  munmap(mapping, stackBytes + page);
#endif
  if (!task.finished) {
    // The thread was ended from outside (it cannot return otherwise); the
    // process state is unknown, so stop here rather than run more tests.
    std::fprintf(stderr, "\n*** RunOnSmallStack: the thread ended before its task finished\n");
    std::fflush(stderr);
    std::_Exit(3);
  }
  if (task.error) std::rethrow_exception(task.error);
}

std::size_t CurrentStackSize() {
#ifdef _WIN32
  ULONG_PTR low = 0, high = 0;
  GetCurrentThreadStackLimits(&low, &high);
  return static_cast<std::size_t>(high - low);
#else
  pthread_attr_t attr;
  if (pthread_getattr_np(pthread_self(), &attr) != 0) return 0;
  void* low = nullptr;
  std::size_t size = 0;
  if (pthread_attr_getstack(&attr, &low, &size) != 0) size = 0;
  pthread_attr_destroy(&attr);
  return size;
#endif
}

int RunUnprivileged(const std::function<bool()>& body) {
#ifdef _WIN32
  (void)body;
  return -1;
#else
  if (geteuid() != 0) return -1;
  fflush(nullptr);
  const pid_t child = fork();
  if (child < 0) return -1;
  if (child == 0) {
    const uid_t nobody = 65534;
    if (setgid(nobody) != 0 || setuid(nobody) != 0) _exit(3);
    _exit(body() ? 0 : 1);
  }
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return 0;
  const int code = WEXITSTATUS(status);
  return code == 0 ? 1 : code == 1 ? 0 : -1;
#endif
}

bool MakeFifo(const std::string& path) {
#ifdef _WIN32
  (void)path;
  return false;
#else
  return mkfifo(path.c_str(), 0600) == 0;
#endif
}

int RunWithTimeout(unsigned seconds, const std::function<int()>& body) {
#ifdef _WIN32
  (void)seconds, (void)body;
  return -1;
#else
  fflush(nullptr);
  const pid_t child = fork();
  if (child < 0) return -1;
  if (child == 0) {
    signal(SIGALRM, SIG_DFL);
    alarm(seconds);  // a call that hangs ends the child with SIGALRM
    _exit(body() & 0x7F);
  }
  int status = 0;
  if (waitpid(child, &status, 0) != child) return -1;
  if (WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM) return -2;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

}  // namespace sprig_test
