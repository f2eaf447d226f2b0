// The sprig tool: argument parsing, help texts and the six subcommands
// (tree, find, get, text, set, convert), all on the public API of sprig.h.
//
// Every document is released with sgDeleteXML, never sgCloseXML, so the
// library never writes a file back on its own: the only writes are the
// explicit saves of `set` and `convert`, which go to a temporary file in the
// target's folder and are renamed over the target only once complete.
#include "sprig_main.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

#include "cli_sys.h"
#include "cli_text.h"
#include "sprig.h"

namespace sprig_cli {
namespace {

// ---- Help ------------------------------------------------------------------

const char kToolHelp[] =
    "usage: sprig COMMAND [OPTIONS] FILE [ARGS]\n"
    "\n"
    "Reads XML or loosely written HTML (Shift-JIS, UTF-8 or UTF-7, chosen from the\n"
    "file itself) and prints in UTF-8.\n"
    "\n"
    "commands:\n"
    "  tree FILE                       outline: one line per tag with its position\n"
    "  find FILE QUERY [--xml|--count] every element QUERY matches, with line:column\n"
    "  get FILE QUERY ATTR [--raw]     the attribute's value on every match\n"
    "  text FILE QUERY [--raw]         the text inside every match\n"
    "  set FILE QUERY ATTR VALUE [-o OUT]\n"
    "                                  set the attribute on every match and save\n"
    "  convert FILE -o OUT --encoding ENC\n"
    "                                  save the document in another encoding\n"
    "\n"
    "QUERY is an element name, found at any depth (case does not matter), or a\n"
    "path of names from the top, such as rss/channel/item.\n"
    "Positions are LINE:COLUMN, both from 1; the column counts characters.\n"
    "\n"
    "options: --help (also after a command), --version\n"
    "exit status: 0 success, 1 nothing matched, 2 usage or I/O error\n";

struct CommandHelp {
  const char* name;
  const char* text;
};

const CommandHelp kCommandHelp[] = {
    {"tree",
     "usage: sprig tree FILE\n"
     "\n"
     "Prints one line per tag in document order, indented two spaces per level:\n"
     "its kind (element, void, empty, pi, decl, comment), its name, its attributes\n"
     "as written (name=\"value\" with the original quotes, or a bare name) and @LINE:COLUMN\n"
     "of its '<'. Line breaks and tabs inside values are shown as \\n, \\r and \\t.\n"},
    {"find",
     "usage: sprig find FILE QUERY [--xml | --count]\n"
     "\n"
     "Prints LINE:COLUMN and the start tag as written of every element QUERY\n"
     "matches, in document order. QUERY is a name (found at any depth) or a path\n"
     "a/b/c from the top level.\n"
     "  --xml    print each match as XML instead (the element, its content and the\n"
     "           text after it up to the next tag, without trailing blanks)\n"
     "  --count  print only the number of matches\n"
     "Exit status 1 when nothing matches.\n"},
    {"get",
     "usage: sprig get FILE QUERY ATTR [--raw]\n"
     "\n"
     "Prints the value of attribute ATTR of every match that has it, one per line\n"
     "(an attribute without value prints an empty line). &amp; &lt; &gt; &quot; and\n"
     "&nbsp; are decoded unless --raw is given.\n"
     "Exit status 1 when no match has the attribute.\n"},
    {"text",
     "usage: sprig text FILE QUERY [--raw]\n"
     "\n"
     "Prints the text inside every match (the text of all its descendants, without\n"
     "tags or comments), each followed by a line break. Line breaks in the text are\n"
     "kept; &amp; &lt; &gt; &quot; and &nbsp; are decoded unless --raw is given.\n"
     "Exit status 1 when nothing matches.\n"},
    {"set",
     "usage: sprig set FILE QUERY ATTR VALUE [-o OUT]\n"
     "\n"
     "Sets attribute ATTR to VALUE (written in double quotes) on every match and\n"
     "writes the document back to FILE, or to OUT, in the document's own encoding.\n"
     "A '\"' or '>' in VALUE is written as &quot; or &gt;. The file is replaced\n"
     "only once the new one is completely written; when nothing matches or the\n"
     "write fails, no file is changed.\n"
     "  -o, --output OUT  write to OUT instead of FILE\n"
     "Exit status 1 when nothing matches.\n"},
    {"convert",
     "usage: sprig convert FILE -o OUT --encoding ENC\n"
     "\n"
     "Writes the document to OUT in encoding ENC: utf-8, shift-jis, utf-7 or a\n"
     "Windows code-page NUMBER (932, 65001, 1252, ...). The encoding named by the\n"
     "XML declaration and by a meta charset or content-type tag is updated to match.\n"
     "An encoding the system cannot write is refused and OUT is left as it was.\n"
     "  -o, --output OUT        the file to write (required)\n"
     "  -e, --encoding ENC      the encoding to write (required)\n"},
};

const char* FindCommandHelp(const std::string& name) {
  for (const CommandHelp& help : kCommandHelp)
    if (name == help.name) return help.text;
  return nullptr;
}

// ---- Output ------------------------------------------------------------------

struct Streams {
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

int CannotWrite(const Streams& io, const std::string& path, const std::string& reason) {
  return Fail(io, "cannot write '" + path + "': " + reason);
}

// ---- Arguments ---------------------------------------------------------------

enum OptionBits : unsigned {
  kOptXml = 1, kOptCount = 2, kOptRaw = 4, kOptOutput = 8, kOptEncoding = 16
};

struct Arguments {
  std::vector<std::string> operands;
  unsigned given = 0;  // OptionBits seen
  bool help = false;
  std::string output;
  std::string encoding;
};

// Parses the arguments after the command name. Options may stand anywhere;
// "--" ends them. Returns "" or the usage error message.
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
    unsigned bit = 0;
    std::string* value = nullptr;
    std::string inlineValue;
    bool hasInline = false;
    std::string key = arg;
    std::size_t eq = arg.find('=');
    if (arg.compare(0, 2, "--") == 0 && eq != std::string::npos) {
      key = arg.substr(0, eq);
      inlineValue = arg.substr(eq + 1);
      hasInline = true;
    } else if ((arg.compare(0, 2, "-o") == 0 || arg.compare(0, 2, "-e") == 0) && arg.size() > 2) {
      key = arg.substr(0, 2);
      inlineValue = arg.substr(2);
      hasInline = true;
    }
    if (key == "--xml") bit = kOptXml;
    else if (key == "--count") bit = kOptCount;
    else if (key == "--raw") bit = kOptRaw;
    else if (key == "-o" || key == "--output") { bit = kOptOutput; value = &parsed->output; }
    else if (key == "-e" || key == "--encoding") { bit = kOptEncoding; value = &parsed->encoding; }
    else return "unknown option '" + arg + "'";
    if (!(allowed & bit)) return "option '" + key + "' does not apply here";
    if (value == nullptr && hasInline) return "option '" + key + "' takes no value";
    if (value != nullptr) {
      if (hasInline) {
        *value = inlineValue;
      } else {
        if (i + 1 >= args.size()) return "option '" + key + "' needs a value";
        *value = args[++i];
      }
      if (value->empty()) return "option '" + key + "' needs a value";
    }
    parsed->given |= bit;
  }
  return "";
}

// ---- Documents ---------------------------------------------------------------

// A cursor released with sgDeleteXML, so the library never writes the
// document back by itself.
class Document {
 public:
  Document() = default;
  ~Document() { sgDeleteXML(cursor_); }
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;
  SG_CURSOR get() const { return cursor_; }
  void reset(SG_CURSOR cursor) { cursor_ = cursor; }

