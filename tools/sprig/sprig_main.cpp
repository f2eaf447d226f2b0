// The sprig tool: argument parsing, help texts, the query rule and the six
// subcommands (tree, find, get, text, set, convert) on the editing layer.
//
// Every file is read with sxOpen (standard input with sxParse) and written
// with sxSave, which keeps every unedited byte, checks the result before
// writing and replaces the target atomically; documents are released with
// sgDeleteXML, so nothing else ever writes a file. Several inputs are worked
// on by the file runner: one document per thread, the compiled selector
// shared read-only, each file's output printed in input order.
#include "sprig_main.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <unordered_set>
#include <new>
#include <vector>

#include "cli_run.h"
#include "cli_sys.h"
#include "cli_text.h"
#include "sprig.h"
#include "sprig_exact.h"

namespace sprig_cli {
namespace {

// ---- Help ------------------------------------------------------------------

const char kToolHelp[] =
    "usage: sprig COMMAND [OPTIONS] INPUT... [ARGS]\n"
    "\n"
    "Reads XML or loosely written HTML in the encoding it declares (or the one\n"
    "given) and prints in UTF-8. An INPUT is a file, a folder (every file below\n"
    "it, see --include) or - for standard input.\n"
    "\n"
    "commands:\n"
    "  tree INPUT...                       outline: one line per tag with its position\n"
    "  find INPUT... QUERY [--xml|--count|--json]\n"
    "                                      every element QUERY matches, with line:column\n"
    "  get INPUT... QUERY ATTR [--raw|--json]\n"
    "                                      the attribute's value on every match\n"
    "  text INPUT... QUERY [--raw|--json]  the text inside every match\n"
    "  set INPUT... QUERY ATTR VALUE [-o OUT]\n"
    "  set INPUT... QUERY ATTR --replace OLD NEW\n"
    "                                      change the attribute on every match and save\n"
    "  convert INPUT -o OUT --encoding ENC save the document in another encoding\n"
    "\n"
    "QUERY: one name (letters, digits, '-', '_', ':' and non-ASCII characters,\n"
    "not starting with a digit, '-' or ':') finds that element at any depth, in\n"
    "any letter case; names joined by '/' (rss/channel/item) are a path from the\n"
    "top level; anything else is a CSS selector (a[href^=\"http:\"], ul > li,\n"
    "p:first-child). A ':' followed by a pseudo-class without parentheses\n"
    "(first-child, last-child, only-child, first-of-type, last-of-type,\n"
    "only-of-type, empty, root, link, visited, hover, active, focus, target,\n"
    "enabled, disabled, checked) makes a selector, so dc:date is a name and\n"
    "li:first-child a selector.\n"
    "Positions are LINE:COLUMN, both from 1; the column counts characters.\n"
    "With several inputs (or a folder) every result starts with FILE:.\n"
    "\n"
    "options of every command:\n"
    "  --input-encoding LABEL  read the inputs in this encoding (utf-8, shift_jis,\n"
    "                          euc-kr, windows-1252, a code-page number, ...)\n"
    "  --include GLOB          in folders, only files whose name matches (repeatable)\n"
    "  -j, --jobs N            work on N files at once (default: one per core)\n"
    "  --help (also after a command), --version\n"
    "When the output is not a terminal, a run over 2 s shows DONE/TOTAL files on\n"
    "stderr; SPRIG_PROGRESS_AFTER=SECONDS changes the 2 s.\n"
    "exit status: 0 success, 1 nothing matched, 2 usage or I/O error (the other\n"
    "inputs are still worked on)\n";

struct CommandHelp {
  const char* name;
  const char* text;
};

const CommandHelp kCommandHelp[] = {
    {"tree",
     "usage: sprig tree INPUT...\n"
     "\n"
     "Prints one line per tag in document order, indented two spaces per level:\n"
     "its kind (element, void, empty, pi, decl, comment), its name, its attributes\n"
     "as written (name=\"value\" with the original quotes, or a bare name) and @LINE:COLUMN\n"
     "of its '<'. Line breaks and tabs inside values are shown as \\n, \\r and \\t.\n"},
    {"find",
     "usage: sprig find INPUT... QUERY [--xml | --count | --json]\n"
     "\n"
     "Prints LINE:COLUMN and the start tag as written of every element QUERY\n"
     "matches, in document order (see 'sprig --help' for QUERY).\n"
     "  --xml    print each match as XML instead (the element, its content and the\n"
     "           text after it up to the next tag, without trailing blanks)\n"
     "  --count  print only the number of matches (FILE:N per file with several\n"
     "           inputs)\n"
     "  --json   one JSON object per match and line: file, line, column, name,\n"
     "           attributes (decoded values) and text (decoded)\n"
     "Exit status 1 when nothing matches.\n"},
    {"get",
     "usage: sprig get INPUT... QUERY ATTR [--raw | --json]\n"
     "\n"
     "Prints the value of attribute ATTR of every match that has it, one per line\n"
     "(an attribute without value prints an empty line). Character references\n"
     "(&amp; &#38; &eacute; ...) are decoded unless --raw is given. --json prints\n"
     "the matches that have ATTR as find --json does.\n"
     "Exit status 1 when no match has the attribute.\n"},
    {"text",
     "usage: sprig text INPUT... QUERY [--raw | --json]\n"
     "\n"
     "Prints the text inside every match (the text of all its descendants, without\n"
     "tags or comments), each followed by a line break. Line breaks in the text are\n"
     "kept; character references are decoded unless --raw is given. --json prints\n"
     "the matches as find --json does.\n"
     "Exit status 1 when nothing matches.\n"},
    {"set",
     "usage: sprig set INPUT... QUERY ATTR VALUE [-o OUT] [--force] [--no-sync]\n"
     "       sprig set INPUT... QUERY ATTR --replace OLD NEW [--force] [--no-sync]\n"
     "\n"
     "Sets attribute ATTR to VALUE (written in double quotes) on every match, or\n"
     "with --replace changes every OLD in the value of ATTR (as written in the file)\n"
     "to NEW on the matches that have it, and saves each changed file in its own\n"
     "encoding with every other byte as it was. A '\"' or '>' in the new value is\n"
     "written as &quot; or &gt;. A file is replaced only once the new one is\n"
     "completely written and checked; a file without change is not written.\n"
     "Standard input is written to standard output.\n"
     "  -o, --output OUT  write to OUT instead (one input only)\n"
     "  --force           write even where a piece cannot be kept exactly in the\n"
     "                    file's encoding (a warning names the place)\n"
     "  --no-sync         do not wait for each file to reach the disk: much faster\n"
     "                    on many files; a crash of the system (not of sprig) may\n"
     "                    then lose the last files written\n"
     "With several inputs a summary goes to the error stream.\n"
     "Exit status 1 when nothing matches (or nothing contains OLD).\n"},
    {"convert",
     "usage: sprig convert INPUT -o OUT --encoding ENC [--force] [--no-sync]\n"
     "\n"
     "Writes the document to OUT in encoding ENC (utf-8, shift_jis, euc-kr,\n"
     "windows-1252, utf-16le, a code-page number, ...). The encoding named by the\n"
     "XML declaration and by a meta charset or content-type tag is updated to match.\n"
     "A character ENC cannot hold refuses the write (the place is named) unless\n"
     "--force is given; OUT is then left as it was.\n"
     "  -o, --output OUT        the file to write (required)\n"
     "  -e, --encoding ENC      the encoding to write (required)\n"
     "  --no-sync               do not wait for OUT to reach the disk (see set)\n"},
};

const char* FindCommandHelp(const std::string& name) {
  for (const CommandHelp& help : kCommandHelp)
    if (name == help.name) return help.text;
  return nullptr;
}

// ---- Output ------------------------------------------------------------------

struct Streams {
  std::FILE* in;
  std::FILE* out;
  std::FILE* err;
};

void Put(std::FILE* stream, const std::string& text) {
  if (!text.empty()) std::fwrite(text.data(), 1, text.size(), stream);
}

// "sprig: <message>" on the error stream; returns kSprigError.
int Fail(const Streams& io, const std::string& message) {
  Put(io.err, "sprig: " + message + "\n");
  return kSprigError;
}

int UsageError(const Streams& io, const std::string& command, const std::string& message) {
  std::string hint = command.empty() ? "sprig --help" : "sprig " + command + " --help";
  Put(io.err, "sprig: " + message + "\nTry '" + hint + "' for more information.\n");
  return kSprigError;
}

// ---- Arguments ---------------------------------------------------------------

enum OptionBits : unsigned {
  kOptXml = 1, kOptCount = 2, kOptRaw = 4, kOptOutput = 8, kOptEncoding = 16, kOptJson = 32,
  kOptInputEncoding = 64, kOptForce = 128, kOptInclude = 256, kOptJobs = 512, kOptReplace = 1024,
  kOptNoSync = 2048
};
const unsigned kOptEveryCommand = kOptInputEncoding | kOptInclude | kOptJobs;

struct Arguments {
  std::vector<std::string> operands;
  unsigned given = 0;  // OptionBits seen
  bool help = false;
  std::string output;
  std::string encoding;
  std::string inputEncoding;
  std::vector<std::string> includes;
  std::string jobs;
  std::string replaceOld, replaceNew;
};

struct OptionSpec {
  const char* name;   // long form
  char shortName;     // 0 when none
  unsigned bit;
  int values;         // values that follow
};

const OptionSpec kOptions[] = {
    {"--xml", 0, kOptXml, 0},          {"--count", 0, kOptCount, 0},
    {"--raw", 0, kOptRaw, 0},          {"--json", 0, kOptJson, 0},
    {"--force", 0, kOptForce, 0},      {"--output", 'o', kOptOutput, 1},
    {"--encoding", 'e', kOptEncoding, 1}, {"--input-encoding", 0, kOptInputEncoding, 1},
    {"--include", 0, kOptInclude, 1},  {"--jobs", 'j', kOptJobs, 1},
    {"--replace", 0, kOptReplace, 2},  {"--no-sync", 0, kOptNoSync, 0},
};

void StoreValue(Arguments* parsed, unsigned bit, int index, const std::string& value) {
  switch (bit) {
    case kOptOutput: parsed->output = value; break;
    case kOptEncoding: parsed->encoding = value; break;
    case kOptInputEncoding: parsed->inputEncoding = value; break;
    case kOptInclude: parsed->includes.push_back(value); break;
    case kOptJobs: parsed->jobs = value; break;
    default: (index == 0 ? parsed->replaceOld : parsed->replaceNew) = value; break;
  }
}

// Parses the arguments after the command name. Options may stand anywhere;
// "--" ends them; "-" is an operand (standard input). Returns "" or the usage
// error message.
std::string ParseArguments(const std::vector<std::string>& args, unsigned allowed,
                           Arguments* parsed) {
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      parsed->operands.push_back(arg);
      continue;
    }
    if (arg == "--") { optionsEnded = true; continue; }
    if (arg == "--help" || arg == "-h") { parsed->help = true; continue; }
    std::string key = arg, inlineValue;
    bool hasInline = false;
    std::size_t eq = arg.find('=');
    if (arg.compare(0, 2, "--") == 0 && eq != std::string::npos) {
      key = arg.substr(0, eq);
      inlineValue = arg.substr(eq + 1);
      hasInline = true;
    } else if (arg[1] != '-' && arg.size() > 2) {
      key = arg.substr(0, 2);
      inlineValue = arg.substr(2);
      hasInline = true;
    }
    const OptionSpec* spec = nullptr;
    for (const OptionSpec& option : kOptions)
      if (key == option.name || (option.shortName != 0 && key.size() == 2 && key[1] == option.shortName))
        spec = &option;
    if (spec == nullptr || (hasInline && key.size() == 2 && spec->values != 1))
      return "unknown option '" + arg + "'";
    if (!(allowed & spec->bit)) return "option '" + key + "' does not apply here";
    if (spec->values == 0 && hasInline) return "option '" + key + "' takes no value";
    if (spec->values > 1 && hasInline) return "option '" + key + "' takes its values apart";
    for (int v = 0; v < spec->values; ++v) {
      std::string value;
      if (hasInline) {
        value = inlineValue;
      } else {
        if (i + 1 >= args.size()) return "option '" + key + "' needs a value";
        value = args[++i];
      }
      if (value.empty() && spec->bit != kOptReplace) return "option '" + key + "' needs a value";
      StoreValue(parsed, spec->bit, v, value);
    }
    parsed->given |= spec->bit;
  }
  return "";
}

