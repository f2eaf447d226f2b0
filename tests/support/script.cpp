// The case-file driver declared in script.h. Compiled once, into the test
// support library, against plain declarations of the public functions
// (SPRIG_STATIC): they link against the static library and, through the
// import library's stubs, against the DLL alike, so the api suite's runs go
// through the shared library as an application's calls do.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "sprig.h"
#include "script.h"
#include "support.h"

namespace sprig_script {
namespace {

using sprig_test::WString;

// One argument as written, in every form a call may want.
struct Arg {
  std::string bytes;  // narrow text or the token itself
  WString wide;
  bool quoted = false, null = false;
};

std::string Quote(const std::string &s, bool narrowBytes) {
  std::string out = "'";
  for (unsigned char ch : s) {
    static const char kHex[] = "0123456789ABCDEF";
    const char *esc = ch == '\n' ? "\\n" : ch == '\r' ? "\\r" : ch == '\t' ? "\\t" : ch == 0 ? "\\0"
                    : ch == '\\' ? "\\\\" : ch == '\'' ? "\\'" : nullptr;
    if (esc) out += esc;
    else if (ch < 0x20 || ch == 0x7F || (narrowBytes && ch >= 0x80)) out += std::string("\\x") + kHex[ch >> 4] + kHex[ch & 15];
    else out += static_cast<char>(ch);
  }
  return out + "'";
}
std::string R(const char *s) { return s ? Quote(s, true) : "null"; }
std::string R(const SG_WCHAR *s) { return s ? Quote(sprig_test::Utf8(s), false) : "null"; }
std::string R(int32_t v) { return std::to_string(v); }
std::string R(uint32_t v) { return v == 0xFFFFFFFFu ? "none" : std::to_string(v); }
std::string R(const void *p) { return p ? "ok" : "null"; }
// A string list: the units up to and with the two zeros that end it.
std::string List(const char *s) {
  size_t n = 0;
  while (s && (s[n] || s[n + 1])) ++n;
  return s ? Quote(std::string(s, n + 2), true) : "null";
}
std::string List(const SG_WCHAR *s) {
  size_t n = 0;
  while (s && (s[n] || s[n + 1])) ++n;
  return s ? Quote(sprig_test::Utf8(s, static_cast<std::ptrdiff_t>(n + 2)), false) : "null";
}

// Frees a block of sgGetOuterXML* and gives its text.
template <typename Char>
std::string TakeBlock(Char *block) {
  const std::string text = R(static_cast<const Char *>(block));
  if (block && !sprig_test::FreeGlobalBlock(block)) ADD_FAILURE() << "block not freed";
  return text;
}

// Where a cursor stands: "name@level.index", "head@level" at a list head, the
// name "-" for a nameless element.
std::string At(SG_CURSOR c) {
  const std::string level = "@" + std::to_string(sgGetLevel(c));
  if (sgIsEmptyList(c) == 1) return "head" + level;
  const SG_WCHAR *name = sgGetNameW(c);
  return (name ? sprig_test::Utf8(name) : "-") + level + "." + std::to_string(sgGetIndex(c));
}

struct ScanLog {
  std::string at, log;  // the visit answered with bits ("name+" or "name-"), the visits
  uint32_t bits;
};
uint32_t SG_CALL RecordVisit(SG_CURSOR c, uint32_t depth, uint32_t phase, intptr_t user) {
  auto *scan = reinterpret_cast<ScanLog *>(user);
  const SG_WCHAR *n = sgGetNameW(c);
  const std::string name = (n ? sprig_test::Utf8(n) : "-") + (phase ? "-" : "+");
  scan->log += " " + name.substr(0, name.size() - 1) + std::to_string(depth) + name.back();
  return name == scan->at ? scan->bits : 0;
}

// The document of a cursor as a sketch: each element as name[attributes]
// {inner}(children)+{after}, siblings apart by blanks, in document order.
std::string Tree(SG_CURSOR cursor) {
  const auto text = [](const SG_WCHAR *t) { return sprig_test::Utf8(t); };
  SG_CURSOR c = sgDupXML(cursor);
  std::string out;
  std::vector<std::string> after;  // after texts of the open elements, by level
  for (sgMoveTo(c, SG_MOVE_BASE); sgMoveTo(c, SG_MOVE_NEXT_IN_ORDER);) {
    const size_t level = sgGetLevel(c);
    for (; after.size() > level + 1; after.pop_back()) out += after.back() + ")";
    if (after.size() == level + 1) out += after.back() + " ", after.pop_back();
    else if (level > 0 && !out.empty()) out += "(";
    const SG_WCHAR *name = sgGetNameW(c);
    out += name ? text(name) : "-";
    std::string attribs;
    for (int32_t i = 0; i < static_cast<int32_t>(sgGetAttribCount(c)); ++i) {
      const SG_WCHAR *n = sgGetAttribNameW(c, i), *v = sgGetAttribValueW(c, i);
      attribs += (i ? " " : "") + (n ? text(n) : "-") + (v ? "=" + text(v) : "");
    }
    if (!attribs.empty()) out += "[" + attribs + "]";
    if (sgGetInnerStrW(c)) out += "{" + text(sgGetInnerStrW(c)) + "}";
    after.push_back(sgGetAfterStrW(c) ? "+{" + text(sgGetAfterStrW(c)) + "}" : "");
  }
  for (; after.size() > 1; after.pop_back()) out += after.back() + ")";
  if (!after.empty()) out += after.back();
  sgCloseXML(c);
  return Quote(out, false);
}

class Runner {
 public:
  explicit Runner(std::string file) : file_(std::move(file)) {}
  ~Runner() { Reset(); }

