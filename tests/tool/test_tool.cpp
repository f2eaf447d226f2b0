// Tests of the sprig tool: each subcommand run through SprigMain (the code of
// the executable) on the bundled sample page and on corpus files, checked
// against facts read off the files by hand; exit statuses; files left
// untouched by failing commands; encoding round trips. The position helpers
// are tested directly.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "cli_text.h"
#include "sprig.h"
#include "sprig_main.h"
#include "support.h"

namespace {

using sprig_test::CorpusPath;
using sprig_test::ReadFileBytes;
using sprig_test::TempDir;

struct Result {
  int status;
  std::string out;
  std::string err;
};

std::string SamplePath() { return sprig_test::NativePath(SPRIG_EXAMPLES_DATA_DIR "/sample.html"); }

std::string ReadBack(std::FILE* file) {
  std::string text;
  std::rewind(file);
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
  std::fclose(file);
  return text;
}

class Tool : public ::testing::Test {
 protected:
  // Runs `sprig args...` with stdout and stderr captured in files.
  Result Run(std::vector<std::string> args) {
    args.insert(args.begin(), "sprig");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    std::FILE* out = std::fopen(streams_.File("out.txt").c_str(), "wb+");
    std::FILE* err = std::fopen(streams_.File("err.txt").c_str(), "wb+");
    EXPECT_TRUE(out != nullptr && err != nullptr);
    int status = SprigMain(static_cast<int>(args.size()), argv.data(), out, err);
    return Result{status, ReadBack(out), ReadBack(err)};
  }

