// The fuzz harnesses (see harnesses.h). They use the public API as an
// application does, plus the internal invariant checker, which needs the
// cursor record behind a handle. Everything a harness makes it also frees,
// so LeakSanitizer turns any leak of the library into a finding.
#include "harnesses.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

#include "exact/exact_document.h"
#include "model/document.h"
#include "testing/invariants.h"
#include "model/node.h"
#include "sprig.h"
#include "sprig_exact.h"
#include "text/text.h"

namespace sprig_fuzz {
namespace {

using WString = std::basic_string<SG_WCHAR>;

// Every execution of open_file, round_trip and many of api_sequence writes,
// truncates and rereads files; on a disk file system the truncation of a
// written file starts its writeback, which costs more than the library's own
// work. A memory file system (/dev/shm) is the default where there is one.
std::string &ScratchDir() {
  static std::string dir = [] {
    const char *env = std::getenv("SPRIG_FUZZ_TMP");
    if (env && *env) return std::string(env);
    std::error_code ec;
    if (std::filesystem::is_directory("/dev/shm", ec)) return std::string("/dev/shm");
    env = std::getenv("TMPDIR");
    return std::string(env && *env ? env : "/tmp");
  }();
  return dir;
}

// A file name unique to this process, so parallel fuzz jobs never share one.
std::string ScratchFile(const char *name) {
  static const std::string tag = [] {
    std::random_device device;
    return std::to_string(device() & 0xFFFFFFu);
  }();
  return ScratchDir() + "/sprig-fuzz-" + tag + "-" + name;
}

// The file's bytes in one read (empty when it cannot be read).
std::string ReadWhole(const std::string &path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  const std::streamoff size = in ? static_cast<std::streamoff>(in.tellg()) : -1;
  if (size <= 0) return std::string();
  std::string bytes(static_cast<size_t>(size), '\0');
  in.seekg(0);
  in.read(&bytes[0], static_cast<std::streamsize>(size));
  bytes.resize(static_cast<size_t>(in.gcount()));
  return bytes;
}

void WriteWhole(const std::string &path, const void *data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char *>(data), static_cast<std::streamsize>(size));
}

[[noreturn]] void Fail(const char *what, const char *detail) {
  std::fprintf(stderr, "sprig fuzz finding: %s%s%s\n", what, detail ? ": " : "", detail ? detail : "");
  std::fflush(stderr);
  std::abort();
}

// Most cursors one check takes (the program's slots).
enum { kMaxChecked = 8 };

void Check(const SG_CURSOR *cursors, size_t count) {
  const Cursor *live[kMaxChecked];
  if (count > kMaxChecked) Fail("too many cursors for one check", nullptr);
  for (size_t i = 0; i < count; ++i) live[i] = cursors[i] ? AsCursor(cursors[i]) : nullptr;
  if (const char *e = CheckInvariants(live, count)) Fail("invariant broken", e);
}

void CheckOne(SG_CURSOR cursor) { Check(&cursor, 1); }

// The library keeps the texts it last handed out in result rings of
// kRingSlots blocks each (conversions both ways, unescaped and quoted texts
// in both forms), freeing the oldest on each put; a save may empty the
// narrow conversion ring. api_sequence, whose calls reach all six, ends by
// filling them, so every execution starts and ends with the same blocks held
// and its allocations and frees balance unless something leaks. Otherwise
// every execution that leaves a ring fuller than it found it makes libFuzzer
// run the input again and then a full LeakSanitizer pass over the process,
// which costs more than the execution itself. A real leak still leaves
// allocations over frees. The other harnesses put only into the wide
// conversion ring (lookups by narrow name), which nothing empties: once it
// is full they balance without this.
void SettleResultRings() {
  static const SG_WCHAR kWide[] = {'x', 0};
  for (int i = 0; i < kRingSlots; ++i) {
    sgToWCStr("x");
    sgToMBStr(kWide);
    sgToNormalStrTemp16W(kWide);
    sgToNormalStrTemp16A("x");
    sgToQuoteStrTemp16W(kWide);
    sgToQuoteStrTemp16A("x");
  }
}

// Settles the rings when the harness returns, by whatever path.
struct RingSettler {
  ~RingSettler() { SettleResultRings(); }
};

void FreeOuter(void *block) {
  if (!block) return;
  GlobalUnlock(GlobalHandle(block));
  GlobalFree(GlobalHandle(block));
}

// Reads every field of every element below the base in document order, and
// renders the whole top level; bounded so a huge input stays quick.
void WalkAndRender(SG_CURSOR c) {
  sgMoveTo(c, SG_MOVE_BASE);
  size_t visited = 0;
  volatile size_t sink = 0;
  while (visited++ < 20000 && sgMoveTo(c, SG_MOVE_NEXT_IN_ORDER)) {
    if (const SG_WCHAR *name = sgGetNameW(c)) sink += name[0];
    if (const char *name = sgGetNameA(c)) sink += static_cast<unsigned char>(name[0]);
    if (const SG_WCHAR *inner = sgGetInnerStrW(c)) sink += inner[0];
    if (const char *after = sgGetAfterStrA(c)) sink += static_cast<unsigned char>(after[0]);
    uint32_t n = sgGetAttribCount(c);
    for (uint32_t i = 0; i < n && i < 64; ++i) {
      if (const SG_WCHAR *v = sgGetAttribValueW(c, static_cast<int32_t>(i))) sink += v[0];
      if (const char *k = sgGetAttribNameA(c, static_cast<int32_t>(i))) sink += static_cast<unsigned char>(k[0]);
    }
    uint32_t length = 0;
    if (const SG_WCHAR *tag = sgGetTagSrc(c, &length)) {
      if (length) sink += tag[length - 1];
    }
    sink += sgGetTagPos(c, 0) + sgGetTagPos(c, 2) + sgGetLevel(c) + sgGetTagCount(c);
  }
  sgMoveTo(c, SG_MOVE_BASE_FIRST);
  if (const SG_WCHAR *text = sgGetInnerTextW(c)) sink += text[0];
  sgMoveTo(c, SG_MOVE_BASE);
  FreeOuter(sgGetOuterXMLW(c));
  FreeOuter(sgGetOuterXMLA(c, SG_ENC_UTF8));
  (void)sink;
}

}  // namespace

