// Fiber-local storage outside Windows: FlsAlloc, FlsGetValue, FlsSetValue and
// FlsFree over POSIX thread-specific keys, whose destructors play the part of
// the callbacks Windows calls when a thread ends. A key is the index.
#ifndef _WIN32

#include "platform/platform.h"

#include <pthread.h>

static_assert(sizeof(pthread_key_t) <= sizeof(DWORD), "a key fits an index");

DWORD FlsAlloc(PFLS_CALLBACK_FUNCTION callback) {
  pthread_key_t key;
  if (pthread_key_create(&key, callback) != 0) return FLS_OUT_OF_INDEXES;
  // The one key value that would read as "no index" is given back.
  if (static_cast<DWORD>(key) == FLS_OUT_OF_INDEXES) {
    pthread_key_delete(key);
    return FLS_OUT_OF_INDEXES;
  }
  return static_cast<DWORD>(key);
}

LPVOID FlsGetValue(DWORD index) { return pthread_getspecific(static_cast<pthread_key_t>(index)); }

BOOL FlsSetValue(DWORD index, LPVOID value) {
  return pthread_setspecific(static_cast<pthread_key_t>(index), value) == 0 ? TRUE : FALSE;
}

BOOL FlsFree(DWORD index) {
  return pthread_key_delete(static_cast<pthread_key_t>(index)) == 0 ? TRUE : FALSE;
}

#endif  // !_WIN32