 private:
  SG_CURSOR cursor_ = nullptr;
};

// Opens `path` into *doc, or reports why it cannot and returns false.
bool OpenDocument(const Streams& io, const std::string& path, Document* doc) {
  std::string reason = ProbeReadable(path);
  if (!reason.empty()) {
    Fail(io, "cannot read '" + path + "': " + reason);
    return false;
  }
  WString wide = ToWide(path);
  SG_CURSOR cursor = sgOpenXMLW(wide.c_str());
  if (cursor == nullptr) {
    Fail(io, "cannot read '" + path + "': the file could not be loaded (out of memory?)");
    return false;
  }
  doc->reset(cursor);
  return true;
}

// A parsed QUERY: one name searched anywhere, or a path from the top level
// kept as a string list (names each ended by a zero, then an empty name).
struct Query {
  bool isPath = false;
  WString name;
};

std::string ParseQuery(const std::string& text, Query* query) {
  if (text.empty()) return "empty query";
  if (text.find('/') == std::string::npos) {
    query->name = ToWide(text);
    return "";
  }
  std::string rest = text[0] == '/' ? text.substr(1) : text;
  query->isPath = true;
  std::size_t start = 0;
  while (true) {
    std::size_t slash = rest.find('/', start);
    std::string part = rest.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    if (part.empty()) return "bad query '" + text + "': empty name in the path";
    query->name += ToWide(part);
    query->name.push_back(0);
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  query->name.push_back(0);
  return "";
}

// Moves to the first match (first = true) or the next one. 1 found, 0 done.
bool NextMatch(SG_CURSOR cursor, const Query& query, bool first) {
  uint32_t mode = query.isPath ? (first ? SG_SEARCH_PATH_FIRST : SG_SEARCH_PATH_NEXT)
                               : (first ? SG_SEARCH_FIRST : SG_SEARCH_NEXT);
  return sgSearchW(cursor, query.name.c_str(), mode) == 1;
}

// Length of the zero-terminated source text.
uint32_t SourceLength(const SG_WCHAR* source) {
  uint32_t n = 0;
  if (source != nullptr)
    while (source[n] != 0) ++n;
  return n;
}

// Decodes the five entity references (unless raw), keeping line breaks.
// False when the library runs out of memory.
bool DecodeText(const SG_WCHAR* text, bool raw, std::string* result) {
  if (text == nullptr) { result->clear(); return true; }
  if (raw) { *result = ToUtf8(text); return true; }
  uint32_t previous = sgSetTextConvFlag(SG_TEXTCONV_KEEP_CONTROLS, SG_TEXTCONV_KEEP_CONTROLS);
  const SG_WCHAR* decoded = sgToNormalStrTemp16W(text);
  if (decoded != nullptr) *result = ToUtf8(decoded);  // copied before the ring moves on
  sgSetTextConvFlag(previous, SG_TEXTCONV_KEEP_CONTROLS);
  return decoded != nullptr;
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
  const Streams* io;
  const LineMap* lines;
  const SG_WCHAR* source;
  uint32_t sourceLength;
  std::string line;                      // reused for every node
  std::unordered_set<std::string> seen;  // attribute names of the node so far
};

uint32_t SG_CALL PrintNode(SG_CURSOR cursor, uint32_t depth, uint32_t phase, intptr_t user) {
  if (phase != 0) return 0;
  TreeWalk& walk = *reinterpret_cast<TreeWalk*>(user);
  std::string& line = walk.line;
  line.assign(static_cast<std::size_t>(depth) * 2, ' ');
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
  line += " @" + walk.lines->Format(sgGetTagPos(cursor, 0)) + "\n";
  Put(walk.io->out, line);
  return 0;
}

int RunTree(const Streams& io, const Arguments& args) {
  if (args.operands.size() != 1) return UsageError(io, "tree", "tree takes one FILE");
  Document doc;
  if (!OpenDocument(io, args.operands[0], &doc)) return kSprigError;
  const SG_WCHAR* source = sgGetSrcXML(doc.get());
  LineMap lines(source);
  TreeWalk walk{&io, &lines, source, SourceLength(source), std::string(), {}};
  sgScanTree(doc.get(), PrintNode, reinterpret_cast<intptr_t>(&walk));
  return kSprigOk;
}

// ---- find, get, text ---------------------------------------------------------

int RunFind(const Streams& io, const Arguments& args) {
  if (args.operands.size() != 2) return UsageError(io, "find", "find takes FILE and QUERY");
  if ((args.given & kOptXml) && (args.given & kOptCount))
    return UsageError(io, "find", "--xml and --count exclude each other");
  Query query;
  std::string problem = ParseQuery(args.operands[1], &query);
  if (!problem.empty()) return UsageError(io, "find", problem);
  Document doc;
  if (!OpenDocument(io, args.operands[0], &doc)) return kSprigError;
  SG_CURSOR cursor = doc.get();
  LineMap lines(sgGetSrcXML(cursor));
  uint64_t count = 0;
  for (bool found = NextMatch(cursor, query, true); found; found = NextMatch(cursor, query, false)) {
    ++count;
    if (args.given & kOptCount) continue;
    if (args.given & kOptXml) {
      SG_WCHAR* xml = sgGetOuterXMLW(cursor);
      if (xml == nullptr) return Fail(io, "out of memory");
      std::string text = ToUtf8(xml);
      FreeOuterXml(xml);
      // One match per line group: the blanks of the text after it are dropped.
      while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\n' ||
                               text.back() == '\r'))
        text.pop_back();
      text += "\n";
      Put(io.out, text);
    } else {
      uint32_t length = 0;
      const SG_WCHAR* tag = sgGetTagSrc(cursor, &length);
      Put(io.out, lines.Format(sgGetTagPos(cursor, 0)) + " " +
                      Printable(tag, tag != nullptr ? static_cast<std::ptrdiff_t>(length) : 0) + "\n");
    }
  }
  if (args.given & kOptCount) Put(io.out, std::to_string(count) + "\n");
  return count > 0 ? kSprigOk : kSprigNoMatch;
}