void SetScratchDir(const std::string &dir) { ScratchDir() = dir; }

int ParseNarrow(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  // The first byte picks the length form; the rest is the text, in a block of
  // exactly its size for the exact-length form so that any overread shows.
  const bool terminated = data[0] & 1;
  std::vector<char> text(data + 1, data + size);
  if (terminated) text.push_back('\0');
  SG_CURSOR c = sgParseXMLA(text.empty() ? "" : text.data(),
                            terminated ? 0xFFFFFFFFu : static_cast<uint32_t>(text.size()));
  if (!c) return 0;
  CheckOne(c);
  WalkAndRender(c);
  CheckOne(c);
  sgCloseXML(c);
  return 0;
}

int OpenFile(const uint8_t *data, size_t size) {
  const std::string path = ScratchFile("open.xml");
  WriteWhole(path, data, size);
  SG_CURSOR c = sgOpenXMLA(path.c_str());
  if (c) {
    CheckOne(c);
    WalkAndRender(c);
    // A change makes the close write the file back through the same path.
    sgMoveTo(c, SG_MOVE_BASE);
    if (sgAddNodeA(c, "fuzz", 0)) sgSetAttribA(c, "k", "v");
    CheckOne(c);
    sgCloseXML(c);
    SG_CURSOR again = sgOpenXMLA(path.c_str());
    if (!again) Fail("written-back file cannot be opened", nullptr);
    CheckOne(again);
    sgDeleteXML(again);
  }
  std::remove(path.c_str());
  return 0;
}

int ParseWide(const uint8_t *data, size_t size) {
  std::vector<SG_WCHAR> text(size / 2);
  if (!text.empty()) std::memcpy(text.data(), data, text.size() * 2);
  SG_CURSOR c = sgParseXMLW(text.empty() ? reinterpret_cast<const SG_WCHAR *>(u"") : text.data(),
                            static_cast<uint32_t>(text.size()));
  if (!c) return 0;
  CheckOne(c);
  // The source is the input up to its first NUL unit, exactly.
  const SG_WCHAR *source = sgGetSrcXML(c);
  size_t units = 0;
  while (units < text.size() && text[units]) ++units;
  if (!source || (units && std::memcmp(source, text.data(), units * 2) != 0) || source[units] != 0)
    Fail("source text differs from the input", nullptr);
  WalkAndRender(c);
  CheckOne(c);
  sgCloseXML(c);
  return 0;
}

// True when the bytes hold an end tag whose last token before '>' is '?'.
// The reader makes such a tag a processing instruction, which the writer
// writes as "<?name?>"; inside raw script text this shifts where the next
// script ends, one such tag per pass, so the saves take as many passes to
// settle as the text holds these tags.
bool HasQuestionEndTag(const std::string &bytes) {
  for (size_t at = bytes.find("</"); at != std::string::npos; at = bytes.find("</", at + 2)) {
    const size_t close = bytes.find('>', at + 2);
    if (close == std::string::npos) return false;
    size_t last = close;
    while (last > at + 2 && static_cast<unsigned char>(bytes[last - 1]) <= 0x20) --last;
    if (bytes[last - 1] == '?') return true;
  }
  return false;
}

// True when some node ends in an unquoted value that the writer and the
// reader disagree on:
// - in a processing instruction, the reader keeps a '?' before '>' inside
//   such a value ("<?a k=v?>" gives v?) while the writer closes the
//   instruction with "?>" of its own, so every save and reparse adds one
//   '?': the one shape that never repeats itself;
// - in any tag but an empty-element tag, a value whose last unit is '/':
//   the writer puts the tag's '>' right behind it ("k=v/>"), where the
//   reader gives the '/' back to close the tag, so the value loses it and
//   the tag becomes an empty-element tag; inside a script its raw text then
//   becomes markup, one such tag per pass.
bool HasUnstableUnquotedTail(SG_CURSOR c) {
  sgMoveTo(c, SG_MOVE_BASE);
  while (sgMoveTo(c, SG_MOVE_NEXT_IN_ORDER)) {
    const Node *node = AsCursor(c)->current;
    const Attrib *last = node->attribs ? node->attribs->prev : nullptr;
    if (!last || last == node->attribs || !last->value || last->quote != kQuoteBare) continue;
    if (node->kind == SG_KIND_PI) return true;
    const int32_t length = TextLengthW(last->value);
    if (node->kind != SG_KIND_EMPTY_TAG && length > 0 && last->value[length - 1] == '/') return true;
  }
  return false;
}