  // Runs every case of the file; with record set, rewrites the file's results.
  void RunFile(bool record) {
    std::string text = sprig_test::ReadFileBytes(file_), out;
    size_t lineNo = 0;
    for (size_t pos = 0; pos < text.size();) {
      size_t end = text.find('\n', pos);
      if (end == std::string::npos) end = text.size();
      std::string line = text.substr(pos, end - pos);
      pos = end + 1;
      ++lineNo;
      if (line.compare(0, 3, "== ") == 0) {
        Reset();
        title_ = line.substr(3);
      } else if (!line.empty() && line[0] != '#') {
        const size_t arrow = line.find(" =>");
        const std::string call = line.substr(0, arrow);
        const std::string actual = Line(call);
        if (arrow != std::string::npos) {
          const std::string expected = line.size() > arrow + 4 ? line.substr(arrow + 4) : "";
          if (record) line = call + " => " + actual;
          else if (expected != actual)
            ADD_FAILURE_AT(file_.c_str(), static_cast<int>(lineNo))
                << "case \"" << title_ << "\": " << call << "\n  expected: " << expected
                << "\n    actual: " << actual;
        }
      }
      out += line + (end < text.size() ? "\n" : "");
    }
    Reset();
    if (record) sprig_test::WriteFileBytes(file_, out);
  }

 private:
  struct Handle {
    void *p;
    bool note;
  };

  void Reset() {
    for (auto &h : handles_) if (!h.second.note && h.second.p) sgCloseXML(static_cast<SG_CURSOR>(h.second.p));
    handles_.clear();
    numbers_.clear();
    dir_.reset(new sprig_test::TempDir);
  }