int RunGet(const Streams& io, const Arguments& args) {
  if (args.operands.size() != 3) return UsageError(io, "get", "get takes FILE, QUERY and ATTR");
  Query query;
  std::string problem = ParseQuery(args.operands[1], &query);
  if (!problem.empty()) return UsageError(io, "get", problem);
  WString attrib = ToWide(args.operands[2]);
  Document doc;
  if (!OpenDocument(io, args.operands[0], &doc)) return kSprigError;
  SG_CURSOR cursor = doc.get();
  uint64_t printed = 0;
  for (bool found = NextMatch(cursor, query, true); found; found = NextMatch(cursor, query, false)) {
    if (sgDoesAttribExistW(cursor, attrib.c_str()) != 1) continue;
    std::string value;
    if (!DecodeText(sgGetAttribW(cursor, attrib.c_str()), (args.given & kOptRaw) != 0, &value))
      return Fail(io, "out of memory");
    Put(io.out, value + "\n");
    ++printed;
  }
  return printed > 0 ? kSprigOk : kSprigNoMatch;
}

int RunText(const Streams& io, const Arguments& args) {
  if (args.operands.size() != 2) return UsageError(io, "text", "text takes FILE and QUERY");
  Query query;
  std::string problem = ParseQuery(args.operands[1], &query);
  if (!problem.empty()) return UsageError(io, "text", problem);
  Document doc;
  if (!OpenDocument(io, args.operands[0], &doc)) return kSprigError;
  SG_CURSOR cursor = doc.get();
  uint64_t count = 0;
  for (bool found = NextMatch(cursor, query, true); found; found = NextMatch(cursor, query, false)) {
    const SG_WCHAR* inner = sgGetInnerTextW(cursor);
    std::string text;
    if (!DecodeText(inner, (args.given & kOptRaw) != 0, &text)) return Fail(io, "out of memory");
    Put(io.out, text + "\n");
    ++count;
  }
  return count > 0 ? kSprigOk : kSprigNoMatch;
}