// A saved document parses back to a tree that the writer then reproduces.
// Generation 1 is the UTF-8 save of the fuzzed tree; each next generation is
// the save of the tree parsed from the previous tree's UTF-16 rendering
// (UTF-16 keeps the reparse free of any code-page guess). The first passes
// may change the bytes, since the reader is forgiving where the writer is
// exact: a quoted value holding '>' ends there on reading, a stray '<' at
// the top level ends the parse, indentation the writer adds comes back as
// text. The saves must settle: within kGenerations passes two consecutive
// saves are equal, except for the shapes HasUnstableUnquotedTail and
// HasQuestionEndTag name. Every save must also equal the narrow rendering
// of the same tree.
enum { kGenerations = 5 };

// Runs the generations of `text` into `generations`; true when two
// consecutive saves were equal. With `shapes` set, it tells whether a tree
// of any generation held one of the shapes that keep the saves changing.
bool RunGenerations(const std::vector<char> &text, std::string *generations, bool *shapes) {
  SG_CURSOR c = sgParseXMLA(text.empty() ? "" : text.data(), static_cast<uint32_t>(text.size()));
  if (!c) return true;
  const std::string path = ScratchFile("round_trip.xml");
  bool settled = false;
  for (int g = 0; g < kGenerations && !settled; ++g) {
    CheckOne(c);
    if (shapes && !*shapes) *shapes = HasUnstableUnquotedTail(c);
    if (!sgSaveAsA(c, path.c_str(), SG_ENC_UTF8)) Fail("save failed", nullptr);
    generations[g] = ReadWhole(path);
    std::remove(path.c_str());
    sgMoveTo(c, SG_MOVE_BASE);
    char *outer = sgGetOuterXMLA(c, SG_ENC_UTF8);
    if (!outer) Fail("render failed", nullptr);
    const bool same = generations[g] == outer;
    FreeOuter(outer);
    if (!same) Fail("rendered outer XML differs from the saved file", nullptr);
    settled = g > 0 && generations[g] == generations[g - 1];
    if (settled) break;
    SG_WCHAR *wide = sgGetOuterXMLW(c);
    if (!wide) Fail("render failed", nullptr);
    sgCloseXML(c);
    c = sgParseXMLW(wide, 0xFFFFFFFFu);
    FreeOuter(wide);
    if (!c) Fail("rendered text cannot be parsed", nullptr);
  }
  if (shapes && !*shapes) *shapes = HasUnstableUnquotedTail(c);
  sgDeleteXML(c);
  return settled;
}

int RoundTrip(const uint8_t *data, size_t size) {
  std::vector<char> text(data, data + size);
  std::string generations[kGenerations];
  if (RunGenerations(text, generations, nullptr)) return 0;
  // Rare: run again, now looking for the shapes in every generation's tree.
  bool shapes = false;
  RunGenerations(text, generations, &shapes);
  for (const std::string &g : generations) shapes = shapes || HasQuestionEndTag(g);
  if (!shapes) {
    // Keep the generations beside the scratch files for triage.
    for (int g = 0; g < kGenerations; ++g) {
      const std::string name = "round_trip-g" + std::to_string(g + 1);
      WriteWhole(ScratchFile(name.c_str()), generations[g].data(), generations[g].size());
    }
    Fail("round-trip saves never settle", nullptr);
  }
  return 0;
}

// ---------------------------------------------------------------------------
// API sequences
// ---------------------------------------------------------------------------
namespace {

// Reads the program: bytes, numbers and short strings, zeros once used up.
class Program {
 public:
  Program(const uint8_t *data, size_t size) : p_(data), n_(size) {}
  bool Done() const { return n_ == 0; }
  uint8_t Byte() {
    if (!n_) return 0;
    --n_;
    return *p_++;
  }
  uint32_t U32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = (v << 8) | Byte();
    return v;
  }
  // A string of up to `max` bytes, length from the program.
  std::string Chunk(size_t max) {
    size_t len = Byte() % (max + 1);
    if (len > n_) len = n_;
    std::string s(reinterpret_cast<const char *>(p_), len);
    p_ += len;
    n_ -= len;
    return s;
  }

 private:
  const uint8_t *p_;
  size_t n_;
};

const char *const kSamples[] = {
    "<?xml version=\"1.0\" encoding=\"utf-8\"?><root a=\"1\"><item id='x'>one<b>bold</b>tail</item>"
    "<item>two</item><!-- note --><empty/><list><li>a<li>b</list></root>",
    "<html><head><meta charset=utf-8><title>T</title></head><body><p>para<br>line<p>next"
    "<ul><li>x<li>y</ul><script>if (a<b) x();</script><img src=a.png></body></html>",
    "<a><b><c><d>deep</d></c></b></a><a/><b x y=z/>text after",
    "<!DOCTYPE html><table><tr><td>1<td>2<tr><td>3</table><dl><dt>t<dd>d</dl>",
    "",
};

const char *const kNames[] = {"a", "b", "li", "item", "p", "BR", "", "x", "root", "td", "c", "meta"};
// String lists (each name zero-terminated, ended by an empty name).
const char kPaths[][16] = {"a\0b\0", "root\0item\0", "html\0body\0p\0", "item\0", "a\0b\0c\0d\0", ""};
const uint32_t kCodePages[] = {0, 65001, 65000, 932, 1252, 20127, 51932, 12345, 1200};