// ---- Queries -----------------------------------------------------------------

// A parsed QUERY: one name searched anywhere, a path from the top level kept
// as a string list (names each ended by a zero, then an empty name), or a
// compiled selector (shared read-only by every thread).
struct Query {
  enum Kind { kName, kPath, kSelector } kind = kName;
  WString name;
  SX_SELECTOR selector = nullptr;
  Query() = default;
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;
  ~Query() {
    if (selector != nullptr) sxFreeSelector(selector);
  }
};

// Characters of a name query: what XML names and CSS type selectors share,
// plus ':' for prefixed names. Bytes from 0x80 are parts of non-ASCII
// characters.
bool IsNameChar(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_' || c == ':' || c >= 0x80;
}

bool IsNameStart(unsigned char c) {
  return IsNameChar(c) && !(c >= '0' && c <= '9') && c != '-' && c != ':';
}

// Whether text[at] is a ':' that begins a pseudo-class written without
// parentheses, which makes the query a selector.
bool StartsPseudoClass(const std::string& text, std::size_t at) {
  static const char* const kPseudo[] = {
      "first-child", "last-child", "only-child", "first-of-type", "last-of-type", "only-of-type",
      "empty",       "root",       "link",       "visited",       "hover",        "active",
      "focus",       "target",     "enabled",    "disabled",      "checked"};
  std::size_t end = at + 1;
  while (end < text.size() && IsNameChar(static_cast<unsigned char>(text[end])) && text[end] != ':')
    ++end;
  std::string word = text.substr(at + 1, end - at - 1);
  for (const char* pseudo : kPseudo)
    if (EqualsNoCase(word, pseudo)) return true;
  return false;
}

