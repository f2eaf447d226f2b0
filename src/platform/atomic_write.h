// Whole-file reading and verified atomic replacement of a file, for the
// editing layer. Paths are UTF-8 on every platform. Neither call ever blocks
// on a FIFO or device, and neither changes anything on failure.
#ifndef SPRIG_PLATFORM_ATOMIC_WRITE_H
#define SPRIG_PLATFORM_ATOMIC_WRITE_H

#include <stddef.h>
#include <stdint.h>

enum FileResult {
  kFileOk = 0,
  kFileIo,          // an operation failed: `step` and `osError` say which and why
  kFileNotFound,    // the file (reading) or its folder (writing) does not exist
  kFileNotRegular,  // a folder, FIFO, socket or device
  kFileMemory,
  kFileTooLarge,    // more than the 2 GiB a document can hold
};

struct FileStatus {
  int result;        // FileResult
  int osError;       // errno or GetLastError, 0 when none
  const char *step;  // "open", "read", "write", "sync", "rename", ... (static)
};

// Reads the regular file at `path` whole into a new block (malloc; the
// caller frees it with free()), *size receiving its length. 1, or 0 with
// `status` filled.
int ReadWholeFile(const char *path, char **bytes, size_t *size, FileStatus *status);

// Replaces the file at `path` (created when missing) with `size` bytes: they
// go to a new file in the same folder, which is renamed over the target;
// with `sync`, the new file is synced before the rename and the folder
// after it, so that a crash of the system leaves the old file or the new
// one (without, only a crash of the program is covered). A symlink is
// followed to the file it names (the link stays). An existing target keeps
// its permission bits; a read-only target is refused. 1, or 0 with `status`
// filled and the target untouched.
int ReplaceFileAtomically(const char *path, const void *data, size_t size, bool sync,
                          FileStatus *status);

#endif
