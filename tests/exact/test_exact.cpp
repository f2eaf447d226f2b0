// The editing layer end to end through include/sprig_exact.h: byte-exact
// round trips over the whole corpus, one-attribute edits, pages encoded by
// iconv, whole-file reading, and the failures of a save.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>
#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <functional>
#include <string>
#include <vector>

#include "sprig_exact.h"
#include "support.h"

using namespace sprig_test;

namespace {

struct Doc {
  SG_CURSOR c = nullptr;
  SX_ERROR error{};
  explicit Doc(const std::string &path, const char *encoding = nullptr) { c = sxOpen(path.c_str(), encoding, &error); }
  Doc(const std::string &bytes, const char *encoding, bool) {
    c = sxParse(bytes.data(), bytes.size(), encoding, &error);
  }
  ~Doc() { if (c) sgCloseXML(c); }
  std::string Render(const char *encoding = nullptr, uint32_t flags = 0) {
    void *bytes = nullptr;
    size_t size = 0;
    if (!sxRender(c, encoding, flags, &bytes, &size, &error)) return "<render failed>";
    std::string out(static_cast<char *>(bytes), size);
    sxFree(bytes);
    return out;
  }
};

std::vector<std::string> CorpusPages() {
  std::vector<std::string> files = CorpusFiles("html");
  for (const std::string &encoding : CorpusFeedEncodings())
    for (const std::string &f : CorpusFiles("feeds/" + encoding)) files.push_back(f);
  return files;
}

// Sets the first named attribute with a value (the first element that has one).
uint32_t SG_CALL EditFirstAttribute(SG_CURSOR cursor, uint32_t, uint32_t phase, intptr_t edited) {
  for (int32_t i = 0; phase == 0 && i < static_cast<int32_t>(sgGetAttribCount(cursor)); ++i) {
    const SG_WCHAR *name = sgGetAttribNameW(cursor, i);
    if (!name || !name[0] || !sgGetAttribValueW(cursor, i)) continue;
    *reinterpret_cast<bool *>(edited) = sgSetAttribW(cursor, WString(name).c_str(), Utf16("Q7Z~").c_str());
    return SG_SCAN_STOP;
  }
  return 0;
}

uint32_t SG_CALL CountElements(SG_CURSOR cursor, uint32_t, uint32_t phase, intptr_t user) {
  const SG_WCHAR *name = sgGetNameW(cursor);
  if (phase == 0 && name && Utf8(name) == "a") ++*reinterpret_cast<int *>(user);
  return 0;
}

TEST(ExactCorpus, UneditedRoundTripIsByteExactAndOneAttributeEditChangesOnlyItsValue) {
  std::vector<std::string> files = CorpusPages();
  ASSERT_GT(files.size(), 20u);
  size_t edits = 0;
  for (const std::string &file : files) {
    SCOPED_TRACE(file);
    std::string original = ReadFileBytes(file);
    Doc doc(file);
    ASSERT_TRUE(doc.c) << doc.error.message;
    EXPECT_EQ(original, doc.Render());
    bool edited = false;
    sgScanTree(doc.c, EditFirstAttribute, reinterpret_cast<intptr_t>(&edited));
    if (!edited) continue;  // a text feed: nothing to edit
    ++edits;
    std::string saved = doc.Render();
    size_t p = 0, s = 0;
    while (p < original.size() && p < saved.size() && original[p] == saved[p]) ++p;
    while (s < original.size() - p && s < saved.size() - p &&
           original[original.size() - 1 - s] == saved[saved.size() - 1 - s])
      ++s;
    std::string removed = original.substr(p, original.size() - p - s);
    std::string added = saved.substr(p, saved.size() - p - s);
    EXPECT_EQ(std::string::npos, removed.find_first_of("<>=")) << removed;
    std::string bare;
    for (char ch : added) if (ch != '"') bare += ch;
    EXPECT_EQ("Q7Z~", bare) << added;
  }
  EXPECT_GT(edits, files.size() / 2);
}

TEST(ExactWhole, PagesWhoseCoreReadStopsEarlyAreReadWhole) {
  // A stray end tag and a stray '<' at the top level, text before the first tag.
  const std::string page = "lead </p> <x <html><a href=1>one</a></div><a>two</a></html>\n<= <a>three</a>";
  Doc doc(page, nullptr, true);
  ASSERT_TRUE(doc.c);
  int links = 0;
  sgScanTree(doc.c, CountElements, reinterpret_cast<intptr_t>(&links));
  EXPECT_EQ(3, links);
  EXPECT_EQ(page, doc.Render());
  // A real page: every link of engadget.html.
  Doc engadget(CorpusPath("html/engadget.html"));
  ASSERT_TRUE(engadget.c);
  links = 0;
  sgScanTree(engadget.c, CountElements, reinterpret_cast<intptr_t>(&links));
  EXPECT_EQ(181, links);
}

// Pages in other encodings, made with the iconv program (encoded_pages.h,
// by make_encoded_pages.py), so that every platform checks the same bytes.
struct EncodedPage {
  const char *iconvName;
  uint32_t codePage, source;
  const char *body;
  const char *page;
  size_t pageSize;
  const char *edited;
  size_t editedSize;
};
#include "encoded_pages.h"

TEST(ExactEncodings, DetectedEditedAndSavedAsIconvEncodesThem) {
  for (const EncodedPage &c : kEncodedPages) {
    SCOPED_TRACE(c.iconvName);
    TempDir dir;
    std::string path = dir.WriteFile("page.html", std::string(c.page, c.pageSize));
    Doc doc(path);
    ASSERT_TRUE(doc.c) << doc.error.message;
    EXPECT_EQ(c.codePage, sxGetCodePage(doc.c));
    EXPECT_EQ(c.source, sxGetEncodingSource(doc.c));
    ASSERT_EQ(1, sgSearchW(doc.c, Utf16("p").c_str(), SG_SEARCH_FIRST));
    EXPECT_EQ(c.body, Utf8(sgGetInnerStrW(doc.c)));
    sgSetInnerStrW(doc.c, Utf16(std::string(c.body) + "!").c_str(), -1);
    ASSERT_EQ(1, sxSave(doc.c, nullptr, nullptr, 0, &doc.error)) << doc.error.message;
    EXPECT_EQ(std::string(c.edited, c.editedSize), ReadFileBytes(path));
  }
}

TEST(ExactEncodings, DecidedInOrderWithInvalidUtf8FallingBackToAnsi) {
  struct Case {
    std::string bytes;
    const char *label;
    uint32_t codePage, source;
    const char *text;  // the p element's inner text as UTF-8
  } cases[] = {
      {"\xEF\xBB\xBF<p>\xC3\xA9</p>", "windows-1252", 65001, SX_FROM_BOM, "\xC3\xA9"},
      {"<meta charset=utf-8><p>\xC3\xA9</p>", "windows-1252", 1252, SX_FROM_CALLER, "\xC3\x83\xC2\xA9"},
      {"<?xml version=\"1.0\" encoding=\"windows-1252\"?><p>\xE9</p>", nullptr, 1252, SX_FROM_DECLARATION, "\xC3\xA9"},
      {"<meta charset=\"windows-1251\"><p>\xE9</p>", nullptr, 1251, SX_FROM_META, "\xD0\xB9"},
      {"<meta charset=\"windows-1255\"><p>\xF9\xEC\xE5\xED \xF2\xE5\xEC\xED</p>", nullptr, 1255, SX_FROM_META,
       "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D \xD7\xA2\xD7\x95\xD7\x9C\xD7\x9D"},
      {"<p>caf\xC3\xA9 \xF0\x9F\x98\x80</p>", nullptr, 65001, SX_FROM_UTF8, "caf\xC3\xA9 \xF0\x9F\x98\x80"},
      {"<p>\x82\xA0</p>", nullptr, 932, SX_FROM_DEFAULT, "\xE3\x81\x82"},
      {std::string("\xFE\xFF\0<\0p\0>\0\xE9\0<\0/\0p\0>", 18), nullptr, 1201, SX_FROM_BOM, "\xC3\xA9"},
      {std::string("\0<\0p\0>\0\xE9\0<\0/\0p\0>", 16), nullptr, 1201, SX_FROM_DECLARATION, "\xC3\xA9"},
      {"<p>\xC3\xA9 long enough for eight-byte steps \xE2\x82\xAC \xF0\x9F\x98\x80</p>", "utf-8", 65001,
       SX_FROM_CALLER, "\xC3\xA9 long enough for eight-byte steps \xE2\x82\xAC \xF0\x9F\x98\x80"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.bytes);
    Doc doc(c.bytes, c.label, true);
    ASSERT_TRUE(doc.c) << doc.error.message;
    EXPECT_EQ(c.codePage, sxGetCodePage(doc.c));
    EXPECT_EQ(c.source, sxGetEncodingSource(doc.c));
    EXPECT_EQ(0u, sxGetInvalidCount(doc.c, nullptr, nullptr));
    ASSERT_EQ(1, sgSearchW(doc.c, Utf16("p").c_str(), SG_SEARCH_FIRST));
    EXPECT_EQ(c.text, Utf8(sgGetInnerStrW(doc.c)));
    EXPECT_EQ(c.bytes, doc.Render());
  }
}

// Edits that change a node's shape are written in the source's own form
// around them: a value given to a bare attribute, an end tag for an empty tag
// that gains a child, a new element at the top level.
TEST(ExactEdits, ShapeChangesAreWrittenInTheSourcesForm) {
  const struct {
    const char *source, *name;
    std::function<int32_t(SG_CURSOR)> edit;
    const char *written;
  } cases[] = {
      {"<p><input  disabled >t</p>", "input", [](SG_CURSOR c) { return sgSetAttribA(c, "disabled", "x"); },
       "<p><input  disabled=\"x\" >t</p>"},
      {"<p><x a='1'/>t</p>", "x", [](SG_CURSOR c) { return sgAddChildNodeA(c, "i", 0); },
       "<p><x a='1'><i></x>t</p>"},  // as the core writes it
      {"<a/>\n", "a", [](SG_CURSOR c) { return sgInsertNodeAfterA(c, "b", 0); }, "<a/>\n<b>"},
  };
  for (const auto &c : cases) {
    Doc doc(std::string(c.source), nullptr, true);
    ASSERT_EQ(1, sgSearchA(doc.c, c.name, SG_SEARCH_FIRST)) << c.source;
    EXPECT_NE(0, c.edit(doc.c)) << c.source;
    EXPECT_EQ(c.written, doc.Render()) << c.source;
  }
}

TEST(ExactEncodings, InvalidBytesAreCountedPlacedAndWrittenBackAsRead) {
  struct Case {
    std::string bytes;
    const char *label;
    uint32_t count, line, column;
  } cases[] = {
      {"<p a=\"1\">a\xFF" "b</p>\n", "utf-8", 1, 1, 11},
      // zero bytes: one stretch, read past (the p behind them is found)
      {std::string("<i>\0\0</i>\n<p a=\"1\">b</p>", 24), "utf-8", 1, 1, 4},
      {std::string("<\0i\0>\0\0\0<\0p\0 \0a\0=\0\"\0001\0\"\0>\0", 26), "utf-16le", 1, 1, 4},
      {"<p a=\"1\">ok</p>\n<i>\xC3(\xE2\x82</i>\xF0", "utf-8", 3, 2, 4},
      {"<p a=\"1\">\xE9t\xE9</p>", "windows-1252", 0, 0, 0},
      // a double-byte run, valid up to a lead byte that has no trail byte
      {"<p a=\"1\">\x82\xA0" "A\x82</p>", "shift_jis", 1, 1, 12},
      {"<p a=\"1\">\xA4\xA2\xA4</p>", "euc-jp", 1, 1, 11},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.bytes);
    Doc doc(c.bytes, c.label, true);
    ASSERT_TRUE(doc.c) << doc.error.message;
    uint32_t line = 0, column = 0;
    EXPECT_EQ(c.count, sxGetInvalidCount(doc.c, &line, &column));
    EXPECT_EQ(c.line, line);
    EXPECT_EQ(c.column, column);
    ASSERT_EQ(1, sgSearchW(doc.c, Utf16("p").c_str(), SG_SEARCH_FIRST));
    sgSetAttribW(doc.c, Utf16("a").c_str(), Utf16("2").c_str());
    std::string expected = c.bytes;
    expected[expected.find('1')] = '2';
    EXPECT_EQ(expected, doc.Render());
  }
}