// Decides what the query is (see kToolHelp) and prepares it. Returns "" or
// the usage error message.
std::string ParseQuery(const std::string& text, Query* query) {
  if (text.empty()) return "empty query";
  bool plain = true, slash = false;
  for (std::size_t i = 0; i < text.size() && plain; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '/') slash = true;
    else if (!IsNameChar(c) || (c == ':' && StartsPseudoClass(text, i))) plain = false;
  }
  if (plain) {
    std::string rest = slash && text[0] == '/' ? text.substr(1) : text;
    std::size_t start = 0;
    while (true) {
      std::size_t end = rest.find('/', start);
      std::string part = rest.substr(start, end == std::string::npos ? std::string::npos : end - start);
      if (part.empty()) return "bad query '" + text + "': empty name in the path";
      if (!IsNameStart(static_cast<unsigned char>(part[0]))) break;  // not a name: a selector
      if (slash) {
        query->name += ToWide(part);
        query->name.push_back(0);
      } else {
        query->name = ToWide(part);
      }
      if (end == std::string::npos) {
        if (slash) query->name.push_back(0);
        query->kind = slash ? Query::kPath : Query::kName;
        return "";
      }
      start = end + 1;
    }
    query->name.clear();
  }
  SX_ERROR error{};
  query->kind = Query::kSelector;
  query->selector = sxCompileSelector(text.c_str(), &error);
  if (query->selector == nullptr) {
    std::string message = error.message;
    if (message.find("column") == std::string::npos)
      message += " at column " + std::to_string(error.column);
    if (text.find('/') != std::string::npos)
      message += " ('/' joins plain names only; a selector says 'a > b')";
    return "bad selector '" + text + "': " + message;
  }
  return "";
}

// ---- Documents ---------------------------------------------------------------

// A cursor released with sgDeleteXML, so nothing but sxSave writes a file.
class Document {
 public:
  explicit Document(SG_CURSOR cursor) : cursor_(cursor) {}
  ~Document() { sgDeleteXML(cursor_); }
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;
  SG_CURSOR get() const { return cursor_; }

 private:
  SG_CURSOR cursor_;
};

// Everything the work on one file reads; shared read-only by the threads.
struct Job {
  Arguments args;
  Query query;
  std::vector<std::string> inputs;  // "-" is standard input
  bool several = false;             // results carry their file's name
  std::string stdinBytes;           // standard input, read before the run
  WString attrib;                   // get, set
  WString value;                    // set: the value as stored
  WString replaceOld, replaceNew;   // set --replace
  const char* inputEncoding = nullptr;
};

std::string Place(uint32_t line, uint32_t column) {
  return std::to_string(line) + ":" + std::to_string(column);
}

// Why a file could not be read, for "sprig: cannot read 'FILE': reason".
std::string ReadReason(const SX_ERROR& error) {
  switch (error.code) {
    case SX_ERR_NOT_FOUND: return "no such file";
    case SX_ERR_NOT_REGULAR: return "not a regular file";
    case SX_ERR_MEMORY: return "out of memory";
    case SX_ERR_IO: if (error.osError != 0) return ErrorReason(error.osError); break;
    default: break;
  }
  return error.message;
}