// ---- Saving ------------------------------------------------------------------

// Writes the document to `target` in code page `codePage` through a
// temporary file beside it, renamed over the target once complete. On any
// failure the target is untouched, the temporary file is gone and the error
// has been reported.
bool SaveReplacing(const Streams& io, SG_CURSOR cursor, const std::string& target, uint32_t codePage) {
  std::string reason = ProbeWritable(target);
  if (!reason.empty()) { CannotWrite(io, target, reason); return false; }
  std::string temp;
  reason = CreateSiblingTemp(target, &temp);
  if (!reason.empty()) { CannotWrite(io, target, reason); return false; }
  WString wideTemp = ToWide(temp);
  if (sgSaveAsW(cursor, wideTemp.c_str(), codePage) != 1) {
    RemoveFile(temp);
    // The temporary file could be created, so the folder is writable: the
    // library refused the code page.
    CannotWrite(io, target, "code page " + std::to_string(codePage) + " is not supported");
    return false;
  }
  reason = ReplaceByRename(temp, target);
  if (!reason.empty()) {
    RemoveFile(temp);
    CannotWrite(io, target, reason);
    return false;
  }
  return true;
}

// ---- set ---------------------------------------------------------------------

// VALUE as stored: a '"' would end the double-quoted value and the reader
// ends any quoted value at '>', so both are written as references.
WString StoredValue(const std::string& value) {
  std::string escaped;
  for (char c : value) {
    if (c == '"') escaped += "&quot;";
    else if (c == '>') escaped += "&gt;";
    else escaped.push_back(c);
  }
  return ToWide(escaped);
}