  // Splits a line into tokens, decoding quoted text.
  static std::vector<Arg> Tokens(const std::string &s) {
    std::vector<Arg> out;
    for (size_t i = 0; i < s.size();) {
      if (s[i] == ' ') { ++i; continue; }
      Arg a;
      if (s[i] != '\'') {
        const size_t e = s.find(' ', i);
        a.bytes = s.substr(i, e == std::string::npos ? std::string::npos : e - i);
        a.null = a.bytes == "null";
        i = e == std::string::npos ? s.size() : e;
        a.wide = sprig_test::Utf16(a.bytes);
        out.push_back(a);
        continue;
      }
      a.quoted = true;
      while (i < s.size() && s[i] == '\'') {  // 'a''b' is one text
        Arg part;
        std::string pending;  // UTF-8 not yet in the wide form
        for (++i; i < s.size() && s[i] != '\''; ++i) {
          char ch = s[i];
          if (ch == '\\' && i + 1 < s.size()) {
            const char e = s[++i];
            if (e == 'x' || e == 'u') {
              const int digits = e == 'x' ? 2 : 4;
              const unsigned v = static_cast<unsigned>(std::strtoul(s.substr(i + 1, digits).c_str(), nullptr, 16));
              i += digits;
              if (e == 'u') {
                part.wide += sprig_test::Utf16(pending);
                pending.clear();
                part.wide.push_back(static_cast<SG_WCHAR>(v));
                continue;
              }
              ch = static_cast<char>(v);
            } else {
              ch = e == 'n' ? '\n' : e == 'r' ? '\r' : e == 't' ? '\t' : e == '0' ? '\0' : e;
            }
          }
          part.bytes += ch;
          pending += ch;
        }
        ++i;
        part.wide += sprig_test::Utf16(pending);
        size_t times = 1;
        if (i < s.size() && s[i] == '*') {  // 'text'*N: N copies
          times = std::strtoul(s.c_str() + i + 1, nullptr, 10);
          for (++i; i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])); ++i) {}
        }
        for (size_t k = 0; k < times; ++k) a.bytes += part.bytes, a.wide += part.wide;
      }
      out.push_back(a);
    }
    return out;
  }

  uint32_t Number(const Arg &a) {
    static const std::map<std::string, uint32_t> kNames = [] {
      std::map<std::string, uint32_t> m = {{"none", 0xFFFFFFFFu}, {"ENC_ANSI", 0},
          {"ENC_UTF7", 65000}, {"ENC_UTF8", 65001}, {"TEXTCONV_KEEP_CONTROLS", 1},
          {"SCAN_STOP", 1}, {"SCAN_ABORT", 2}, {"SCAN_SKIP_CHILDREN", 4},
          {"SCAN_SKIP_SIBLINGS", 8}, {"MOVENODE_FIRST", 1}, {"MOVENODE_LAST", 2}};
      // Families numbered from 0 or 1 in this order.
      const char *const kinds[] = {"PLAIN", "ELEMENT", "END_TAG", "VOID", "EMPTY_TAG", "PI",
                                   "DECL", "COMMENT"};
      const char *const moves[] = {"BASE", "BASE_FIRST", "PARENT", "INTO", "FIRST_CHILD",
                                   "LAST_CHILD", "LIST_HEAD", "FIRST", "PREV", "NEXT", "LAST",
                                   "PREV_IN_ORDER", "NEXT_IN_ORDER"};
      const char *const searches[] = {"FIRST", "NEXT", "PREV", "FIRST_SIBLING", "NEXT_SIBLING",
                                      "PREV_SIBLING", "CHILD", "ANCESTOR", "DESCENDANT",
                                      "PATH_FIRST", "PATH_NEXT"};
      const char *const inserts[] = {"APPEND", "BEFORE", "AFTER", "CHILD"};
      for (uint32_t i = 0; i < 8; ++i) m[std::string("KIND_") + kinds[i]] = i;
      for (uint32_t i = 0; i < 13; ++i) m[std::string("MOVE_") + moves[i]] = i + 1;
      for (uint32_t i = 0; i < 11; ++i) m[std::string("SEARCH_") + searches[i]] = i + 1;
      for (uint32_t i = 0; i < 4; ++i) m[std::string("INSERT_") + inserts[i]] = i;
      return m;
    }();
    uint32_t v = 0;
    size_t i = 0;
    while (i <= a.bytes.size()) {
      size_t e = a.bytes.find('|', i);
      if (e == std::string::npos) e = a.bytes.size();
      const std::string part = a.bytes.substr(i, e - i);
      const auto named = kNames.find(part);
      if (named != kNames.end()) v |= named->second;
      else if (part[0] == '$') v |= numbers_[part.substr(1)];
      else v |= static_cast<uint32_t>(std::strtoll(part.c_str(), nullptr, 0));
      i = e + 1;
    }
    return v;
  }

  // The text of a quoted argument, a path for @name and %corpus, null for null.
  Arg &Text(Arg &a) {
    if (!a.quoted && (a.bytes[0] == '@' || a.bytes[0] == '%')) {
      a.bytes = a.bytes[0] == '%' ? sprig_test::CorpusPath(a.bytes.substr(1))
              : a.bytes.size() == 1 ? dir_->path() : dir_->File(a.bytes.substr(1));
      a.wide = sprig_test::Utf16(a.bytes);
      a.quoted = true;
    }
    return a;
  }

  std::string Line(const std::string &line) {
    std::vector<Arg> t = Tokens(line);
    std::string target;
    if (t.size() > 2 && t[1].bytes == "=" && !t[1].quoted) {
      target = t[0].bytes;
      t.erase(t.begin(), t.begin() + 2);
    }
    args_ = t;
    result_ = nullptr;
    note_ = false;
    // A call name ending in '+' also tells where its cursor then stands; one
    // ending in '#' gives the length in bytes (UTF-8 for wide text) and the
    // distinct characters of its text result instead of the text.
    const char mark = t[0].bytes.size() > 1 ? t[0].bytes.back() : 0;
    if (mark == '+' || mark == '#') t[0].bytes.pop_back(), args_[0].bytes.pop_back();
    std::string r = Run(t[0].bytes);
    if (mark == '+') r += " " + At(C(1));
    if (mark == '#' && !r.empty() && r[0] == '\'') {
      const std::string text = Tokens(r)[0].bytes;
      std::set<char> distinct(text.begin(), text.end());
      r = std::to_string(text.size()) + " of " + Quote(std::string(distinct.begin(), distinct.end()), true);
    }
    if (!target.empty()) {
      const auto old = handles_.find(target);
      if (old != handles_.end() && old->second.p && !old->second.note)
        ADD_FAILURE() << target << " still holds an open cursor";
      handles_[target] = {result_, note_};
    }
    return r;
  }

  const char *A(size_t i) { Arg &a = Text(args_.at(i)); return a.null ? nullptr : a.bytes.c_str(); }
  const SG_WCHAR *W(size_t i) { Arg &a = Text(args_.at(i)); return a.null ? nullptr : a.wide.c_str(); }
  uint32_t U(size_t i) { return Number(args_.at(i)); }
  int32_t I(size_t i) { return static_cast<int32_t>(Number(args_.at(i))); }
  void *H(size_t i) {
    const auto h = handles_.find(args_.at(i).bytes);
    if (h == handles_.end() && !args_[i].null) ADD_FAILURE() << "no handle " << args_[i].bytes;
    return h == handles_.end() ? nullptr : h->second.p;
  }
  SG_CURSOR C(size_t i) { return static_cast<SG_CURSOR>(H(i)); }
  SG_NOTE N(size_t i) { return static_cast<SG_NOTE>(H(i)); }
  // Variadic arguments from i on, as the formats read them: numbers, or
  // texts in the narrow or wide form.
  intptr_t V(size_t i, bool wide) {
    if (i >= args_.size()) return 0;
    if (!args_[i].quoted) return static_cast<intptr_t>(static_cast<int32_t>(U(i)));
    return wide ? reinterpret_cast<intptr_t>(W(i)) : reinterpret_cast<intptr_t>(A(i));
  }
  // A handle made by a call: "null", the name of a handle it equals, or "ok".
  std::string Made(void *p, bool note = false) {
    result_ = p;
    note_ = note;
    for (const auto &h : handles_)
      if (p && h.second.p == p) return h.first;
    return R(p);
  }
  void Forget(size_t i) {
    handles_.erase(args_.at(i).bytes);
  }

  std::string Run(const std::string &f);

  std::string file_, title_;
  std::unique_ptr<sprig_test::TempDir> dir_;
  std::map<std::string, Handle> handles_;
  std::map<std::string, uint32_t> numbers_;
  std::vector<Arg> args_;
  void *result_ = nullptr;
  bool note_ = false;
};