TEST(ExactSave, LossyEditIsRefusedWithItsPlaceUnlessForced) {
  TempDir dir;
  std::string original = "<html>\n<p title=\"a\">caf\xE9</p></html>";
  std::string path = dir.WriteFile("l.html", original);
  Doc doc(path, "windows-1252");
  ASSERT_TRUE(doc.c);
  ASSERT_EQ(1, sgSearchW(doc.c, Utf16("p").c_str(), SG_SEARCH_FIRST));
  sgSetInnerStrW(doc.c, Utf16("日本").c_str(), -1);
  EXPECT_EQ(0, sxSave(doc.c, nullptr, nullptr, 0, &doc.error));
  EXPECT_EQ(SX_ERR_LOSSY, doc.error.code);
  EXPECT_EQ(2u, doc.error.line);
  EXPECT_NE(std::string::npos, std::string(doc.error.message).find("l.html:2:")) << doc.error.message;
  EXPECT_EQ(original, ReadFileBytes(path));
  EXPECT_EQ(1, sxSave(doc.c, nullptr, nullptr, SX_SAVE_FORCE, &doc.error));
  EXPECT_EQ("<html>\n<p title=\"a\">?\?</p></html>", ReadFileBytes(path));
  // Another encoding re-encodes everything and relabels the declaration.
  Doc xml(std::string("<?xml version=\"1.0\" encoding=\"utf-8\"?><r a='1'>\xC3\xA9</r>"), nullptr, true);
  EXPECT_EQ("<?xml version=\"1.0\" encoding=\"windows-1252\"?><r a='1'>\xE9</r>", xml.Render("windows-1252"));
  // A label tag written from the tree (an attribute added) is relabelled too.
  Doc page(std::string("<meta http-equiv=Content-Type content='text/html; charset=utf-8'><p>\xC3\xA9</p>"), nullptr, true);
  ASSERT_EQ(1, sgSearchW(page.c, Utf16("meta").c_str(), SG_SEARCH_FIRST));
  sgSetAttribW(page.c, Utf16("id").c_str(), Utf16("m").c_str());
  EXPECT_EQ("<meta http-equiv=Content-Type content='text/html; charset=windows-1252' id=\"m\"><p>\xE9</p>",
            page.Render("windows-1252"));
}