  TempDir dir_;       // files the commands read and write
  TempDir streams_;   // captured output, kept apart so dir_ holds only documents
};

// ---- Reading commands --------------------------------------------------------

TEST_F(Tool, TreeOutlinesSampleWithKindsQuotesAndPositions) {
  Result r = Run({"tree", SamplePath()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "decl DOCTYPE html @1:1\n"
            "element html lang=\"en\" @2:1\n"
            "  element head @3:1\n"
            "    void meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\" @4:1\n"
            "    element title @5:1\n"
            "  element body @7:1\n"
            "    element h1 class=title @8:1\n"
            "    element p @9:1\n"
            // Column 16 counts characters: "Café, ナビ and 🌿 " is 15 of them
            // (17 UTF-16 units, 22 bytes).
            "      element em @10:16\n"
            "    element ul id='links' @11:1\n"
            "      element li @12:3\n"
            "        element a href=\"https://example.org/\" @12:7\n"
            "      element li @13:3\n"
            "        element a href='docs/index.html' title=\"Read the docs\" @13:7\n"
            "      element li @14:3\n"
            "        element a href=news.html @14:7\n"
            "    comment <!-- contact --> @16:1\n"
            "    element p @17:1\n"
            "      element a href=\"mailto:team@example.org\" class=\"mail\" @17:13\n"
            "      void br @17:73\n");
  EXPECT_EQ(r.err, "");
}

TEST_F(Tool, TreeShowsEachAttributeFormAndTagKind) {
  std::string page = dir_.WriteFile(
      "forms.xml", "<?xml version='1.0'?>\n<r>\r\n <p b c='1' d=2 e=\"\" F='x\"y'/><br><Img src=a.png/>\n"
                   "\t<q title=\"line\nbreak\"/></r>");
  Result r = Run({"tree", page});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "pi xml version='1.0' @1:1\n"
            "element r @2:1\n"
            "  empty p b c='1' d=2 e=\"\" F='x\"y' @3:2\n"
            "  void br @3:31\n"
            "  empty Img src=a.png @3:35\n"
            "  empty q title=\"line\\nbreak\" @4:2\n");
}

TEST_F(Tool, TreeOfShiftJisFeedPrintsUtf8AndEscapesLineBreaks) {
  Result r = Run({"tree", CorpusPath("feeds/SHIFT_JIS/10e.org.xml")});
  ASSERT_EQ(r.status, 0) << r.err;
  // The first lines of the file, as read in an editor.
  EXPECT_EQ(r.out.substr(0, r.out.find("element rdf:RDF")),
            "pi xml version=\"1.0\" encoding=\"Shift_JIS\" @1:1\n"
            "comment <!--\\nSource: http://10e.org/index.rdf\\nExpect: SHIFT_JIS\\n--> @2:1\n");
  EXPECT_NE(r.out.find("\n    empty admin:generatorAgent rdf:resource=\"http://www.movabletype.org/?v=3.11-ja\" @21:1\n"),
            std::string::npos);
}

TEST_F(Tool, FindListsMatchesByNameAndByPath) {
  Result r = Run({"find", SamplePath(), "A"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "12:7 <a href=\"https://example.org/\">\n"
            "13:7 <a href='docs/index.html' title=\"Read the docs\">\n"
            "14:7 <a href=news.html>\n"
            "17:13 <a href=\"mailto:team@example.org\" class=\"mail\">\n");

  r = Run({"find", SamplePath(), "/html/body/ul/li/a", "--count"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "3\n");
  r = Run({"find", SamplePath(), "html/body/p", "--xml"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.substr(0, 74),
            "<p>Sprig keeps every tag's position, so a tool can say where each link is.");
  EXPECT_NE(r.out.find("\n<p>Write to <a href=\"mailto:team@example.org\" class=\"mail\">the team</a>.<br>\n"
                       "Thanks.</p>\n"),
            std::string::npos);
}

TEST_F(Tool, FindCountsCorpusLinksAndLocatesTitle) {
  // 001.html has 30 <a> start tags (25 "<a " plus 5 "<a" at a line end), as an
  // independent HTML parser counts them.
  Result r = Run({"find", CorpusPath("html/001.html"), "a", "--count"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "30\n");
  // Line 7 is "        <title>...": the tag starts at column 9.
  r = Run({"find", CorpusPath("html/001.html"), "title"});
  EXPECT_EQ(r.out, "7:9 <title>\n");
  // 10e.org.xml holds 30 <item> elements.
  r = Run({"find", CorpusPath("feeds/SHIFT_JIS/10e.org.xml"), "rdf:RDF/item", "--count"});
  EXPECT_EQ(r.out, "30\n");
}

TEST_F(Tool, FindWithoutMatchExitsOne) {
  Result r = Run({"find", SamplePath(), "table"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  r = Run({"find", SamplePath(), "table", "--count"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "0\n");
  // A path starts at the top level: "body/a" names no top-level body.
  EXPECT_EQ(Run({"find", SamplePath(), "body/a"}).status, 1);
}

TEST_F(Tool, GetDecodesEntitiesUnlessRaw) {
  Result r = Run({"get", SamplePath(), "a", "href"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "https://example.org/\ndocs/index.html\nnews.html\nmailto:team@example.org\n");
  r = Run({"get", SamplePath(), "a", "title"});
  EXPECT_EQ(r.out, "Read the docs\n");
  EXPECT_EQ(Run({"get", SamplePath(), "a", "rel"}).status, 1);

  std::string page = dir_.WriteFile("q.html", "<p><i data='a &amp; b &quot;c&quot;'>x</i></p>");
  EXPECT_EQ(Run({"get", page, "i", "data"}).out, "a & b \"c\"\n");
  EXPECT_EQ(Run({"get", page, "i", "data", "--raw"}).out, "a &amp; b &quot;c&quot;\n");
}

TEST_F(Tool, TextKeepsLineBreaksAndRestoresConversionFlag) {
  uint32_t before = sgSetTextConvFlag(0, SG_TEXTCONV_KEEP_CONTROLS);
  Result r = Run({"text", SamplePath(), "html/body/p"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out,
            "Sprig keeps every tag's position, so a tool can say where each link is.\n"
            "Café, ナビ and 🌿 are here to check the UTF-8 output.\n"
            "Write to the team.\nThanks.\n");
  EXPECT_EQ(sgGetTextConvFlag() & SG_TEXTCONV_KEEP_CONTROLS, 0u);
  sgSetTextConvFlag(SG_TEXTCONV_KEEP_CONTROLS, SG_TEXTCONV_KEEP_CONTROLS);
  EXPECT_EQ(Run({"text", SamplePath(), "title"}).out, "Sprig sample & links\n");
  EXPECT_EQ(sgGetTextConvFlag() & SG_TEXTCONV_KEEP_CONTROLS, SG_TEXTCONV_KEEP_CONTROLS);
  sgSetTextConvFlag(before, 0xFFFFFFFFu);

  EXPECT_EQ(Run({"text", SamplePath(), "title", "--raw"}).out, "Sprig sample &amp; links\n");
  // The channel title of a Shift-JIS feed ("エルエル" in the file).
  EXPECT_EQ(Run({"text", CorpusPath("feeds/SHIFT_JIS/10e.org.xml"), "rdf:RDF/channel/title"}).out,
            "エルエル\n");
}

// ---- Usage and I/O errors ----------------------------------------------------

TEST_F(Tool, HelpVersionAndUsageErrors) {
  Result r = Run({"--version"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "sprig 2.2\n");
  r = Run({"--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("usage: sprig COMMAND", 0), 0u);
  for (const char* command : {"tree", "find", "get", "text", "set", "convert"}) {
    r = Run({command, "--help"});
    EXPECT_EQ(r.status, 0) << command;
    EXPECT_EQ(r.out.rfind(std::string("usage: sprig ") + command, 0), 0u) << command;
  }
  EXPECT_EQ(Run({}).status, 2);
  r = Run({"frobnicate", SamplePath()});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "sprig: unknown command 'frobnicate'\nTry 'sprig --help' for more information.\n");
  EXPECT_EQ(Run({"find", SamplePath()}).status, 2);
  EXPECT_EQ(Run({"find", SamplePath(), "a", "--xml", "--count"}).status, 2);
  EXPECT_EQ(Run({"tree", SamplePath(), "--xml"}).status, 2);
  EXPECT_EQ(Run({"find", SamplePath(), "a", "--bogus"}).status, 2);
  EXPECT_EQ(Run({"find", SamplePath(), "html//a"}).status, 2);
  EXPECT_EQ(Run({"convert", SamplePath(), "-o", dir_.File("x.html")}).status, 2);
  EXPECT_EQ(r.out, "");
}

TEST_F(Tool, UnreadableInputNamesFileAndReason) {
  std::string missing = dir_.File("missing.html");
  Result r = Run({"tree", missing});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "sprig: cannot read '" + missing + "': no such file\n");
  r = Run({"find", dir_.path(), "a"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "sprig: cannot read '" + dir_.path() + "': is a directory\n");
}

// ---- Writing commands --------------------------------------------------------

TEST_F(Tool, SetEditsEveryMatchAndKeepsTheRest) {
  std::string original = ReadFileBytes(SamplePath());
  std::string page = dir_.WriteFile("page.html", original);
  Result r = Run({"set", page, "html/body/ul/li/a", "href", "say \"hi\" > bye"});
  ASSERT_EQ(r.status, 0) << r.err;
  // Only the three list links changed; each value is now double-quoted.
  std::string expected = original;
  for (const char* old : {"href=\"https://example.org/\"", "href='docs/index.html'", "href=news.html"})
    expected.replace(expected.find(old), std::string(old).size(), "href=\"say &quot;hi&quot; &gt; bye\"");
  EXPECT_EQ(ReadFileBytes(page), expected);
  EXPECT_EQ(Run({"get", page, "li/a", "href"}).status, 1);  // paths start at the top
  EXPECT_EQ(Run({"get", page, "ul", "id"}).out, "links\n");
  EXPECT_EQ(Run({"get", page, "html/body/ul/li/a", "href"}).out,
            "say \"hi\" > bye\nsay \"hi\" > bye\nsay \"hi\" > bye\n");
}

TEST_F(Tool, SetWithOutputLeavesInputAndWritesInItsEncoding) {
  std::string feed = dir_.CopyCorpusFile("feeds/SHIFT_JIS/10e.org.xml");
  std::string original = ReadFileBytes(feed);
  std::string out = dir_.File("edited.xml");
  Result r = Run({"set", feed, "rdf:RDF/channel", "rdf:about", "ナビ", "-o", out});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadFileBytes(feed), original);
  // Written back in Shift-JIS: ナビ is 83 69 83 72 there.
  EXPECT_NE(ReadFileBytes(out).find("rdf:about=\"\x83\x69\x83\x72\""), std::string::npos);
  EXPECT_EQ(Run({"get", out, "channel", "rdf:about"}).out, "ナビ\n");
}

TEST_F(Tool, FailedCommandsChangeNoFile) {
  std::string original = ReadFileBytes(SamplePath());
  std::string page = dir_.WriteFile("page.html", original);
  std::string kept = dir_.WriteFile("kept.html", "keep me");
  // Nothing matches, a bad query, a folder that does not exist, a code page
  // the system cannot write, an unknown encoding name.
  EXPECT_EQ(Run({"set", page, "table", "id", "x"}).status, 1);
  EXPECT_EQ(Run({"set", page, "a//b", "id", "x"}).status, 2);
  EXPECT_EQ(Run({"set", page, "a", "id", "x", "-o", kept}).status, 0);
  std::string noFolder = dir_.File("no/such/out.html");
  Result r = Run({"set", page, "a", "id", "x", "-o", noFolder});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "sprig: cannot write '" + noFolder + "': no such directory\n");
  std::string target = dir_.WriteFile("target.html", "keep me too");
  r = Run({"convert", page, "-o", target, "--encoding", "12345"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "sprig: cannot write '" + target + "': code page 12345 is not supported\n");
  EXPECT_EQ(Run({"convert", page, "-o", target, "--encoding", "klingon"}).status, 2);

  EXPECT_EQ(ReadFileBytes(page), original);
  EXPECT_EQ(ReadFileBytes(target), "keep me too");
  EXPECT_NE(ReadFileBytes(kept), "keep me");  // the one successful write
  // No temporary file is left beside the targets.
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir_.path()))
    names.insert(entry.path().filename().string());
  EXPECT_EQ(names, (std::set<std::string>{"kept.html", "page.html", "target.html"}));
}

TEST_F(Tool, FileNamesAreUtf8) {
  // "ナビ café.html": created and read back through the tool's own paths.
  std::string name = dir_.File("\xE3\x83\x8A\xE3\x83\x93 caf\xC3\xA9.html");
  ASSERT_EQ(Run({"convert", SamplePath(), "-o", name, "-e", "utf-8"}).status, 0);
  EXPECT_TRUE(std::filesystem::exists(std::filesystem::u8path(name)));
  EXPECT_EQ(Run({"find", name, "a", "--count"}).out, "4\n");
  ASSERT_EQ(Run({"set", name, "h1", "class", "x"}).status, 0);
  EXPECT_EQ(Run({"get", name, "h1", "class"}).out, "x\n");
  Result r = Run({"tree", name + "x"});
  EXPECT_EQ(r.err, "sprig: cannot read '" + name + "x': no such file\n");
}

// ---- Encodings ---------------------------------------------------------------

TEST_F(Tool, ConvertRoundTripsShiftJisThroughUtf8) {
  // This feed is written back byte for byte: converting it to Shift-JIS
  // gives the file itself.
  std::string feed = CorpusPath("feeds/SHIFT_JIS/brag.zaka.to.xml");
  std::string original = ReadFileBytes(feed);
  std::string utf8 = dir_.File("utf8.xml"), back = dir_.File("back.xml");
  ASSERT_EQ(Run({"convert", feed, "-o", utf8, "--encoding", "utf-8"}).status, 0);
  std::string utf8Bytes = ReadFileBytes(utf8);
  EXPECT_EQ(utf8Bytes.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>", 0), 0u);
  EXPECT_EQ(Run({"text", utf8, "rss/channel/title"}).out, Run({"text", feed, "rss/channel/title"}).out);
  ASSERT_EQ(Run({"convert", utf8, "-o", back, "-e", "shift-jis"}).status, 0);
  EXPECT_EQ(ReadFileBytes(back), original);

  // A feed the writer reformats still reaches a fixed point through UTF-8.
  std::string other = CorpusPath("feeds/SHIFT_JIS/10e.org.xml");
  std::string direct = dir_.File("direct.xml");
  ASSERT_EQ(Run({"convert", other, "-o", direct, "-e", "932"}).status, 0);
  ASSERT_EQ(Run({"convert", other, "-o", utf8, "-e", "65001"}).status, 0);
  ASSERT_EQ(Run({"convert", utf8, "-o", back, "-e", "sjis"}).status, 0);
  EXPECT_EQ(ReadFileBytes(back), ReadFileBytes(direct));
  EXPECT_EQ(Run({"text", utf8, "rdf:RDF/channel/title"}).out, "エルエル\n");
}

TEST_F(Tool, ConvertRenamesMetaCharsetAndKeepsText) {
  std::string sjis = dir_.File("sjis.html"), utf7 = dir_.File("utf7.html");
  ASSERT_EQ(Run({"convert", SamplePath(), "-o", sjis, "-e", "shift_jis"}).status, 0);
  std::string bytes = ReadFileBytes(sjis);
  EXPECT_NE(bytes.find("content=\"text/html; charset=Shift_JIS\""), std::string::npos);
  EXPECT_NE(bytes.find("\x83\x69\x83\x72"), std::string::npos);  // ナビ
  EXPECT_EQ(Run({"text", sjis, "title"}).out, "Sprig sample & links\n");

  ASSERT_EQ(Run({"convert", SamplePath(), "-o", utf7, "-e", "utf-7"}).status, 0);
  // UTF-7 spells ';' and '=' as +ADs- and +AD0-.
  EXPECT_NE(ReadFileBytes(utf7).find("content=\"text/html+ADs- charset+AD0-UTF-7\""), std::string::npos);
  EXPECT_EQ(Run({"text", utf7, "html/body/p"}).out, Run({"text", SamplePath(), "html/body/p"}).out);
}

// ---- Positions ---------------------------------------------------------------

TEST(ToolLineMap, CountsLineEndsAndCharacters) {
  sprig_cli::WString text = sprig_cli::ToWide("ab\ncd\r\nef\rg\xF0\x9F\x8C\xBFh");
  sprig_cli::LineMap map(text.c_str());
  EXPECT_EQ(map.Format(0), "1:1");
  EXPECT_EQ(map.Format(2), "1:3");   // the LF itself ends line 1
  EXPECT_EQ(map.Format(3), "2:1");
  EXPECT_EQ(map.Format(6), "2:4");   // the LF of CR LF
  EXPECT_EQ(map.Format(7), "3:1");
  EXPECT_EQ(map.Format(10), "4:1");  // after a lone CR
  EXPECT_EQ(map.Format(13), "4:3");  // 'h' after a surrogate pair: one column
  EXPECT_EQ(map.Format(999), "4:4"); // beyond the end: the end
  sprig_cli::LineMap empty(nullptr);
  EXPECT_EQ(empty.Format(5), "1:1");
}

TEST(ToolText, Utf8ConversionReplacesInvalidInput) {
  EXPECT_EQ(sprig_cli::ToUtf8(sprig_cli::ToWide("Café ナビ \xF0\x9F\x8C\xBF")), "Café ナビ \xF0\x9F\x8C\xBF");
  EXPECT_EQ(sprig_cli::ToUtf8(sprig_cli::ToWide("a\xC3(\xED\xA0\x80z")), "a\xEF\xBF\xBD(\xEF\xBF\xBDz");
  const SG_WCHAR lone[] = {'x', 0xD800, 'y', 0};
  EXPECT_EQ(sprig_cli::ToUtf8(lone), "x\xEF\xBF\xBDy");
  const SG_WCHAR controls[] = {'a', '\t', 'b', '\n', 1, 0};
  EXPECT_EQ(sprig_cli::Printable(controls), "a\\tb\\n\\x01");
  EXPECT_EQ(sprig_cli::Printable(controls, -1, 2), "a\\t...");
}

}  // namespace