enum { kSlots = 6 };

// Calls one program makes at most. Faults of the call sequences show within
// a few dozen calls over small documents; a longer program mostly repeats
// them, costs an invariant check of every document after each call, and
// gives each mutation less to change.
enum { kMaxSteps = 100 };

// Largest document an insertion may make. An insertion copies a whole list
// or subtree, so a program that inserts a document into itself doubles it
// each time: without a bound a few dozen calls outgrow memory, and every
// check after them walks the whole document. Ten times the samples' size is
// room enough for every shape the calls make.
enum { kMaxInsertNodes = 1000 };

struct State {
  SG_CURSOR slots[kSlots] = {};
  Program *program = nullptr;
  std::string filePath;

  SG_CURSOR Pick() {
    uint8_t b = program->Byte();
    for (int i = 0; i < kSlots; ++i) {
      SG_CURSOR c = slots[(b + i) % kSlots];
      if (c) return c;
    }
    return nullptr;
  }
  int FreeSlot() {
    for (int i = 0; i < kSlots; ++i)
      if (!slots[i]) return i;
    return -1;
  }
  void Adopt(SG_CURSOR c) {
    if (!c) return;
    int i = FreeSlot();
    if (i < 0) {
      sgCloseXML(c);  // no room: an application would close it too
      return;
    }
    slots[i] = c;
  }
  void Release(SG_CURSOR c, bool remove) {
    for (int i = 0; i < kSlots; ++i)
      if (slots[i] == c) slots[i] = nullptr;
    if (remove)
      sgDeleteXML(c);
    else
      sgCloseXML(c);
  }
  void Verify() { Check(slots, kSlots); }
};

// Nodes of the document `cursor` stands in, counted up to just past `limit`
// (a walk in document order through the links, without recursion).
size_t CountNodes(SG_CURSOR cursor, size_t limit) {
  const Node *root = &AsCursor(cursor)->document->root;
  const Node *head = root;  // head of the list being walked
  const Node *from = root;  // the record whose next link is followed
  size_t count = 0;
  while (count <= limit) {
    const Node *node = from->next;
    if (node == head) {
      if (head == root) break;
      from = head->child;  // the list's owner: go on after it
      head = from->parent;
      continue;
    }
    ++count;
    if (node->child) {
      head = node->child;
      from = head;
    } else {
      from = node;
    }
  }
  return count;
}

// True when `node` is `element` or lies below it.
bool Within(const Node *node, const Node *element) {
  for (const Node *x = node; x; x = NodeIsListHead(x) ? x->child : x->parent) {
    if (x == element) return true;
  }
  return false;
}

// The application's side of the contract: deleting an element while another
// cursor stands in it (or has its base in it) leaves that cursor dangling,
// as closing a file under an open handle would. The sequence never does it.
bool OthersStandIn(const State &s, SG_CURSOR self, const Node *element) {
  for (SG_CURSOR h : s.slots) {
    if (!h || h == self) continue;
    const Cursor *c = AsCursor(h);
    if (Within(c->base, element) || Within(c->list, element) || Within(c->current, element))
      return true;
  }
  return false;
}

WString Wide(const std::string &narrow) {
  WString w;
  for (unsigned char ch : narrow) w.push_back(static_cast<SG_WCHAR>(ch < 0x80 ? ch : 0x3000 + ch));
  return w;
}

uint32_t SG_CALL ScanProc(SG_CURSOR cursor, uint32_t depth, uint32_t phase, intptr_t user) {
  Program *program = reinterpret_cast<Program *>(user);
  volatile const SG_WCHAR *name = sgGetNameW(cursor);
  (void)name;
  (void)depth;
  (void)phase;
  uint8_t b = program->Byte();
  return b < 200 ? 0u : static_cast<uint32_t>(b & 15);
}

SG_NOTE PickNote(State &s, SG_CURSOR c) {
  uint32_t n = sgNoteGetCount(c);
  return n ? sgNoteGetByIndex(c, s.program->Byte() % n) : nullptr;
}