TEST(ExactSave, FailuresLeaveTheOriginalUntouchedAndSayWhy) {
  TempDir dir;
  const std::string original = "<a href=\"x\">t</a>";
  std::string path = dir.WriteFile("f.html", original);
  Doc doc(path);
  ASSERT_TRUE(doc.c);
  sgSearchW(doc.c, Utf16("a").c_str(), SG_SEARCH_FIRST);
  sgSetAttribW(doc.c, Utf16("href").c_str(), Utf16("y").c_str());
  SX_ERROR e{};
  EXPECT_EQ(0, sxSave(doc.c, (dir.path() + "/missing/f.html").c_str(), nullptr, 0, &e));
  EXPECT_EQ(SX_ERR_NOT_FOUND, e.code) << e.message;
  EXPECT_NE(std::string::npos, std::string(e.message).find("missing")) << e.message;
  Doc none(dir.File("nothing.html"));
  EXPECT_EQ(SX_ERR_NOT_FOUND, none.error.code);
  Doc folder(dir.path());
  EXPECT_EQ(SX_ERR_NOT_REGULAR, folder.error.code);
#ifndef _WIN32
  std::string fifo = dir.File("fifo");
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
  Doc pipe(fifo);  // must not block
  EXPECT_EQ(SX_ERR_NOT_REGULAR, pipe.error.code);
  EXPECT_EQ(0, sxSave(doc.c, fifo.c_str(), nullptr, 0, &e));
  EXPECT_EQ(SX_ERR_NOT_REGULAR, e.code);
  // Through a symlink: the file it names is written, the link stays a link.
  std::string link = dir.File("link.html");
  ASSERT_EQ(0, symlink("f.html", link.c_str()));
  chmod(path.c_str(), 0640);
  ASSERT_EQ(1, sxSave(doc.c, link.c_str(), nullptr, SX_SAVE_NO_SYNC, &e)) << e.message;
  struct stat info;
  ASSERT_EQ(0, lstat(link.c_str(), &info));
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  ASSERT_EQ(0, stat(path.c_str(), &info));
  EXPECT_EQ(0640u, info.st_mode & 0777u);
  EXPECT_EQ("<a href=\"y\">t</a>", ReadFileBytes(path));
  WriteFileBytes(path, original);
  // A full disk: the write fails in a child limited to 4 bytes of file size.
  pid_t child = fork();
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = {4, 4};
    setrlimit(RLIMIT_FSIZE, &limit);
    SX_ERROR ce{};
    _exit(sxSave(doc.c, nullptr, nullptr, 0, &ce) == 0 && ce.code == SX_ERR_IO && strstr(ce.message, "write") ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(original, ReadFileBytes(path));
  // A folder the user may not write to (unprivileged: root may write anywhere).
  chmod(dir.path().c_str(), 0555);
  int refused = RunUnprivileged([&] {
    SX_ERROR ue{};
    return sxSave(doc.c, nullptr, nullptr, 0, &ue) == 0 && ue.code == SX_ERR_IO && ue.osError != 0;
  });
  if (getuid() != 0) {
    SX_ERROR ue{};
    refused = sxSave(doc.c, nullptr, nullptr, 0, &ue) == 0 && ue.code == SX_ERR_IO;
  }
  chmod(dir.path().c_str(), 0755);
  EXPECT_EQ(1, refused);
  EXPECT_EQ(original, ReadFileBytes(path));
#endif
  // Arguments and encodings refused, each with its code and message.
  void *bytes = nullptr;
  size_t size = 0;
  const struct {
    std::function<bool()> refused;
    int32_t code;
    const char *message;
  } refusals[] = {
      {[&] { return sxSave(nullptr, nullptr, nullptr, 0, &e) == 0; }, SX_ERR_ARGUMENT, ""},
      {[&] { return !sxOpen(path.c_str(), "no-such-encoding", &e); }, SX_ERR_ENCODING,
       "unknown or unsupported encoding 'no-such-encoding'"},
      {[&] { return !sxOpen(nullptr, nullptr, &e); }, SX_ERR_ARGUMENT, "sxOpen: no path"},
      {[&] { return !sxOpen("", nullptr, &e); }, SX_ERR_ARGUMENT, "sxOpen: no path"},
      {[&] { return !sxParse(nullptr, 4, nullptr, &e); }, SX_ERR_ARGUMENT, "sxParse: no bytes"},
      {[&] { return !sxParse("x", size_t{0x80000000u}, nullptr, &e); }, SX_ERR_ARGUMENT,
       "sxParse: more than 2 GiB"},
      {[&] { return sxRender(doc.c, "klingon", 0, &bytes, &size, &e) == 0; }, SX_ERR_ENCODING,
       "unknown or unsupported encoding 'klingon'"},
      {[&] { return sxSave(doc.c, nullptr, "klingon", 0, &e) == 0; }, SX_ERR_ENCODING,
       "unknown or unsupported encoding 'klingon'"},
  };
  for (const auto &r : refusals) {
    EXPECT_TRUE(r.refused()) << r.message;
    EXPECT_EQ(r.code, e.code) << r.message;
    EXPECT_NE(nullptr, strstr(e.message, r.message)) << e.message;
  }
  // A code page chosen by a number without a name is named by it.
  Doc numbered(std::string("<p>\x80</p>"), "cp437", true);
  ASSERT_TRUE(numbered.c) << numbered.error.message;
  EXPECT_STREQ("cp437", sxGetEncodingName(numbered.c));
  EXPECT_EQ(0xFFFFFFFFu, sxGetCodePage(nullptr));
  EXPECT_EQ(932u, sxCodePageOfLabel(" Windows-31J "));
  EXPECT_EQ(1252u, sxCodePageOfLabel("cp1252"));
}

}  // namespace
