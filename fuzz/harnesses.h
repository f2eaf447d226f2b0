// The fuzz harnesses of Sprig as plain functions, so that libFuzzer entry
// points (fuzz_*.cpp) and the replay test (tests/reliability) run the very
// same code. Each harness takes any bytes, drives the library through its
// public API, checks the document invariants where a document exists, and
// aborts (after a line on stderr) on any broken invariant or round-trip
// mismatch; a crash or sanitizer report is a finding as well.
#ifndef SPRIG_FUZZ_HARNESSES_H
#define SPRIG_FUZZ_HARNESSES_H

#include <stddef.h>
#include <stdint.h>

#include <string>

namespace sprig_fuzz {

// Folder for the files the harnesses write (native form, no trailing slash).
// Default: $SPRIG_FUZZ_TMP, else /dev/shm where it exists, else $TMPDIR,
// else /tmp.
void SetScratchDir(const std::string &dir);

// Bytes through sgParseXMLA (exact length or up to a terminator), then a walk
// reading every element, a render and a close.
int ParseNarrow(const uint8_t *data, size_t size);
// Bytes written to a file and read back through sgOpenXMLA, walked, flushed
// after an edit and closed.
int OpenFile(const uint8_t *data, size_t size);
// Bytes taken as UTF-16 units through sgParseXMLW, walked and rendered.
int ParseWide(const uint8_t *data, size_t size);
// Parse, save, render; reparse and save again, and again: the saves must
// settle on bytes that repeat (see the harness for why the first differ),
// and each must equal the rendering of its tree.
int RoundTrip(const uint8_t *data, size_t size);
// The input as a program of at most 100 calls over two documents and
// several cursors, invariants checked after every call.
int ApiSequence(const uint8_t *data, size_t size);

// The input as a small edit program (a header byte, three bytes per edit)
// and a file's bytes: opened through sxParse, edited through the sprig.h
// functions, rendered with sxRender (and saved with sxSave when the header
// says). Unedited, the output must equal the input; edited, the bytes before
// the first node, after the last, and of every subtree no edit reached must
// come out as they were read, in order.
int ExactEdits(const uint8_t *data, size_t size);

// Harness by name ("parse_narrow", "open_file", "parse_wide", "round_trip",
// "api_sequence", "exact_edits"), or null.
typedef int (*Harness)(const uint8_t *data, size_t size);
Harness FindHarness(const std::string &name);

}  // namespace sprig_fuzz

#endif
