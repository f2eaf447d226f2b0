// The one neutral header through which the library reaches its operating
// system: global memory, code-page conversion, string helpers, wsprintf-style
// formatting and files, always under their Windows names and signatures.
//
// On Windows this is <windows.h> and nothing else of substance. Elsewhere it
// declares exactly the subset the library calls, with Windows-sized types
// (WCHAR is a 16-bit char16_t, LONG and DWORD are 32 bits), implemented by the
// other files of this folder. C++ only. Nothing else in the library includes a
// system header of its own for these services.
#ifndef SPRIG_PLATFORM_PLATFORM_H
#define SPRIG_PLATFORM_PLATFORM_H

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>

#include <atomic>
#include <new>

#if defined(_WIN32)

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

// Every GlobalAlloc of the library goes through PlatformGlobalAlloc, which
// honours the allocation-failure hook below and then calls the system's
// GlobalAlloc (global_memory_win.cpp). Redirecting the name here keeps the
// code above this folder identical on both builds.
HGLOBAL WINAPI PlatformGlobalAlloc(UINT flags, SIZE_T bytes);
#define GlobalAlloc PlatformGlobalAlloc

#else  // POSIX

#ifdef __cplusplus
extern "C" {
#endif

typedef int BOOL;
typedef uint8_t BYTE;
typedef char CHAR;
typedef char16_t WCHAR;  // UTF-16 code unit; never wchar_t (32 bits here)
typedef CHAR *LPSTR;
typedef const CHAR *LPCSTR;
typedef WCHAR *LPWSTR;
typedef const WCHAR *LPCWSTR;
typedef uint32_t DWORD;
typedef uint32_t UINT;
typedef int32_t LONG;
typedef size_t SIZE_T;
typedef void *LPVOID;
typedef const void *LPCVOID;
typedef void *HANDLE;
typedef void *HGLOBAL;
typedef DWORD *LPDWORD;
typedef BOOL *LPBOOL;
typedef struct _OVERLAPPED *LPOVERLAPPED;                    // always null
typedef struct _SECURITY_ATTRIBUTES *LPSECURITY_ATTRIBUTES;  // always null

#define WINAPI
#define TRUE 1
#define FALSE 0

#define GMEM_FIXED 0x0000u
#define GMEM_MOVEABLE 0x0002u
#define GMEM_ZEROINIT 0x0040u
#define GPTR (GMEM_FIXED | GMEM_ZEROINIT)
#define GHND (GMEM_MOVEABLE | GMEM_ZEROINIT)

#define CP_ACP 0u  // the ANSI code page: 932 (Shift-JIS, Windows variant)
#define CP_UTF7 65000u
#define CP_UTF8 65001u

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001u
#define CREATE_ALWAYS 2u
#define OPEN_EXISTING 3u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define INVALID_FILE_SIZE ((DWORD)0xFFFFFFFFu)
#define MAX_PATH 260

// Global memory (global_memory.cpp). Every block is fixed: its handle is its
// pointer, so GlobalLock and GlobalHandle return their argument and
// GlobalUnlock reports TRUE. GlobalFree accepts null and returns null.
HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes);
LPVOID GlobalLock(HGLOBAL block);
HGLOBAL GlobalHandle(LPCVOID pointer);
BOOL GlobalUnlock(HGLOBAL block);
HGLOBAL GlobalFree(HGLOBAL block);

// Code pages (code_page.cpp). Flags must be 0; no default character.
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int bytes,
                        LPWSTR out, int outUnits);
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR text, int units,
                        LPSTR out, int outBytes, LPCSTR defaultChar,
                        LPBOOL usedDefaultChar);
BOOL IsDBCSLeadByte(BYTE byte);

// Strings (strings.cpp).
int lstrlenA(LPCSTR text);
int lstrlenW(LPCWSTR text);
LPWSTR lstrcpynW(LPWSTR out, LPCWSTR text, int outUnits);
int lstrcmpiA(LPCSTR a, LPCSTR b);
int lstrcmpiW(LPCWSTR a, LPCWSTR b);

// wsprintf-style formatting (format.cpp), at most 1024 characters with the
// terminator.
int wvsprintfA(LPSTR out, LPCSTR format, va_list args);
int wvsprintfW(LPWSTR out, LPCWSTR format, va_list args);

// Files (files.cpp).
HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share,
                   LPSECURITY_ATTRIBUTES security, DWORD disposition,
                   DWORD attributes, HANDLE templateFile);
HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD share,
                   LPSECURITY_ATTRIBUTES security, DWORD disposition,
                   DWORD attributes, HANDLE templateFile);
DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh);
BOOL ReadFile(HANDLE file, LPVOID out, DWORD bytes, LPDWORD bytesRead,
              LPOVERLAPPED overlapped);
BOOL WriteFile(HANDLE file, LPCVOID data, DWORD bytes, LPDWORD bytesWritten,
               LPOVERLAPPED overlapped);
BOOL CloseHandle(HANDLE file);

// Fiber-local storage (thread_data.cpp), over POSIX thread-specific keys: an
// index names a slot holding one pointer per thread, null until set. When a
// thread ends, the index's callback gets that thread's pointer if not null
// (the main thread's is not passed at process exit). FlsFree calls no
// callback.
typedef void (*PFLS_CALLBACK_FUNCTION)(void *data);
#define FLS_OUT_OF_INDEXES ((DWORD)0xFFFFFFFFu)
DWORD FlsAlloc(PFLS_CALLBACK_FUNCTION callback);
LPVOID FlsGetValue(DWORD index);
BOOL FlsSetValue(DWORD index, LPVOID value);
BOOL FlsFree(DWORD index);

#ifdef __cplusplus
}
#endif

#endif  // POSIX

// A thread-data slot for one kind of per-thread record, made by a static of
// its user: each thread's record is made on first use and handed to the
// slot's callback when the thread ends. The slot is freed with the library,
// so that threads outliving an unloaded library are left no callback into
// it. A record lives in a block of its own rather than in thread-local
// storage, which on some builds is gone before that callback runs.
struct ThreadDataSlot {
  DWORD index;
  explicit ThreadDataSlot(PFLS_CALLBACK_FUNCTION release) : index(FlsAlloc(release)) {}
  ~ThreadDataSlot() {
    if (index != FLS_OUT_OF_INDEXES) FlsFree(index);
    index = FLS_OUT_OF_INDEXES;
  }
  ThreadDataSlot(const ThreadDataSlot &) = delete;
  ThreadDataSlot &operator=(const ThreadDataSlot &) = delete;
};

// The calling thread's record in `slot`; when it has none and `make`, a new
// zero-initialised T. Null when there is none or it cannot be made.
template <typename T>
T *ThreadRecord(ThreadDataSlot *slot, bool make) {
  if (slot->index == FLS_OUT_OF_INDEXES) return nullptr;
  T *record = static_cast<T *>(FlsGetValue(slot->index));
  if (record || !make) return record;
  record = new (std::nothrow) T();
  if (record && !FlsSetValue(slot->index, record)) {
    delete record;
    record = nullptr;
  }
  return record;
}

// Allocation-failure hook, for tests only (both builds): when installed, it
// is asked before every GlobalAlloc of the library and every block carved
// from memory the library holds; true makes that allocation fail. The test
// support (src/testing) installs its counting hook; the shipped library
// never does.
typedef bool (*PlatformAllocationHook)(void);
// A cache line of its own: every allocation of every thread reads the hook,
// so no variable that a thread writes may share its line.
struct alignas(64) PlatformAllocationHookSlot {
  std::atomic<PlatformAllocationHook> hook;
};
extern PlatformAllocationHookSlot gPlatformAllocationHook;
// Asks the hook about one allocation that does not reach GlobalAlloc; true
// when it is to fail.
bool PlatformAllocationShouldFail(void);
// True while a hook is installed; lets a hot path skip the call otherwise.
inline bool PlatformAllocationCounting(void) {
  return gPlatformAllocationHook.hook.load(std::memory_order_relaxed) != nullptr;
}

// Memory-checker annotations for blocks the library carves itself: poisoned
// bytes may not be touched until unpoisoned. No-ops without AddressSanitizer.
#if defined(__SANITIZE_ADDRESS__)
#define SPRIG_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SPRIG_ADDRESS_SANITIZER 1
#endif
#endif
#ifdef SPRIG_ADDRESS_SANITIZER
#include <sanitizer/asan_interface.h>
#define PlatformPoison(address, bytes) ASAN_POISON_MEMORY_REGION((address), (bytes))
#define PlatformUnpoison(address, bytes) ASAN_UNPOISON_MEMORY_REGION((address), (bytes))
#else
#define PlatformPoison(address, bytes) ((void)(address), (void)(bytes))
#define PlatformUnpoison(address, bytes) ((void)(address), (void)(bytes))
#endif

#endif  // SPRIG_PLATFORM_PLATFORM_H