// Opens input `index` (a file, or standard input from the bytes read
// before), warning about byte sequences its encoding could not read. Null
// when it cannot be read, with the reason in the output.
SG_CURSOR OpenInput(const Job& job, std::size_t index, FileOutput* output) {
  const std::string& path = job.inputs[index];
  SX_ERROR error{};
  SG_CURSOR cursor = path == "-" ? sxParse(job.stdinBytes.data(), job.stdinBytes.size(),
                                           job.inputEncoding, &error)
                                 : sxOpen(path.c_str(), job.inputEncoding, &error);
  if (cursor == nullptr) {
    output->err += "sprig: cannot read '" + path + "': " + ReadReason(error) + "\n";
    output->failed = true;
    return nullptr;
  }
  uint32_t line = 0, column = 0;
  uint32_t invalid = sxGetInvalidCount(cursor, &line, &column);
  if (invalid > 0) {
    const char* encoding = sxGetEncodingName(cursor);
    output->err += "sprig: warning: '" + path + "': " + std::to_string(invalid) +
                   (invalid == 1 ? " byte sequence is" : " byte sequences are") + " not valid " +
                   (encoding != nullptr ? encoding : "text") + " (the first at " +
                   Place(line, column) + "), read as U+FFFD\n";
  }
  return cursor;
}

// Why a save in `encoding` failed, for the error stream.
std::string WriteFailure(const std::string& target, const std::string& encoding,
                         const SX_ERROR& error) {
  std::string head = "cannot write '" + target + "'";
  switch (error.code) {
    case SX_ERR_LOSSY:
      return head + ": the text at " + Place(error.line, error.column) +
             " cannot be kept exactly in " + encoding +
             "; nothing was written (--force writes it anyway)";
    case SX_ERR_NOT_FOUND: return head + ": no such directory";
    case SX_ERR_NOT_REGULAR: return head + ": not a regular file";
    case SX_ERR_MEMORY: return head + ": out of memory";
    case SX_ERR_IO: if (error.osError != 0) return head + ": " + ErrorReason(error.osError); break;
    default: break;
  }
  return head + ": " + error.message;
}

// Saves the document to `target` (standard output when it is "") in
// `encoding` (null: its own). A lossy save is refused unless --force was
// given, which writes it with a warning naming the place. False, with the
// reason in the output, when nothing was written.
bool SaveDocument(const Job& job, SG_CURSOR cursor, const std::string& target,
                  const char* encoding, FileOutput* output) {
  const uint32_t sync = (job.args.given & kOptNoSync) ? SX_SAVE_NO_SYNC : 0;
  uint32_t flags = sync;
  for (int attempt = 0; attempt < 2; ++attempt) {
    SX_ERROR error{};
    bool saved;
    if (target.empty()) {
      void* bytes = nullptr;
      std::size_t size = 0;
      saved = sxRender(cursor, encoding, flags, &bytes, &size, &error) == 1;
      if (saved) output->out.append(static_cast<const char*>(bytes), size);
      sxFree(bytes);
    } else {
      saved = sxSave(cursor, target.c_str(), encoding, flags, &error) == 1;
    }
    if (saved) return true;
    const std::string shown = target.empty() ? "-" : target;
    const char* own = sxGetEncodingName(cursor);
    const std::string named = encoding != nullptr ? encoding : own != nullptr ? own : "its encoding";
    if (error.code == SX_ERR_LOSSY && (job.args.given & kOptForce) && !(flags & SX_SAVE_FORCE)) {
      output->err += "sprig: warning: '" + shown + "' written with --force: the text at " +
                     Place(error.line, error.column) + " could not be kept exactly in " + named +
                     "\n";
      flags = sync | SX_SAVE_FORCE;
      continue;
    }
    output->err += "sprig: " + WriteFailure(shown, named, error) + "\n";
    output->failed = true;
    return false;
  }
  return false;
}

// Walks the matches of the query in one document. Names and paths move the
// document's cursor by the core search; a selector moves a second cursor.
class Matches {
 public:
  Matches(SG_CURSOR document, const Query& query)
      : document_(document), query_(query),
        cursor_(query.kind == Query::kSelector ? sgDupXML(document) : document) {}
  ~Matches() {
    if (cursor_ != document_) sgDeleteXML(cursor_);
  }
  Matches(const Matches&) = delete;
  Matches& operator=(const Matches&) = delete;

  // False when the second cursor could not be made (memory ran out).
  bool ok() const { return cursor_ != nullptr; }
  SG_CURSOR cursor() const { return cursor_; }

  // Moves to the next match (the first on the first call). False when done.
  bool Next() {
    bool first = !started_;
    started_ = true;
    switch (query_.kind) {
      case Query::kName:
        return sgSearchW(cursor_, query_.name.c_str(), first ? SG_SEARCH_FIRST : SG_SEARCH_NEXT) == 1;
      case Query::kPath:
        return sgSearchW(cursor_, query_.name.c_str(),
                         first ? SG_SEARCH_PATH_FIRST : SG_SEARCH_PATH_NEXT) == 1;
      default:
        return sxSelect(document_, query_.selector, cursor_,
                        (first ? SX_SELECT_FIRST : SX_SELECT_NEXT) | SX_SELECT_DOCUMENT) == 1;
    }
  }

  // The number of matches, without moving any cursor for a selector.
  uint64_t Count() {
    if (query_.kind == Query::kSelector)
      return sxSelectCount(document_, query_.selector, SX_SELECT_DOCUMENT);
    uint64_t count = 0;
    while (Next()) ++count;
    return count;
  }

 private:
  SG_CURSOR document_;
  const Query& query_;
  SG_CURSOR cursor_;
  bool started_ = false;
};

// The text with its character references decoded, unless raw.
WString Decoded(const SG_WCHAR* text, bool raw) {
  if (text == nullptr) return WString();
  std::size_t length = 0;
  while (text[length] != 0) ++length;
  if (raw || length > 0x7FFFFFFE) return WString(text, length);
  WString decoded(length + 1, 0);  // decoding never lengthens the text
  int32_t n = sxDecodeText(text, static_cast<int32_t>(length), &decoded[0],
                           static_cast<int32_t>(length + 1));
  decoded.resize(n >= 0 && static_cast<std::size_t>(n) <= length ? static_cast<std::size_t>(n) : 0);
  return decoded;
}