void RunOne(State &s) {
  Program &p = *s.program;
  const uint8_t op = p.Byte() % 40;
  SG_CURSOR c = s.Pick();
  if (!c) {
    s.Adopt(sgParseXMLA(kSamples[op % 4], 0xFFFFFFFFu));
    return;
  }
  const char *name = kNames[p.Byte() % (sizeof kNames / sizeof kNames[0])];
  volatile uintptr_t sink = 0;
  switch (op) {
    case 0: case 1: case 2:
      sgMoveTo(c, p.Byte() % 15);
      break;
    case 3: {
      SG_CURSOR other = s.Pick();
      uint32_t id = 0;
      if (other) sgGetNodeID(other, &id);
      sgSeek(c, (p.Byte() & 1) ? id : p.U32());
      break;
    }
    case 4:
      sink += sgSetLevel(c, static_cast<int8_t>(p.Byte()));
      sink += sgSetIndex(c, p.Byte() % 8);
      break;
    case 5: {
      uint8_t b = p.Byte();
      uint32_t mode = b % 12;
      if (mode >= SG_SEARCH_PATH_FIRST) {
        const char *path = kPaths[p.Byte() % (sizeof kPaths / sizeof kPaths[0])];
        if (b & 0x80)
          sgSearchIndexA(c, path, mode, static_cast<int8_t>(p.Byte()) % 4);
        else
          sgSearchA(c, path, mode);
      } else if (b & 0x40) {
        sgSearchIndexW(c, Wide(name).c_str(), mode, static_cast<int8_t>(p.Byte()) % 4);
      } else {
        sgSearchA(c, name, mode);
      }
      break;
    }
    case 6:
      sgSetBase(c, p.Byte() & 1);
      break;
    case 7:
      sgScanTree(c, ScanProc, reinterpret_cast<intptr_t>(&p));
      break;
    case 8: {
      if (const SG_WCHAR *t = sgGetInnerTextW(c)) sink += t[0];
      if (const char *t = sgGetInnerTextA(c)) sink += static_cast<unsigned char>(t[0]);
      if (const char *t = sgGetNameA(c)) sink += static_cast<unsigned char>(t[0]);
      if (const SG_WCHAR *t = sgGetAfterStrW(c)) sink += t[0];
      uint32_t length = 0;
      if (const SG_WCHAR *t = sgGetTagSrc(c, &length)) sink += length ? t[length - 1] : 0;
      sink += sgGetLevel(c) + sgGetIndex(c) + sgGetChildCount(c) + sgTagIndex(c) +
              sgIsEmptyList(c) + sgGetTagPos(c, p.Byte() % 4) + sgGetTagCount(c);
      break;
    }
    case 9: {
      uint32_t n = sgGetAttribCount(c);
      int32_t i = static_cast<int32_t>(p.Byte() % (n + 2)) - 1;
      if (const char *v = sgGetAttribValueA(c, i)) sink += static_cast<unsigned char>(v[0]);
      if (const SG_WCHAR *v = sgGetAttribNameW(c, i)) sink += v[0];
      sink += sgGetAttribIntA(c, name, 7) + sgGetAttribDWordW(c, Wide(name).c_str(), 9) +
              sgDoesAttribExistA(c, name) + sgGetAttribPosA(c, name, p.Byte() % 3);
      if (const char *v = sgGetAttribStringA(c, name, "dflt")) sink += static_cast<unsigned char>(v[0]);
      break;
    }
    case 10: {
      std::string value = p.Chunk(12);
      switch (p.Byte() % 6) {
        case 0: sgSetAttribA(c, name, (p.Byte() & 1) ? value.c_str() : nullptr); break;
        case 1: sgSetAttribStringW(c, Wide(name).c_str(), Wide(value).c_str()); break;
        case 2: sgSetAttribIntA(c, name, p.U32()); break;
        case 3: sgSetAttribDWordW(c, Wide(name).c_str(), p.U32()); break;
        case 4: sgAttribPrintFA(c, name, "%d-%s-%x", static_cast<int>(p.Byte()), value.c_str(), 255u); break;
        default: sgDeleteAttribA(c, name); break;
      }
      break;
    }
    case 11: case 12: {
      uint32_t childList = p.Byte() & 1;
      switch (p.Byte() % 7) {
        case 0: sgAddNodeA(c, name, childList); break;
        case 1: sgAddNode2W(c, Wide(name).c_str(), childList, p.Byte() % 9); break;
        case 2: sgInsertNodeBeforeA(c, (p.Byte() & 1) ? name : nullptr, childList); break;
        case 3: sgInsertNodeAfterW(c, Wide(name).c_str(), childList); break;
        case 4: sgAddChildNodeA(c, name, childList); break;
        case 5: sgAddNodePathA(c, kPaths[p.Byte() % (sizeof kPaths / sizeof kPaths[0])], p.Byte() & 1); break;
        default: sgAddNode2A(c, nullptr, childList, SG_KIND_COMMENT); break;
      }
      break;
    }
    case 13: {
      std::string text = p.Chunk(16);
      const bool absent = p.Byte() & 1;
      if (p.Byte() & 1)
        // A length in bytes never runs past the text's terminator: the
        // setter converts exactly that many bytes, as the caller promised.
        sgSetInnerStrA(c, absent ? nullptr : text.c_str(),
                       static_cast<int32_t>(p.Byte() % (text.size() + 2)) - 1);
      else
        sgSetAfterStrW(c, absent ? nullptr : Wide(text).c_str(), -1);
      break;
    }
    case 14: case 15: {
      const Cursor *rec = AsCursor(c);
      if (CursorHasSelection(rec) && OthersStandIn(s, c, rec->current)) break;
      sgDeleteNode(c);
      break;
    }
    case 16:
      sgMoveNode(c, p.Byte() % 4);
      break;
    case 17: case 18: {
      SG_CURSOR source = s.Pick();
      if (!source) break;
      const uint32_t place = p.Byte() % 5;
      // What is copied is at most the source's whole document.
      if (CountNodes(c, kMaxInsertNodes) + CountNodes(source, kMaxInsertNodes) <= kMaxInsertNodes)
        sgInsertTree(c, source, place);
      break;
    }
    case 19:
      s.Adopt(sgCopyTree(c));
      break;
    case 20:
      s.Adopt(sgDupXML(c));
      break;
    case 21:
      s.Release(c, p.Byte() & 1);
      break;
    case 22: {
      SG_NOTE note = (p.Byte() & 1) ? sgCreateNoteA(c, name) : sgCreateNoteW(c, nullptr);
      if (note) sgNoteAddStrA(note, name, p.Chunk(8).c_str());
      break;
    }
    case 23: case 24: {
      SG_NOTE note = PickNote(s, c);
      if (!note) break;
      std::string text = p.Chunk(10);
      switch (p.Byte() % 4) {
        case 0: sgNoteAddStrW(note, Wide(name).c_str(), Wide(text).c_str()); break;
        case 1: sgNoteAddStrLnA(note, (p.Byte() & 1) ? name : nullptr, text.c_str()); break;
        case 2: sgNotePrintFA(note, name, "%s=%d", text.c_str(), static_cast<int>(p.Byte())); break;
        default: sgNoteAddStrA(note, nullptr, nullptr); break;
      }
      break;
    }
    case 25: {
      // A reference from a note of this cursor to where another cursor
      // (maybe on another document) stands.
      SG_NOTE note = PickNote(s, c);
      SG_CURSOR target = s.Pick();
      if (note && target) sgNoteSetReferenceNode(note, target);
      break;
    }
    case 26: {
      SG_NOTE note = PickNote(s, c);
      if (!note) break;
      switch (p.Byte() % 4) {
        case 0: if (const SG_WCHAR *t = sgNoteGetStrW(note)) sink += t[0]; break;
        case 1: if (const char *t = sgNoteGetStrA(note)) sink += static_cast<unsigned char>(t[0]); break;
        case 2: if (const SG_WCHAR *t = sgNoteGetStrListW(note)) sink += t[0]; break;
        default: if (const char *t = sgNoteGetStrListA(note)) sink += static_cast<unsigned char>(t[0]); break;
      }
      sink += sgNoteGetPosA(note, name);
      break;
    }
    case 27: {
      SG_NOTE note = PickNote(s, c);
      if (!note) break;
      s.Adopt(sgNoteGetReferenceNode(note, static_cast<int8_t>(p.Byte()), p.Byte() % 5 | ((p.Byte() & 1) << 8)));
      SG_CURSOR other = s.Pick();
      if (other) sink += sgNoteSearchReferenceNode(note, other);
      break;
    }
    case 28: {
      SG_NOTE note = PickNote(s, c);
      if (!note) break;
      switch (p.Byte() % 4) {
        case 0: sgNoteSetAttribA(note, name, (p.Byte() & 1) ? p.Chunk(6).c_str() : nullptr); break;
        case 1: sgNoteDeleteAttribW(note, Wide(name).c_str()); break;
        case 2: if (const char *v = sgNoteGetAttribA(note, name)) sink += static_cast<unsigned char>(v[0]); break;
        default: sink += sgNoteDoesAttribExistA(note, name); break;
      }
      break;
    }
    case 29:
      sgDeleteNote(PickNote(s, c));
      break;
    case 30: {
      if (const SG_NOTE note = sgNoteGetByNameA(c, name)) sink += sgNoteGetPosW(note, Wide(name).c_str());
      break;
    }
    case 31: {
      const uint32_t cp = kCodePages[p.Byte() % (sizeof kCodePages / sizeof kCodePages[0])];
      sgSaveAsA(c, s.filePath.c_str(), cp);
      break;
    }
    case 32:
      sgFlushXML(c);
      break;
    case 33: {
      const uint32_t cp = kCodePages[p.Byte() % (sizeof kCodePages / sizeof kCodePages[0])];
      if (p.Byte() & 1)
        FreeOuter(sgGetOuterXMLW(c));
      else
        FreeOuter(sgGetOuterXMLA(c, cp));
      break;
    }
    case 34: {
      std::string text = p.Chunk(60);
      if (p.Byte() & 1)
        s.Adopt(sgParseXMLA(text.data(), static_cast<uint32_t>(text.size())));
      else
        s.Adopt(sgParseXMLW(Wide(text).c_str(), 0xFFFFFFFFu));
      break;
    }
    case 35:
      // Open what an earlier save wrote (if anything): its close may write
      // back to the same file.
      s.Adopt(sgOpenXMLA(s.filePath.c_str()));
      break;
    case 36:
      s.Adopt(sgCreateXMLA((p.Byte() & 1) ? s.filePath.c_str() : nullptr,
                           kCodePages[p.Byte() % 4], p.Byte() % 3));
      break;
    case 37: {
      std::string text = p.Chunk(12);
      switch (p.Byte() % 6) {
        case 0: if (const char *t = sgToMBStr(Wide(text).c_str())) sink += static_cast<unsigned char>(t[0]); break;
        case 1: if (const SG_WCHAR *t = sgToWCStr(text.c_str())) sink += t[0]; break;
        case 2: if (const SG_WCHAR *t = sgToNormalStrTemp16W(Wide(text).c_str())) sink += t[0]; break;
        case 3: if (const char *t = sgToNormalStrTemp16A(text.c_str())) sink += static_cast<unsigned char>(t[0]); break;
        case 4: if (const char *t = sgToQuoteStrTemp16A(text.c_str())) sink += static_cast<unsigned char>(t[0]); break;
        default: sgSetTextConvFlag(p.Byte(), 1); break;
      }
      break;
    }
    case 38:
      sgSetXMLFlag(c, p.Byte() % 3);
      sgSetUpdateFlag(c, p.Byte() & 1);
      break;
    default: {
      std::string text = p.Chunk(8);
      sgSetInnerStrW(c, Wide(text).c_str(), -1);
      if (const SG_WCHAR *src = sgGetSrcXML(c)) sink += src[0];
      break;
    }
  }
  (void)sink;
}

}  // namespace

