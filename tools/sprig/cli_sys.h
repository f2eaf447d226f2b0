// Operating-system services of the sprig tool: UTF-8 arguments, binary
// standard streams, file probes and the replace-by-rename that keeps a file
// whole when a write fails.
//
// This is the tool's only system-dependent file pair. Every path is UTF-8;
// on Windows it is converted to UTF-16 here. Reasons are short lower-case
// phrases ("no such file", "permission denied") for "sprig: ...: reason".
#ifndef SPRIG_TOOL_CLI_SYS_H
#define SPRIG_TOOL_CLI_SYS_H

#include <string>
#include <vector>

#include "sprig.h"

namespace sprig_cli {

// The command line as UTF-8 strings: argv as given on POSIX, the UTF-16
// command line on Windows (argv there is in the ANSI code page).
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// Puts stdout and stderr in binary mode, so UTF-8 bytes pass unchanged.
void UseBinaryStreams();

// "" when `path` names a readable regular file, else the reason.
std::string ProbeReadable(const std::string& path);

// "" when a file may be written at `path`: its folder exists and, if the file
// exists, it is a writable regular file. Else the reason.
std::string ProbeWritable(const std::string& path);

// Creates a new empty file beside `target` (same folder) with a name no
// other file has, and stores its path in *tempPath. "" on success, else the
// reason (the folder is missing or not writable).
std::string CreateSiblingTemp(const std::string& target, std::string* tempPath);

// Moves `from` over `to` in one step (`to` is replaced if it exists; an
// existing `to` keeps its permission bits). "" on success, else the reason;
// `to` is then unchanged.
std::string ReplaceByRename(const std::string& from, const std::string& to);

// Frees a block returned by sgGetOuterXMLW (null allowed).
void FreeOuterXml(SG_WCHAR* block);

// Removes a file; errors are ignored.
void RemoveFile(const std::string& path);

}  // namespace sprig_cli

#endif  // SPRIG_TOOL_CLI_SYS_H