// "FILE:" before every result when there are several inputs.
std::string Prefix(const Job& job, std::size_t index) {
  return job.several ? job.inputs[index] + ":" : std::string();
}

// One JSON object on one line for the current match: file, line, column,
// name, attributes (first of each name, decoded values) and decoded text.
void AppendJsonMatch(const Job& job, std::size_t index, SG_CURSOR cursor, std::string* out) {
  uint32_t line = 0, column = 0;
  sxGetLineColumn(cursor, &line, &column);
  *out += "{\"file\":";
  WString file = ToWide(job.inputs[index]);
  AppendJson(out, file.c_str(), static_cast<std::ptrdiff_t>(file.size()));
  *out += ",\"line\":" + std::to_string(line) + ",\"column\":" + std::to_string(column) +
          ",\"name\":";
  AppendJson(out, sgGetNameW(cursor));
  *out += ",\"attributes\":{";
  uint32_t count = sgGetAttribCount(cursor);
  std::vector<WString> names;
  for (uint32_t i = 0; i < count; ++i) {
    const SG_WCHAR* name = sgGetAttribNameW(cursor, static_cast<int32_t>(i));
    if (name == nullptr || name[0] == 0) continue;
    WString key(name);
    bool repeated = false;
    for (const WString& seen : names) repeated = repeated || seen == key;
    if (repeated) continue;
    WString value = Decoded(sgGetAttribValueW(cursor, static_cast<int32_t>(i)), false);
    if (!names.empty()) out->push_back(',');
    AppendJson(out, key.c_str(), static_cast<std::ptrdiff_t>(key.size()));
    out->push_back(':');
    AppendJson(out, value.c_str(), static_cast<std::ptrdiff_t>(value.size()));
    names.push_back(std::move(key));
  }
  *out += "},\"text\":";
  WString text = Decoded(sgGetInnerTextW(cursor), false);
  AppendJson(out, text.c_str(), static_cast<std::ptrdiff_t>(text.size()));
  *out += "}\n";
}

// ---- tree --------------------------------------------------------------------

bool IsBlank(SG_WCHAR c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool NameIs(const SG_WCHAR* name, const char* ascii) {
  return name != nullptr && EqualsNoCase(ToUtf8(name), ascii);
}

// The kind of the current element, read from its start tag as written (the
// public interface has no kind getter; the tag shows it exactly as the reader
// saw it). Elements without source text are plain elements.
const char* KindOf(SG_CURSOR cursor, const SG_WCHAR* name) {
  uint32_t length = 0;
  const SG_WCHAR* tag = sgGetTagSrc(cursor, &length);
  if (tag != nullptr && length > 1) {
    uint32_t p = 1;
    while (p < length && IsBlank(tag[p])) ++p;
    if (p < length && tag[p] == '?') return "pi";
    if (p < length && tag[p] == '!')
      return (p + 2 < length && tag[p + 1] == '-' && tag[p + 2] == '-') ? "comment" : "decl";
    if (tag[length - 1] == '>' && length >= 3) {
      if (tag[length - 2] == '/') return "empty";
      if (tag[length - 2] == '?') return "pi";
    }
  }
  static const char* const kVoid[] = {"br", "hr", "img", "input", "col", "meta"};
  for (const char* v : kVoid)
    if (NameIs(name, v)) return "void";
  return "element";
}

// The quote an attribute's value was written with: '"', '\'' or 0 (none),
// read from the source behind its '='. Only the first attribute of a name can
// be traced (`first`); the others, and values without a known position, get
// the quote that fits the value.
char QuoteOf(SG_CURSOR cursor, bool first, const SG_WCHAR* name, const SG_WCHAR* value,
             const SG_WCHAR* source, uint32_t sourceLength) {
  if (first && name[0] != 0 && source != nullptr) {
    uint32_t pos = sgGetAttribPosW(cursor, name, 1);
    if (pos < sourceLength) {
      while (pos < sourceLength && IsBlank(source[pos])) ++pos;
      if (pos < sourceLength && (source[pos] == '"' || source[pos] == '\'')) return static_cast<char>(source[pos]);
      return 0;
    }
  }
  for (const SG_WCHAR* p = value; *p != 0; ++p)
    if (*p == '"') return '\'';
  return '"';
}

// ASCII lower case (attribute names hold ASCII only).
std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

struct TreeWalk {
  std::string* out;
  std::string prefix;
  const SG_WCHAR* source;
  uint32_t sourceLength;
  std::string line;                      // reused for every node
  std::unordered_set<std::string> seen;  // attribute names of the node so far
};

uint32_t SG_CALL PrintNode(SG_CURSOR cursor, uint32_t depth, uint32_t phase, intptr_t user) {
  if (phase != 0) return 0;
  TreeWalk& walk = *reinterpret_cast<TreeWalk*>(user);
  std::string& line = walk.line;
  line = walk.prefix;
  line.append(static_cast<std::size_t>(depth) * 2, ' ');
  const SG_WCHAR* name = sgGetNameW(cursor);
  const char* kind = KindOf(cursor, name);
  line += kind;
  if (std::strcmp(kind, "comment") == 0) {
    line += " <!--" + Printable(sgGetAttribValueW(cursor, 0), -1, 60) + "-->";
  } else {
    if (name != nullptr && name[0] != 0) line += " " + Printable(name);
    uint32_t count = sgGetAttribCount(cursor);
    walk.seen.clear();
    for (uint32_t i = 0; i < count; ++i) {
      int32_t index = static_cast<int32_t>(i);
      const SG_WCHAR* attribName = sgGetAttribNameW(cursor, index);
      const SG_WCHAR* value = sgGetAttribValueW(cursor, index);
      if (attribName == nullptr) continue;
      line += " ";
      line += Printable(attribName);
      if (value == nullptr) {
        walk.seen.insert(Lower(ToUtf8(attribName)));
        continue;
      }
      bool first = walk.seen.insert(Lower(ToUtf8(attribName))).second;
      char quote = QuoteOf(cursor, first, attribName, value, walk.source, walk.sourceLength);
      if (attribName[0] != 0) line += "=";
      if (quote != 0) line += quote;
      line += Printable(value);
      if (quote != 0) line += quote;
    }
  }
  uint32_t at = 0, column = 0;
  sxGetLineColumn(cursor, &at, &column);
  line += " @" + Place(at, column) + "\n";
  *walk.out += line;
  return 0;
}

// Length of the zero-terminated source text.
uint32_t SourceLength(const SG_WCHAR* source) {
  uint32_t n = 0;
  if (source != nullptr)
    while (source[n] != 0) ++n;
  return n;
}

void TreeFile(const Job& job, std::size_t index, FileOutput* output) {
  SG_CURSOR cursor = OpenInput(job, index, output);
  if (cursor == nullptr) return;
  Document doc(cursor);
  const SG_WCHAR* source = sgGetSrcXML(cursor);
  TreeWalk walk{&output->out, Prefix(job, index), source, SourceLength(source), std::string(), {}};
  sgScanTree(cursor, PrintNode, reinterpret_cast<intptr_t>(&walk));
  output->matches = 1;  // an outline always succeeds
}

// ---- find, get, text ---------------------------------------------------------

// Opens input `index`, runs the query and calls `each(match)` on every
// match in document order; `each` returns false to stop at a failure. With
// --json every counted match prints its JSON object instead. Returns false
// when the input could not be read or searched (already reported).
template <typename Each>
bool ForEachMatch(const Job& job, std::size_t index, FileOutput* output, Each each,
                  bool (*counts)(const Job&, SG_CURSOR) = nullptr) {
  SG_CURSOR cursor = OpenInput(job, index, output);
  if (cursor == nullptr) return false;
  Document doc(cursor);
  Matches matches(cursor, job.query);
  if (!matches.ok()) { output->err += "sprig: out of memory\n"; output->failed = true; return false; }
  if ((job.args.given & kOptCount) != 0) {
    output->matches = matches.Count();
    output->out += Prefix(job, index) + std::to_string(output->matches) + "\n";
    return true;
  }
  while (matches.Next()) {
    SG_CURSOR match = matches.cursor();
    if (counts != nullptr && !counts(job, match)) continue;
    ++output->matches;
    if ((job.args.given & kOptJson) != 0) {
      AppendJsonMatch(job, index, match, &output->out);
    } else if (!each(match)) {
      return false;
    }
  }
  return true;
}

void FindFile(const Job& job, std::size_t index, FileOutput* output) {
  const std::string prefix = Prefix(job, index);
  ForEachMatch(job, index, output, [&](SG_CURSOR match) {
    if ((job.args.given & kOptXml) != 0) {
      SG_WCHAR* xml = sgGetOuterXMLW(match);
      if (xml == nullptr) { output->err += "sprig: out of memory\n"; output->failed = true; return false; }
      std::string text = ToUtf8(xml);
      FreeOuterXml(xml);
      // One match per line group: the blanks of the text after it are dropped.
      while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\n' ||
                               text.back() == '\r'))
        text.pop_back();
      output->out += prefix + text + "\n";
    } else {
      uint32_t length = 0, line = 0, column = 0;
      const SG_WCHAR* tag = sgGetTagSrc(match, &length);
      sxGetLineColumn(match, &line, &column);
      output->out += prefix + Place(line, column) + " " +
                     Printable(tag, tag != nullptr ? static_cast<std::ptrdiff_t>(length) : 0) + "\n";
    }
    return true;
  });
}