int ApiSequence(const uint8_t *data, size_t size) {
  RingSettler settle;
  Program program(data, size);
  State s;
  s.program = &program;
  s.filePath = ScratchFile("seq.xml");
  std::remove(s.filePath.c_str());
  // Two documents to start from: samples, or a text taken from the program.
  uint8_t first = program.Byte();
  std::string text = program.Chunk(80);
  s.slots[0] = sgParseXMLA(kSamples[first % 5], 0xFFFFFFFFu);
  s.slots[1] = (first & 0x80) ? sgParseXMLA(text.data(), static_cast<uint32_t>(text.size()))
                              : sgParseXMLA(kSamples[(first >> 3) % 5], 0xFFFFFFFFu);
  s.Verify();
  for (int step = 0; step < kMaxSteps && !program.Done(); ++step) {
    RunOne(s);
    s.Verify();
  }
  // Close in an order the program chooses.
  uint8_t order = program.Byte();
  for (int i = 0; i < kSlots; ++i) {
    int k = (i + order) % kSlots;
    if (s.slots[k]) s.Release(s.slots[k], (order >> (k % 8)) & 1);
    s.Verify();
  }
  sgSetTextConvFlag(0, 0xFFFFFFFFu);
  std::remove(s.filePath.c_str());
  return 0;
}