// Runs one call. Driver calls besides the API:
//   at c            where c stands (see At)
//   walk c CODE     the places of repeated MoveTo CODE up to the failing one
//   tree c          the document as a sketch (see Tree)
//   fields c        name, inner and after text in both forms (see above)
//   tags c          tag number and the positions of selectors 0-3
//   source c        the start tag and the whole element, cut from GetSrcXML
//   keep k c        GetNodeID's result; the id is kept as $k
//   scan c at BITS  ScanTree's result and visits, answering BITS at the visit at
//   ids c d ...     how many distinct ids the elements of these documents have
//   ref n POS MODE  the name of the element NoteGetReferenceNode finds, - for none
//   out c / outA c CP   the outer XML (the block is freed)
//   saved c [CP]    the bytes of the document saved (UTF-8 unless CP given)
//   file @name      the bytes of a file; write @name 'bytes' writes one
//   copy @name %rel copies a corpus file
std::string Runner::Run(const std::string &f) {
  if (f == "at") return At(C(1));
  if (f == "walk") {
    std::string r = At(C(1));
    while (sgMoveTo(C(1), U(2))) r += " " + At(C(1));
    return r;
  }
  if (f == "fields") {  // name, inner and after text, each "wide/narrow" where the forms differ
    const auto both = [](const std::string &w, const std::string &a) { return w == a ? w : w + "/" + a; };
    const SG_CURSOR c = C(1);
    return both(R(sgGetNameW(c)), R(sgGetNameA(c))) + " " +
           both(R(sgGetInnerStrW(c)), R(sgGetInnerStrA(c))) + " " +
           both(R(sgGetAfterStrW(c)), R(sgGetAfterStrA(c)));
  }
  if (f == "tree") return Tree(C(1));
  if (f == "tags") {
    std::string r = R(sgGetTagCount(C(1)));
    for (uint32_t s = 0; s < 4; ++s) r += " " + R(sgGetTagPos(C(1), s));
    return r;
  }
  if (f == "source") {
    const SG_WCHAR *src = sgGetSrcXML(C(1));
    const uint32_t a = sgGetTagPos(C(1), 0), b = sgGetTagPos(C(1), 1), e = sgGetTagPos(C(1), 2);
    if (!src || a > b || b > e || e > std::char_traits<SG_WCHAR>::length(src)) return "bad";
    return R(WString(src + a, b - a).c_str()) + " " + R(WString(src + a, e - a).c_str());
  }
  if (f == "keep") {
    uint32_t id = 0;
    const int32_t r = sgGetNodeID(C(2), &id);
    numbers_[args_[1].bytes] = id;
    return R(r);
  }
  if (f == "scan") {
    ScanLog log{args_.size() > 2 ? args_[2].bytes : "", "", args_.size() > 3 ? U(3) : 0};
    const int32_t r = sgScanTree(C(1), RecordVisit, reinterpret_cast<intptr_t>(&log));
    return R(r) + ":" + log.log;
  }
  if (f == "ids") {  // distinct element ids over the documents of the cursors given
    std::set<uint32_t> ids;
    for (size_t i = 1; i < args_.size(); ++i) {
      SG_CURSOR d = sgDupXML(C(i));
      for (sgSetBase(d, 0), sgMoveTo(d, SG_MOVE_BASE); sgMoveTo(d, SG_MOVE_NEXT_IN_ORDER);) {
        uint32_t id = 0;
        sgGetNodeID(d, &id);
        ids.insert(id);
      }
      sgCloseXML(d);
    }
    return R(static_cast<uint32_t>(ids.size()));
  }
  if (f == "ref") {  // the name of the element a reference lookup lands on, - for none
    SG_CURSOR found = sgNoteGetReferenceNode(N(1), I(2), U(3));
    const std::string name = found ? R(sgGetNameA(found)) : "-";
    if (found) sgCloseXML(found);
    return name;
  }
  if (f == "out") return TakeBlock(sgGetOuterXMLW(C(1)));
  if (f == "outA") return TakeBlock(sgGetOuterXMLA(C(1), U(2)));
  if (f == "file") return sprig_test::FileExists(A(1)) ? R(sprig_test::ReadFileBytes(A(1)).c_str()) : "missing";
  if (f == "saved") {
    const std::string path = dir_->File("saved");
    const int32_t r = sgSaveAsA(C(1), path.c_str(), args_.size() > 2 ? U(2) : SG_ENC_UTF8);
    return r ? R(sprig_test::ReadFileBytes(path).c_str()) : R(r);
  }
  if (f == "write") return R(static_cast<int32_t>(sprig_test::WriteFileBytes(A(1), args_.at(2).bytes)));
  if (f == "copy") {
    return R(static_cast<int32_t>(sprig_test::WriteFileBytes(A(1), sprig_test::ReadFileBytes(A(2)))));
  }
  if (f == "TagSrc") {
    uint32_t n = 99;  // a failed call writes no length
    const SG_WCHAR *s = sgGetTagSrc(C(1), &n);
    return s ? R(WString(s, n).c_str()) : "null " + R(n);
  }
  // The public functions, by family.
  static const std::map<std::string, std::function<std::string(Runner &)>> kCalls = {
#define SG(name, expr) {#name, [](Runner &r) { return expr; }}
      SG(CreateXMLW, r.Made(sgCreateXMLW(r.W(1), r.U(2), r.U(3)))),
      SG(CreateXMLA, r.Made(sgCreateXMLA(r.A(1), r.U(2), r.U(3)))),
      SG(OpenXMLW, r.Made(sgOpenXMLW(r.W(1)))), SG(OpenXMLA, r.Made(sgOpenXMLA(r.A(1)))),
      SG(ParseXMLW, r.Made(sgParseXMLW(r.W(1), r.args_.size() > 2 ? r.U(2) : ~0u))),
      SG(ParseXMLA, r.Made(sgParseXMLA(r.A(1), r.args_.size() > 2 ? r.U(2) : ~0u))),
      SG(DupXML, r.Made(sgDupXML(r.C(1)))), SG(CopyTree, r.Made(sgCopyTree(r.C(1)))),
      SG(CloseXML, (sgCloseXML(r.C(1)), r.Forget(1), "")),
      SG(DeleteXML, (sgDeleteXML(r.C(1)), r.Forget(1), "")),
      SG(FlushXML, R(sgFlushXML(r.C(1)))),
      SG(SaveAsW, R(sgSaveAsW(r.C(1), r.W(2), r.U(3)))),
      SG(SaveAsA, R(sgSaveAsA(r.C(1), r.A(2), r.U(3)))), SG(GetSrcXML, R(sgGetSrcXML(r.C(1)))),
      SG(GetEncoding, R(sgGetEncoding(r.C(1)))), SG(GetXMLFlag, R(sgGetXMLFlag(r.C(1)))),
      SG(SetXMLFlag, R(sgSetXMLFlag(r.C(1), r.U(2)))),
      SG(GetUpdateFlag, R(sgGetUpdateFlag(r.C(1)))),
      SG(SetUpdateFlag, R(sgSetUpdateFlag(r.C(1), r.U(2)))),
      SG(GetNameW, R(sgGetNameW(r.C(1)))), SG(GetNameA, R(sgGetNameA(r.C(1)))),
      SG(GetInnerStrW, R(sgGetInnerStrW(r.C(1)))), SG(GetInnerStrA, R(sgGetInnerStrA(r.C(1)))),
      SG(SetInnerStrW, R(sgSetInnerStrW(r.C(1), r.W(2), r.I(3)))),
      SG(SetInnerStrA, R(sgSetInnerStrA(r.C(1), r.A(2), r.I(3)))),
      SG(GetAfterStrW, R(sgGetAfterStrW(r.C(1)))), SG(GetAfterStrA, R(sgGetAfterStrA(r.C(1)))),
      SG(SetAfterStrW, R(sgSetAfterStrW(r.C(1), r.W(2), r.I(3)))),
      SG(SetAfterStrA, R(sgSetAfterStrA(r.C(1), r.A(2), r.I(3)))),
      SG(GetInnerTextW, R(sgGetInnerTextW(r.C(1)))), SG(GetInnerTextA, R(sgGetInnerTextA(r.C(1)))),
      SG(MoveTo, R(sgMoveTo(r.C(1), r.U(2)))), SG(Seek, R(sgSeek(r.C(1), r.U(2)))),
      SG(GetLevel, R(sgGetLevel(r.C(1)))), SG(SetLevel, R(sgSetLevel(r.C(1), r.I(2)))),
      SG(GetIndex, R(sgGetIndex(r.C(1)))), SG(SetIndex, R(sgSetIndex(r.C(1), r.U(2)))),
      SG(GetChildCount, R(sgGetChildCount(r.C(1)))), SG(GetTagCount, R(sgGetTagCount(r.C(1)))),
      SG(TagIndex, R(sgTagIndex(r.C(1)))), SG(IsEmptyList, R(sgIsEmptyList(r.C(1)))),
      SG(GetTagPos, R(sgGetTagPos(r.C(1), r.U(2)))), SG(SetBase, R(sgSetBase(r.C(1), r.I(2)))),
      SG(SearchW, R(sgSearchW(r.C(1), r.W(2), r.U(3)))),
      SG(SearchA, R(sgSearchA(r.C(1), r.A(2), r.U(3)))),
      SG(SearchIndexW, R(sgSearchIndexW(r.C(1), r.W(2), r.U(3), r.I(4)))),
      SG(SearchIndexA, R(sgSearchIndexA(r.C(1), r.A(2), r.U(3), r.I(4)))),
      SG(SetAttribW, R(sgSetAttribW(r.C(1), r.W(2), r.W(3)))),
      SG(SetAttribA, R(sgSetAttribA(r.C(1), r.A(2), r.A(3)))),
      SG(SetAttribStringW, R(sgSetAttribStringW(r.C(1), r.W(2), r.W(3)))),
      SG(SetAttribStringA, R(sgSetAttribStringA(r.C(1), r.A(2), r.A(3)))),
      SG(SetAttribIntW, R(sgSetAttribIntW(r.C(1), r.W(2), r.U(3)))),
      SG(SetAttribIntA, R(sgSetAttribIntA(r.C(1), r.A(2), r.U(3)))),
      SG(SetAttribDWordW, R(sgSetAttribDWordW(r.C(1), r.W(2), r.U(3)))),
      SG(SetAttribDWordA, R(sgSetAttribDWordA(r.C(1), r.A(2), r.U(3)))),
      SG(AttribPrintFW, R(sgAttribPrintFW(r.C(1), r.W(2), r.W(3), r.V(4, true), r.V(5, true),
                                          r.V(6, true), r.V(7, true)))),
      SG(AttribPrintFA, R(sgAttribPrintFA(r.C(1), r.A(2), r.A(3), r.V(4, false), r.V(5, false),
                                          r.V(6, false), r.V(7, false)))),
      SG(GetAttribW, R(sgGetAttribW(r.C(1), r.W(2)))), SG(GetAttribA, R(sgGetAttribA(r.C(1), r.A(2)))),
      SG(GetAttribStringW, R(sgGetAttribStringW(r.C(1), r.W(2), r.W(3)))),
      SG(GetAttribStringA, R(sgGetAttribStringA(r.C(1), r.A(2), r.A(3)))),
      SG(GetAttribIntW, R(sgGetAttribIntW(r.C(1), r.W(2), r.U(3)))),
      SG(GetAttribIntA, R(sgGetAttribIntA(r.C(1), r.A(2), r.U(3)))),
      SG(GetAttribDWordW, R(sgGetAttribDWordW(r.C(1), r.W(2), r.U(3)))),
      SG(GetAttribDWordA, R(sgGetAttribDWordA(r.C(1), r.A(2), r.U(3)))),
      SG(DoesAttribExistW, R(sgDoesAttribExistW(r.C(1), r.W(2)))),
      SG(DoesAttribExistA, R(sgDoesAttribExistA(r.C(1), r.A(2)))),
      SG(DeleteAttribW, R(sgDeleteAttribW(r.C(1), r.W(2)))),
      SG(DeleteAttribA, R(sgDeleteAttribA(r.C(1), r.A(2)))),
      SG(GetAttribCount, R(sgGetAttribCount(r.C(1)))),
      SG(GetAttribNameW, R(sgGetAttribNameW(r.C(1), r.I(2)))),
      SG(GetAttribNameA, R(sgGetAttribNameA(r.C(1), r.I(2)))),
      SG(GetAttribValueW, R(sgGetAttribValueW(r.C(1), r.I(2)))),
      SG(GetAttribValueA, R(sgGetAttribValueA(r.C(1), r.I(2)))),
      SG(GetAttribPosW, R(sgGetAttribPosW(r.C(1), r.W(2), r.U(3)))),
      SG(GetAttribPosA, R(sgGetAttribPosA(r.C(1), r.A(2), r.U(3)))),
      SG(AddNodeW, R(sgAddNodeW(r.C(1), r.W(2), r.U(3)))),
      SG(AddNodeA, R(sgAddNodeA(r.C(1), r.A(2), r.U(3)))),
      SG(AddNode2W, R(sgAddNode2W(r.C(1), r.W(2), r.U(3), r.U(4)))),
      SG(AddNode2A, R(sgAddNode2A(r.C(1), r.A(2), r.U(3), r.U(4)))),
      SG(InsertNodeBeforeW, R(sgInsertNodeBeforeW(r.C(1), r.W(2), r.U(3)))),
      SG(InsertNodeBeforeA, R(sgInsertNodeBeforeA(r.C(1), r.A(2), r.U(3)))),
      SG(InsertNodeAfterW, R(sgInsertNodeAfterW(r.C(1), r.W(2), r.U(3)))),
      SG(InsertNodeAfterA, R(sgInsertNodeAfterA(r.C(1), r.A(2), r.U(3)))),
      SG(AddChildNodeW, R(sgAddChildNodeW(r.C(1), r.W(2), r.U(3)))),
      SG(AddChildNodeA, R(sgAddChildNodeA(r.C(1), r.A(2), r.U(3)))),
      SG(AddNodePathW, R(sgAddNodePathW(r.C(1), r.W(2), r.U(3)))),
      SG(AddNodePathA, R(sgAddNodePathA(r.C(1), r.A(2), r.U(3)))),
      SG(DeleteNode, R(sgDeleteNode(r.C(1)))), SG(MoveNode, R(sgMoveNode(r.C(1), r.U(2)))),
      SG(InsertTree, R(sgInsertTree(r.C(1), r.C(2), r.U(3)))),
      SG(CreateNoteW, r.Made(sgCreateNoteW(r.C(1), r.W(2)), true)),
      SG(CreateNoteA, r.Made(sgCreateNoteA(r.C(1), r.A(2)), true)),
      SG(NoteGetCount, R(sgNoteGetCount(r.C(1)))),
      SG(NoteGetByIndex, r.Made(sgNoteGetByIndex(r.C(1), r.U(2)), true)),
      SG(NoteGetByNameW, r.Made(sgNoteGetByNameW(r.C(1), r.W(2)), true)),
      SG(NoteGetByNameA, r.Made(sgNoteGetByNameA(r.C(1), r.A(2)), true)),
      SG(DeleteNote, (sgDeleteNote(r.N(1)), r.Forget(1), "")),
      SG(NoteAddStrW, R(sgNoteAddStrW(r.N(1), r.W(2), r.W(3)))),
      SG(NoteAddStrA, R(sgNoteAddStrA(r.N(1), r.A(2), r.A(3)))),
      SG(NoteAddStrLnW, R(sgNoteAddStrLnW(r.N(1), r.W(2), r.W(3)))),
      SG(NoteAddStrLnA, R(sgNoteAddStrLnA(r.N(1), r.A(2), r.A(3)))),
      SG(NotePrintFW, R(sgNotePrintFW(r.N(1), r.W(2), r.W(3), r.V(4, true), r.V(5, true),
                                      r.V(6, true), r.V(7, true)))),
      SG(NotePrintFA, R(sgNotePrintFA(r.N(1), r.A(2), r.A(3), r.V(4, false), r.V(5, false),
                                      r.V(6, false), r.V(7, false)))),
      SG(NoteGetStrW, R(sgNoteGetStrW(r.N(1)))), SG(NoteGetStrA, R(sgNoteGetStrA(r.N(1)))),
      SG(NoteGetStrListW, List(sgNoteGetStrListW(r.N(1)))),
      SG(NoteGetStrListA, List(sgNoteGetStrListA(r.N(1)))),
      SG(NoteGetPosW, R(sgNoteGetPosW(r.N(1), r.W(2)))),
      SG(NoteGetPosA, R(sgNoteGetPosA(r.N(1), r.A(2)))),
      SG(NoteSetAttribW, R(sgNoteSetAttribW(r.N(1), r.W(2), r.W(3)))),
      SG(NoteSetAttribA, R(sgNoteSetAttribA(r.N(1), r.A(2), r.A(3)))),
      SG(NoteDeleteAttribW, R(sgNoteDeleteAttribW(r.N(1), r.W(2)))),
      SG(NoteDeleteAttribA, R(sgNoteDeleteAttribA(r.N(1), r.A(2)))),
      SG(NoteGetAttribW, R(sgNoteGetAttribW(r.N(1), r.W(2)))),
      SG(NoteGetAttribA, R(sgNoteGetAttribA(r.N(1), r.A(2)))),
      SG(NoteDoesAttribExistW, R(sgNoteDoesAttribExistW(r.N(1), r.W(2)))),
      SG(NoteDoesAttribExistA, R(sgNoteDoesAttribExistA(r.N(1), r.A(2)))),
      SG(NoteSetReferenceNode, R(sgNoteSetReferenceNode(r.N(1), r.C(2)))),
      SG(NoteGetReferenceNode, r.Made(sgNoteGetReferenceNode(r.N(1), r.I(2), r.U(3)))),
      SG(NoteSearchReferenceNode, R(sgNoteSearchReferenceNode(r.N(1), r.C(2)))),
      SG(ToMBStr, R(sgToMBStr(r.W(1)))), SG(ToWCStr, R(sgToWCStr(r.A(1)))),
      SG(GetTextConvFlag, ((void)r, R(sgGetTextConvFlag()))),
      SG(SetTextConvFlag, R(sgSetTextConvFlag(r.U(1), r.U(2)))),
      SG(ToNormalStrTemp16W, R(sgToNormalStrTemp16W(r.W(1)))),
      SG(ToNormalStrTemp16A, R(sgToNormalStrTemp16A(r.A(1)))),
      SG(ToQuoteStrTemp16W, R(sgToQuoteStrTemp16W(r.W(1)))),
      SG(ToQuoteStrTemp16A, R(sgToQuoteStrTemp16A(r.A(1)))),
#undef SG
  };
  const auto call = kCalls.find(f);
  if (call == kCalls.end()) {
    ADD_FAILURE() << "unknown call " << f;
    return "?";
  }
  return call->second(*this);
}

}  // namespace

void RunCaseFolder(const std::string &folder) {
  const char *record = std::getenv("SPRIG_RECORD");
  size_t files = 0;
  for (const std::string &file : sprig_test::ListFiles(folder)) {
    if (file.size() < 4 || file.compare(file.size() - 4, 4, ".txt") != 0) continue;
    SCOPED_TRACE(file);
    Runner(file).RunFile(record && *record == '1');
    ++files;
  }
  EXPECT_GT(files, 0u) << "no case files in " << folder;
}

}  // namespace sprig_script