bool HasAttrib(const Job& job, SG_CURSOR match) {
  return sgDoesAttribExistW(match, job.attrib.c_str()) == 1;
}

void GetFile(const Job& job, std::size_t index, FileOutput* output) {
  const std::string prefix = Prefix(job, index);
  ForEachMatch(job, index, output, [&](SG_CURSOR match) {
    WString value = Decoded(sgGetAttribW(match, job.attrib.c_str()), (job.args.given & kOptRaw) != 0);
    output->out += prefix + ToUtf8(value) + "\n";
    return true;
  }, HasAttrib);
}

void TextFile(const Job& job, std::size_t index, FileOutput* output) {
  const std::string prefix = Prefix(job, index);
  ForEachMatch(job, index, output, [&](SG_CURSOR match) {
    WString text = Decoded(sgGetInnerTextW(match), (job.args.given & kOptRaw) != 0);
    output->out += prefix + ToUtf8(text) + "\n";
    return true;
  });
}

// ---- set, convert ------------------------------------------------------------

// A value as stored between double quotes: a '"' would end it and the reader
// ends any quoted value at '>', so both are written as references.
WString StoredValue(const WString& value) {
  WString stored;
  static const SG_WCHAR kQuot[] = {'&', 'q', 'u', 'o', 't', ';', 0};
  static const SG_WCHAR kGt[] = {'&', 'g', 't', ';', 0};
  for (SG_WCHAR c : value) {
    if (c == '"') stored += kQuot;
    else if (c == '>') stored += kGt;
    else stored.push_back(c);
  }
  return stored;
}

// `text` with every `from` replaced by `to`, left to right.
WString ReplaceAll(const WString& text, const WString& from, const WString& to) {
  if (from.empty()) return text;
  WString result;
  std::size_t start = 0;
  for (std::size_t at = text.find(from); at != WString::npos; at = text.find(from, start)) {
    result.append(text, start, at - start);
    result += to;
    start = at + from.size();
  }
  result.append(text, start, WString::npos);
  return result;
}