int RunSet(const Streams& io, const Arguments& args) {
  if (args.operands.size() != 4)
    return UsageError(io, "set", "set takes FILE, QUERY, ATTR and VALUE");
  Query query;
  std::string problem = ParseQuery(args.operands[1], &query);
  if (!problem.empty()) return UsageError(io, "set", problem);
  if (args.operands[2].empty()) return UsageError(io, "set", "empty attribute name");
  const std::string& path = args.operands[0];
  std::string target = (args.given & kOptOutput) ? args.output : path;
  WString attrib = ToWide(args.operands[2]);
  WString value = StoredValue(args.operands[3]);
  Document doc;
  if (!OpenDocument(io, path, &doc)) return kSprigError;
  SG_CURSOR cursor = doc.get();
  uint64_t count = 0;
  for (bool found = NextMatch(cursor, query, true); found; found = NextMatch(cursor, query, false)) {
    if (sgSetAttribW(cursor, attrib.c_str(), value.c_str()) != 1)
      return Fail(io, "out of memory; '" + target + "' was not changed");
    ++count;
  }
  if (count == 0) return kSprigNoMatch;
  return SaveReplacing(io, cursor, target, sgGetEncoding(cursor)) ? kSprigOk : kSprigError;
}

// ---- convert -----------------------------------------------------------------

// Code page of an encoding argument, or false when it names none.
bool ParseEncoding(const std::string& text, uint32_t* codePage) {
  static const struct { const char* name; uint32_t codePage; } kNames[] = {
      {"utf-8", SG_ENC_UTF8}, {"utf8", SG_ENC_UTF8},
      {"utf-7", SG_ENC_UTF7}, {"utf7", SG_ENC_UTF7},
      {"shift-jis", 932}, {"shift_jis", 932}, {"sjis", 932}, {"cp932", 932},
      {"windows-31j", 932}, {"ms932", 932}};
  for (const auto& entry : kNames)
    if (EqualsNoCase(text, entry.name)) { *codePage = entry.codePage; return true; }
  if (text.empty() || text.size() > 10) return false;
  uint64_t number = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    number = number * 10 + static_cast<uint64_t>(c - '0');
  }
  if (number > 0xFFFFFFFFu) return false;
  *codePage = static_cast<uint32_t>(number);
  return true;
}

// The name a document in `codePage` declares itself with, or "" when the
// code page has no name we know (its declarations are then left alone).
std::string CharsetName(uint32_t codePage) {
  switch (codePage) {
    case SG_ENC_UTF8: return "UTF-8";
    case SG_ENC_UTF7: return "UTF-7";
    case SG_ENC_ANSI: case 932: return "Shift_JIS";
    case 20932: case 51932: return "EUC-JP";
    case 50220: case 50221: case 50222: return "ISO-2022-JP";
    case 20127: return "US-ASCII";
    case 936: return "GBK";
    case 949: return "EUC-KR";
    case 950: return "Big5";
    case 874: return "windows-874";
    default: break;
  }
  if (codePage >= 1250 && codePage <= 1258) return "windows-" + std::to_string(codePage);
  if (codePage >= 28591 && codePage <= 28599) return "ISO-8859-" + std::to_string(codePage - 28590);
  return "";
}

// Whether a declared charset name already means `codePage`.
bool NamesCodePage(const std::string& declared, uint32_t codePage) {
  static const char* const kShiftJis[] = {"shift_jis", "shift-jis", "sjis", "x-sjis", "ms932",
                                          "cp932", "windows-31j", "csshiftjis", "ms_kanji"};
  if (codePage == SG_ENC_ANSI || codePage == 932) {
    for (const char* alias : kShiftJis)
      if (EqualsNoCase(declared, alias)) return true;
    return false;
  }
  if (codePage == SG_ENC_UTF8 && EqualsNoCase(declared, "utf8")) return true;
  return EqualsNoCase(declared, CharsetName(codePage));
}