// ---- exact_edits -------------------------------------------------------------

namespace {

// Every node of the document in document order.
std::vector<Node *> NodesInOrder(Document *document) {
  std::vector<Node *> nodes;
  Node *root = &document->root;
  Node *node = root->next == root ? nullptr : root->next;
  while (node) {
    nodes.push_back(node);
    if (node->child && node->child->next != node->child) {
      node = node->child->next;
      continue;
    }
    while (node && NodeIsListHead(node->next)) node = NodeOwner(node->next);
    node = node ? node->next : nullptr;
  }
  return nodes;
}

// The original bytes of text positions [a, b), or false without exact offsets.
bool BytesOf(const ExactDocument *x, int32_t a, int32_t b, std::string *out) {
  const int64_t from = ExactByteOf(x, a), to = ExactByteOf(x, b);
  if (from < 0 || to < from) return false;
  out->assign(x->bytes + from, static_cast<size_t>(to - from));
  return true;
}

const char *const kEditLabels[] = {nullptr, "utf-8", "windows-1252", "shift_jis", "euc-kr", "utf-16le", "gb18030", nullptr};
const char *const kEditNames[] = {"a", "href", "id", "class", "x:y", "data-v", "lang", "b"};
const char *const kEditValues[] = {"", "v", "two words", "q\"uote'", "caf\xC3\xA9", "\xE6\x97\xA5\xE6\x9C\xAC",
                               "a&amp;b<c>", "\xF0\x9F\x98\x80"};

}  // namespace