void SetFile(const Job& job, std::size_t index, FileOutput* output) {
  SG_CURSOR cursor = OpenInput(job, index, output);
  if (cursor == nullptr) return;
  Document doc(cursor);
  Matches matches(cursor, job.query);
  if (!matches.ok()) { output->err += "sprig: out of memory\n"; output->failed = true; return; }
  const bool replace = (job.args.given & kOptReplace) != 0;
  const std::string& path = job.inputs[index];
  while (matches.Next()) {
    SG_CURSOR match = matches.cursor();
    int32_t done;
    if (replace) {
      if (sgDoesAttribExistW(match, job.attrib.c_str()) != 1) continue;
      const SG_WCHAR* raw = sgGetAttribW(match, job.attrib.c_str());
      WString before = raw != nullptr ? WString(raw) : WString();
      WString after = ReplaceAll(before, job.replaceOld, job.replaceNew);
      if (after == before) continue;
      done = sgSetAttribW(match, job.attrib.c_str(), StoredValue(after).c_str());
    } else {
      done = sgSetAttribW(match, job.attrib.c_str(), job.value.c_str());
    }
    if (done != 1) {
      output->err += "sprig: out of memory; '" + path + "' was not changed\n";
      output->failed = true;
      return;
    }
    ++output->matches;
  }
  if (output->matches == 0) return;
  std::string target = (job.args.given & kOptOutput) ? job.args.output : path == "-" ? "" : path;
  output->written = SaveDocument(job, cursor, target, nullptr, output);
}

void ConvertFile(const Job& job, std::size_t index, FileOutput* output) {
  SG_CURSOR cursor = OpenInput(job, index, output);
  if (cursor == nullptr) return;
  Document doc(cursor);
  output->written = SaveDocument(job, cursor, job.args.output, job.args.encoding.c_str(), output);
  output->matches = 1;
}

// ---- Dispatch ----------------------------------------------------------------

struct Command {
  const char* name;
  unsigned options;
  std::size_t trailing;  // operands after the inputs (set --replace: one less)
  const char* operandsText;
  void (*work)(const Job&, std::size_t, FileOutput*);
};

const Command kCommands[] = {
    {"tree", kOptEveryCommand, 0, "tree takes INPUT...", TreeFile},
    {"find", kOptEveryCommand | kOptXml | kOptCount | kOptJson, 1, "find takes INPUT... and QUERY",
     FindFile},
    {"get", kOptEveryCommand | kOptRaw | kOptJson, 2, "get takes INPUT..., QUERY and ATTR", GetFile},
    {"text", kOptEveryCommand | kOptRaw | kOptJson, 1, "text takes INPUT... and QUERY", TextFile},
    {"set", kOptEveryCommand | kOptOutput | kOptForce | kOptReplace | kOptNoSync, 3,
     "set takes INPUT..., QUERY, ATTR and VALUE (or --replace OLD NEW)", SetFile},
    {"convert", kOptInputEncoding | kOptOutput | kOptEncoding | kOptForce | kOptNoSync, 0,
     "convert takes one INPUT", ConvertFile},
};

// The checks between options, and the number of threads. "" or the usage
// error message.
std::string CheckOptions(const Command& command, const Arguments& args, unsigned* threads) {
  unsigned exclusive = args.given & (kOptXml | kOptCount | kOptJson | kOptRaw);
  if (exclusive & (exclusive - 1)) return "--xml, --count, --json and --raw exclude each other";
  if ((args.given & kOptReplace) && args.replaceOld.empty()) return "--replace needs a non-empty OLD";
  if (std::strcmp(command.name, "convert") == 0) {
    if (!(args.given & kOptOutput)) return "convert needs -o OUT";
    if (!(args.given & kOptEncoding)) return "convert needs --encoding ENC";
    if (sxCodePageOfLabel(args.encoding.c_str()) == 0xFFFFFFFFu)
      return "unknown encoding '" + args.encoding + "'";
  }
  if ((args.given & kOptInputEncoding) && sxCodePageOfLabel(args.inputEncoding.c_str()) == 0xFFFFFFFFu)
    return "unknown encoding '" + args.inputEncoding + "'";
  *threads = std::thread::hardware_concurrency();
  if (args.given & kOptJobs) {
    unsigned long n = 0;
    for (char c : args.jobs) {
      if (c < '0' || c > '9' || n > 4096) return "-j needs a number of threads from 1";
      n = n * 10 + static_cast<unsigned long>(c - '0');
    }
    if (n == 0 || n > 4096) return "-j needs a number of threads from 1 to 4096";
    *threads = static_cast<unsigned>(n);
  }
  if (*threads == 0) *threads = 1;
  return "";
}

