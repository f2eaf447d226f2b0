// Operating-system services of the sprig tool: UTF-8 arguments, binary
// standard streams, error reasons, folder listings and terminal probes.
//
// This is the tool's only system-dependent file pair. Every path is UTF-8;
// on Windows it is converted to UTF-16 here. Reasons are short lower-case
// phrases ("no such file", "permission denied") for "sprig: ...: reason".
#ifndef SPRIG_TOOL_CLI_SYS_H
#define SPRIG_TOOL_CLI_SYS_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "sprig.h"

namespace sprig_cli {

// The command line as UTF-8 strings: argv as given on POSIX, the UTF-16
// command line on Windows (argv there is in the ANSI code page).
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// Puts stdin, stdout and stderr in binary mode, so UTF-8 bytes pass unchanged.
void UseBinaryStreams();

// The short reason for a system error code (errno on POSIX, GetLastError on
// Windows), as the editing layer reports them in SX_ERROR.osError.
std::string ErrorReason(int osError);

// Whether `path` names an existing folder.
bool IsFolder(const std::string& path);

// Appends to *files the regular files below `folder` (all levels, symbolic
// links to folders not followed) whose file name matches one of `patterns`
// (every file when there is none), sorted by path. "" or the reason the
// folder could not be read.
std::string ListFolder(const std::string& folder, const std::vector<std::string>& patterns,
                       std::vector<std::string>* files);

// The size of the file at `path` in bytes; 0 when it cannot be known.
uint64_t FileSize(const std::string& path);

// Whether the stream is a terminal (console).
bool IsTerminal(std::FILE* stream);

// Reads the stream to its end into *bytes. "" or the reason.
std::string ReadAll(std::FILE* stream, std::string* bytes);

// Frees a block returned by sgGetOuterXMLW (null allowed).
void FreeOuterXml(SG_WCHAR* block);

}  // namespace sprig_cli

#endif  // SPRIG_TOOL_CLI_SYS_H