// Makes the XML declaration and meta charset tags name `codePage`. Only
// names that say something else are changed. False when memory runs out.
bool UpdateDeclaredEncoding(SG_CURSOR cursor, uint32_t codePage) {
  std::string charset = CharsetName(codePage);
  if (charset.empty()) return true;
  WString wideCharset = ToWide(charset);
  static const SG_WCHAR kEncoding[] = {'e', 'n', 'c', 'o', 'd', 'i', 'n', 'g', 0};
  static const SG_WCHAR kXml[] = {'x', 'm', 'l', 0};
  static const SG_WCHAR kMeta[] = {'m', 'e', 't', 'a', 0};
  static const SG_WCHAR kCharset[] = {'c', 'h', 'a', 'r', 's', 'e', 't', 0};
  static const SG_WCHAR kHttpEquiv[] = {'h', 't', 't', 'p', '-', 'e', 'q', 'u', 'i', 'v', 0};
  static const SG_WCHAR kContent[] = {'c', 'o', 'n', 't', 'e', 'n', 't', 0};

  // The XML declaration: a top-level "xml" processing instruction.
  sgMoveTo(cursor, SG_MOVE_BASE);
  if (sgSearchW(cursor, kXml, SG_SEARCH_FIRST_SIBLING) == 1) {
    const SG_WCHAR* declared = sgGetAttribW(cursor, kEncoding);
    bool present = sgDoesAttribExistW(cursor, kEncoding) == 1;
    bool needed = present ? !NamesCodePage(ToUtf8(declared), codePage) : codePage != SG_ENC_UTF8;
    if (needed && sgSetAttribW(cursor, kEncoding, wideCharset.c_str()) != 1) return false;
  }
  for (bool found = sgSearchW(cursor, kMeta, SG_SEARCH_FIRST) == 1; found;
       found = sgSearchW(cursor, kMeta, SG_SEARCH_NEXT) == 1) {
    if (sgDoesAttribExistW(cursor, kCharset) == 1) {
      if (!NamesCodePage(ToUtf8(sgGetAttribW(cursor, kCharset)), codePage) &&
          sgSetAttribW(cursor, kCharset, wideCharset.c_str()) != 1)
        return false;
      continue;
    }
    if (!EqualsNoCase(ToUtf8(sgGetAttribW(cursor, kHttpEquiv)), "content-type")) continue;
    std::string content = ToUtf8(sgGetAttribW(cursor, kContent));
    std::size_t at = Lower(content).find("charset=");
    if (at == std::string::npos) continue;
    std::size_t start = at + 8, end = start;
    while (end < content.size() && content[end] != ';' && content[end] != ' ' && content[end] != '"' &&
           content[end] != '\'')
      ++end;
    if (NamesCodePage(content.substr(start, end - start), codePage)) continue;
    content.replace(start, end - start, charset);
    if (sgSetAttribW(cursor, kContent, ToWide(content).c_str()) != 1) return false;
  }
  return true;
}

int RunConvert(const Streams& io, const Arguments& args) {
  if (args.operands.size() != 1) return UsageError(io, "convert", "convert takes one FILE");
  if (!(args.given & kOptOutput)) return UsageError(io, "convert", "convert needs -o OUT");
  if (!(args.given & kOptEncoding)) return UsageError(io, "convert", "convert needs --encoding ENC");
  uint32_t codePage = 0;
  if (!ParseEncoding(args.encoding, &codePage))
    return UsageError(io, "convert", "unknown encoding '" + args.encoding +
                                         "' (use utf-8, shift-jis, utf-7 or a code-page number)");
  Document doc;
  if (!OpenDocument(io, args.operands[0], &doc)) return kSprigError;
  if (!UpdateDeclaredEncoding(doc.get(), codePage))
    return Fail(io, "out of memory; '" + args.output + "' was not written");
  return SaveReplacing(io, doc.get(), args.output, codePage) ? kSprigOk : kSprigError;
}

// ---- Dispatch ----------------------------------------------------------------

struct Command {
  const char* name;
  unsigned options;
  int (*run)(const Streams&, const Arguments&);
};

const Command kCommands[] = {
    {"tree", 0, RunTree},
    {"find", kOptXml | kOptCount, RunFind},
    {"get", kOptRaw, RunGet},
    {"text", kOptRaw, RunText},
    {"set", kOptOutput, RunSet},
    {"convert", kOptOutput | kOptEncoding, RunConvert},
};

std::string VersionText() {
  uint32_t version = Version();
  return "sprig " + std::to_string((version >> 8) & 0xFF) + "." + std::to_string(version & 0xFF) + "\n";
}

}  // namespace
}  // namespace sprig_cli

int SprigMain(int argc, char** argv, std::FILE* out, std::FILE* err) {
  using namespace sprig_cli;
  Streams io{out, err};
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
        status = command->run(io, parsed);
      }
    }
  }
  if (std::fflush(out) != 0 || std::ferror(out)) {
    Put(err, "sprig: cannot write the output\n");
    status = kSprigError;
  }
  return status;
}