int RunCommand(const Streams& io, const Command& command, Arguments parsed) {
  unsigned threads = 1;
  std::string problem = CheckOptions(command, parsed, &threads);
  if (!problem.empty()) return UsageError(io, command.name, problem);
  std::size_t trailing = command.trailing - ((parsed.given & kOptReplace) ? 1 : 0);
  const std::vector<std::string>& operands = parsed.operands;
  bool single = std::strcmp(command.name, "convert") == 0;
  if (operands.size() < trailing + 1 || (single && operands.size() != 1))
    return UsageError(io, command.name, command.operandsText);
  std::size_t inputCount = operands.size() - trailing;

  Job job;
  if (trailing >= 1) {
    problem = ParseQuery(operands[inputCount], &job.query);
    if (!problem.empty()) return UsageError(io, command.name, problem);
  }
  if (trailing >= 2) {
    if (operands[inputCount + 1].empty()) return UsageError(io, command.name, "empty attribute name");
    job.attrib = ToWide(operands[inputCount + 1]);
  }
  if (trailing >= 3) job.value = StoredValue(ToWide(operands[inputCount + 2]));
  job.replaceOld = ToWide(parsed.replaceOld);
  job.replaceNew = ToWide(parsed.replaceNew);

  // The inputs: files as named, folders listed, standard input read now.
  int status = kSprigOk;
  bool folder = false, standardInput = false;
  for (std::size_t i = 0; i < inputCount; ++i) {
    const std::string& input = operands[i];
    if (input == "-") {
      if (standardInput) return UsageError(io, command.name, "standard input (-) given twice");
      standardInput = true;
      std::string reason = io.in != nullptr ? ReadAll(io.in, &job.stdinBytes) : "no standard input";
      if (!reason.empty()) {
        status = Fail(io, "cannot read standard input: " + reason);
        continue;
      }
      job.inputs.push_back(input);
    } else if (!single && IsFolder(input)) {
      folder = true;
      std::string reason = ListFolder(input, parsed.includes, &job.inputs);
      if (!reason.empty()) status = Fail(io, "cannot read '" + input + "': " + reason);
    } else {
      job.inputs.push_back(input);
    }
  }
  job.several = inputCount > 1 || folder;
  if ((parsed.given & kOptOutput) && job.several && !single)
    return UsageError(io, command.name, "-o applies to one input only");
  job.args = std::move(parsed);
  if (job.args.given & kOptInputEncoding) job.inputEncoding = job.args.inputEncoding.c_str();

  // The biggest files start first, so that no thread is left with a big file
  // when the others are done; the output keeps the input order. The calling
  // thread leads with the biggest files, up to nine tenths of one thread's
  // share of the bytes, while the others start on the files below them: the
  // biggest documents are not held at once (a thread keeps the memory of its
  // biggest document, and every new page costs a fault), and the lead is
  // done first, so all the threads end on the smallest files.
  Schedule schedule;
  if (threads > 1 && job.inputs.size() > 1) {
    std::vector<std::pair<uint64_t, std::size_t>> sized;
    uint64_t total = 0;
    for (std::size_t i = 0; i < job.inputs.size(); ++i) {
      sized.emplace_back(job.inputs[i] == "-" ? job.stdinBytes.size() : FileSize(job.inputs[i]), i);
      total += sized.back().first;
    }
    std::stable_sort(sized.begin(), sized.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });
    for (const auto& entry : sized) schedule.order.push_back(entry.second);
    const uint64_t leadBytes = total / threads / 10 * 9;
    uint64_t led = sized[0].first;
    schedule.lead = 1;
    while (schedule.lead < sized.size() && led + sized[schedule.lead].first <= leadBytes)
      led += sized[schedule.lead++].first;
  }

  uint64_t matches = 0, files = 0, written = 0;
  bool failed = false;
  Progress progress;
  progress.enabled = !IsTerminal(io.out);
  progress.inPlace = IsTerminal(io.err);
  // SPRIG_PROGRESS_AFTER: the seconds a run lasts before its progress shows.
  if (const char* after = std::getenv("SPRIG_PROGRESS_AFTER")) {
    char* end = nullptr;
    const double seconds = std::strtod(after, &end);
    if (end != after && seconds >= 0 && seconds < 86400) progress.afterMs = static_cast<int>(seconds * 1000);
  }
  RunInOrder(
      job.inputs.size(), threads, schedule,
      [&job, &command](std::size_t index, FileOutput* output) { command.work(job, index, output); },
      [&](const FileOutput& output) {
        matches += output.matches;
        failed = failed || output.failed;
        files += output.matches > 0 ? 1 : 0;
        written += output.written ? 1 : 0;
      },
      io.out, io.err, progress);
  if (std::strcmp(command.name, "set") == 0 && job.several)
    Put(io.err, "sprig: set: " + std::to_string(written) + " of " + std::to_string(job.inputs.size()) +
                    " files changed, " + std::to_string(matches) +
                    (matches == 1 ? " match\n" : " matches\n"));
  if (failed || status != kSprigOk) return kSprigError;
  return matches > 0 ? kSprigOk : kSprigNoMatch;
}

std::string VersionText() {
  uint32_t version = Version();
  return "sprig " + std::to_string((version >> 8) & 0xFF) + "." + std::to_string(version & 0xFF) + "\n";
}

}  // namespace
}  // namespace sprig_cli

int SprigMain(int argc, char** argv, std::FILE* in, std::FILE* out, std::FILE* err) {
  using namespace sprig_cli;
  Streams io{in, out, err};
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(argv[i] != nullptr ? argv[i] : "");
  int status;
  if (args.empty()) {
    Put(err, kToolHelp);
    status = kSprigError;
  } else if (args[0] == "--help" || args[0] == "-h") {
    Put(out, kToolHelp);
    status = kSprigOk;
  } else if (args[0] == "--version") {
    Put(out, VersionText());
    status = kSprigOk;
  } else if (args[0] == "help") {
    const char* text = args.size() > 1 ? FindCommandHelp(args[1]) : kToolHelp;
    if (text == nullptr) return UsageError(io, "", "unknown command '" + args[1] + "'");
    Put(out, text);
    status = kSprigOk;
  } else {
    const Command* command = nullptr;
    for (const Command& c : kCommands)
      if (args[0] == c.name) command = &c;
    if (command == nullptr) {
      status = args[0][0] == '-' ? UsageError(io, "", "unknown option '" + args[0] + "'")
                                 : UsageError(io, "", "unknown command '" + args[0] + "'");
    } else {
      Arguments parsed;
      std::vector<std::string> rest(args.begin() + 1, args.end());
      std::string problem = ParseArguments(rest, command->options, &parsed);
      if (!problem.empty()) {
        status = UsageError(io, command->name, problem);
      } else if (parsed.help) {
        Put(out, FindCommandHelp(command->name));
        status = kSprigOk;
      } else {
        try {
          status = RunCommand(io, *command, std::move(parsed));
        } catch (const std::bad_alloc&) {
          status = Fail(io, "out of memory");
        }
      }
    }
  }
  if (std::fflush(out) != 0 || std::ferror(out)) {
    Put(err, "sprig: cannot write the output\n");
    status = kSprigError;
  }
  return status;
}

int SprigMain(int argc, char** argv, std::FILE* out, std::FILE* err) {
  return SprigMain(argc, argv, stdin, out, err);
}