int ExactEdits(const uint8_t *data, size_t size) {
  RingSettler settle;
  if (size < 1) return 0;
  // Header: edit count (low 3 bits), label (next 3), save to a file, force.
  const uint8_t header = data[0];
  const size_t ops = header & 7u;
  if (size < 1 + 3 * ops) return 0;
  const uint8_t *program = data + 1;
  const uint8_t *file = program + 3 * ops;
  const size_t fileSize = size - 1 - 3 * ops;
  const char *label = kEditLabels[(header >> 3) & 7u];
  const bool toFile = (header & 0x40) != 0, force = (header & 0x80) != 0;

  SX_ERROR error;
  SG_CURSOR c = sxParse(file, fileSize, label, &error);
  if (!c) {
    if (error.code != SX_ERR_ENCODING && error.code != SX_ERR_MEMORY) Fail("sxParse failed", error.message);
    return 0;
  }
  CheckOne(c);
  ExactDocument *x = ExactOf(c);
  Document *document = AsCursor(c)->document;
  // What must survive: the bytes before the first node, after the last, and
  // the whole subtree of every node that no edit reached (its own bytes and
  // those of every node below it), when pieces have exact byte offsets.
  const std::vector<Node *> original = NodesInOrder(document);
  const size_t count = original.size();
  std::vector<size_t> parentOf(count, SIZE_MAX), endOf(count, 0);  // pre-order ranges
  std::vector<std::string> subtree(count);
  std::vector<bool> known(count, false), touched(count, false), gone(count, false);
  std::string lead, tail;
  bool exact = x->mapped && ExactByteOf(x, x->leadEnd) >= 0;
  if (exact) {  // from the first byte: a byte-order mark comes first
    lead.assign(x->bytes, static_cast<size_t>(ExactByteOf(x, x->leadEnd)));
    int64_t t = ExactByteOf(x, x->tailStart);
    exact = t >= 0;
    if (exact) tail.assign(x->bytes + t, x->size - static_cast<size_t>(t));
  }
  {
    std::vector<size_t> open;
    for (size_t i = 0; i < count; ++i) {
      Node *n = original[i];
      while (!open.empty() && n->parent != original[open.back()]->child) endOf[open.back()] = i, open.pop_back();
      parentOf[i] = open.empty() ? SIZE_MAX : open.back();
      open.push_back(i);
      const SourceSpan *span = ExactSpanOf(x, n);
      known[i] = exact && span && BytesOf(x, n->srcStart, span->subtreeEnd, &subtree[i]);
    }
    for (size_t i : open) endOf[i] = count;
  }
  auto indexOf = [&](const Node *n) -> size_t {
    for (size_t i = 0; i < count; ++i)
      if (original[i] == n) return i;
    return SIZE_MAX;  // made by the program
  };
  auto touchUp = [&](size_t i) {
    for (; i != SIZE_MAX; i = parentOf[i]) touched[i] = true;
  };
  auto touchNode = [&](const Node *n) {  // n, or the closest original node above it
    while (n && indexOf(n) == SIZE_MAX) n = n->parent ? NodeOwner(n->parent) : nullptr;
    if (n) touchUp(indexOf(n));
  };
  auto forget = [&](const Node *n) {  // deleted or moved: none of its subtree is looked for
    size_t i = indexOf(n);
    if (i != SIZE_MAX)
      for (size_t j = i; j < endOf[i]; ++j) gone[j] = true;
    touchNode(n);
  };

  Cursor *cursor = AsCursor(c);
  for (size_t k = 0; k < ops; ++k) {
    const uint8_t op = program[3 * k], pick = program[3 * k + 1], arg = program[3 * k + 2];
    std::vector<Node *> nodes = NodesInOrder(document);
    if (nodes.empty()) break;
    Node *node = nodes[pick % nodes.size()];
    // Stand the cursor on the node.
    cursor->base = &document->root;
    cursor->list = node->parent;
    cursor->current = node;
    const char *name = kEditNames[arg & 7u], *value = kEditValues[(arg >> 3) & 7u];
    Node *owner = node->parent && node->parent != &document->root ? NodeOwner(node->parent) : nullptr;
    switch (op % 8) {
      case 0: touchNode(node); sgSetAttribA(c, name, value); break;
      case 1: {
        const char *first = sgGetAttribNameA(c, 0);
        touchNode(node);
        sgDeleteAttribA(c, (arg & 0x80) && first ? first : name);
        break;
      }
      case 2: touchNode(node); sgSetInnerStrA(c, value, -1); break;
      case 3: touchNode(node); sgSetAfterStrA(c, value, -1); break;
      case 4:  // a new sibling: the node itself stays as it was
        touchNode(owner);
        if (arg & 0x40) sgInsertNodeBeforeA(c, name, arg >> 7); else sgInsertNodeAfterA(c, name, arg >> 7);
        break;
      case 5: forget(node); sgDeleteNode(c); break;
      case 6: touchNode(node); sgAddChildNodeA(c, name, 0); break;
      default:  // moved: its subtree comes out elsewhere in the order
        forget(node);
        sgMoveNode(c, (arg & 1) ? SG_MOVENODE_FIRST : SG_MOVENODE_LAST);
        break;
    }
    CheckOne(c);
  }

  void *bytes = nullptr;
  size_t n = 0;
  if (!sxRender(c, nullptr, force ? SX_SAVE_FORCE : 0, &bytes, &n, &error)) {
    if (error.code != SX_ERR_LOSSY && error.code != SX_ERR_MEMORY) Fail("sxRender failed", error.message);
    if (force && error.code == SX_ERR_LOSSY) Fail("forced render refused", error.message);
    if (ops == 0) Fail("unedited render failed", error.message);
    sgDeleteXML(c);
    return 0;
  }
  const std::string out(static_cast<const char *>(bytes), n);
  sxFree(bytes);
  if (ops == 0 && out != std::string(reinterpret_cast<const char *>(file), fileSize))
    Fail("unedited render differs from the input", nullptr);
  if (exact && ops > 0) {
    if (out.compare(0, lead.size(), lead) != 0) Fail("bytes before the first node changed", nullptr);
    if (out.size() < lead.size() + tail.size() || out.compare(out.size() - tail.size(), tail.size(), tail) != 0)
      Fail("bytes after the last node changed", nullptr);
    // The untouched subtrees whose parent was touched (or that stand at the
    // top) are disjoint and in document order: each must come out whole, in
    // that order.
    size_t at = lead.size();
    for (size_t i = 0; i < count; ++i) {
      if (touched[i] || gone[i] || !known[i] || (parentOf[i] != SIZE_MAX && !touched[parentOf[i]])) continue;
      size_t found = out.find(subtree[i], at);
      if (found == std::string::npos || found + subtree[i].size() > out.size() - tail.size())
        Fail("an untouched subtree lost its bytes", subtree[i].substr(0, 60).c_str());
      at = found + subtree[i].size();
    }
  }
  if (toFile) {
    const std::string path = ScratchFile("exact.out");
    if (!sxSave(c, path.c_str(), nullptr, force ? SX_SAVE_FORCE : 0, &error)) Fail("sxSave failed after sxRender", error.message);
    if (ReadWhole(path) != out) Fail("saved file differs from the rendering", nullptr);
    std::remove(path.c_str());
  }
  sgDeleteXML(c);
  return 0;
}

Harness FindHarness(const std::string &name) {
  if (name == "parse_narrow") return ParseNarrow;
  if (name == "open_file") return OpenFile;
  if (name == "parse_wide") return ParseWide;
  if (name == "round_trip") return RoundTrip;
  if (name == "api_sequence") return ApiSequence;
  if (name == "exact_edits") return ExactEdits;
  return nullptr;
}

}  // namespace sprig_fuzz
