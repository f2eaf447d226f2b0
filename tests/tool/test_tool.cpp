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
#include "text/encodings.h"

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

class Tool : public ::testing::Test {
 protected:
  // Runs `sprig args...` with stdout and stderr captured in files.
  Result Run(std::vector<std::string> args) {
    args.insert(args.begin(), "sprig");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    const std::string outPath = streams_.File("out.txt"), errPath = streams_.File("err.txt");
    std::FILE* out = std::fopen(outPath.c_str(), "wb");
    std::FILE* err = std::fopen(errPath.c_str(), "wb");
    EXPECT_TRUE(out != nullptr && err != nullptr);
    int status = SprigMain(static_cast<int>(args.size()), argv.data(), out, err);
    std::fclose(out);
    std::fclose(err);
    return Result{status, ReadFileBytes(outPath), ReadFileBytes(errPath)};
  }

  // Runs the command and checks its exit status and its whole standard output;
  // a command that succeeds prints nothing on standard error.
  Result Expect(const std::vector<std::string>& args, int status, const std::string& out) {
    std::string command = "sprig";
    for (const std::string& a : args) command += " " + a;
    Result r = Run(args);
    EXPECT_EQ(r.status, status) << command << "\n" << r.err;
    EXPECT_EQ(r.out, out) << command;
    if (status == 0) {
      EXPECT_EQ(r.err, "") << command;
    }
    return r;
  }

  TempDir dir_;       // files the commands read and write
  TempDir streams_;   // captured output, kept apart so dir_ holds only documents
};

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// ---- Reading commands --------------------------------------------------------

TEST_F(Tool, TreeOutlinesSampleWithKindsQuotesAndPositions) {
  Expect({"tree", SamplePath()}, 0,
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
}

TEST_F(Tool, TreeShowsEachAttributeFormAndTagKind) {
  std::string page = dir_.WriteFile(
      "forms.xml", "<?xml version='1.0'?>\n<r>\r\n <p b c='1' d=2 e=\"\" F='x\"y'/><br><Img src=a.png/>\n"
                   "\t<q title=\"line\nbreak\"/></r>");
  Expect({"tree", page}, 0,
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
  EXPECT_TRUE(Contains(r.out, "\n    empty admin:generatorAgent "
                              "rdf:resource=\"http://www.movabletype.org/?v=3.11-ja\" @21:1\n"));
}

TEST_F(Tool, FindListsMatchesByNameAndByPath) {
  Expect({"find", SamplePath(), "A"}, 0,
         "12:7 <a href=\"https://example.org/\">\n"
         "13:7 <a href='docs/index.html' title=\"Read the docs\">\n"
         "14:7 <a href=news.html>\n"
         "17:13 <a href=\"mailto:team@example.org\" class=\"mail\">\n");
  Expect({"find", SamplePath(), "/html/body/ul/li/a", "--count"}, 0, "3\n");
  Result r = Run({"find", SamplePath(), "html/body/p", "--xml"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.substr(0, 74),
            "<p>Sprig keeps every tag's position, so a tool can say where each link is.");
  EXPECT_TRUE(Contains(r.out, "\n<p>Write to <a href=\"mailto:team@example.org\" class=\"mail\">"
                              "the team</a>.<br>\nThanks.</p>\n"));
}

TEST_F(Tool, FindCountsCorpusLinksAndLocatesTitle) {
  // 001.html has 30 <a> start tags (25 "<a " plus 5 "<a" at a line end), as an
  // independent HTML parser counts them.
  Expect({"find", CorpusPath("html/001.html"), "a", "--count"}, 0, "30\n");
  // Line 7 is "        <title>...": the tag starts at column 9.
  Expect({"find", CorpusPath("html/001.html"), "title"}, 0, "7:9 <title>\n");
  // 10e.org.xml holds 30 <item> elements.
  Expect({"find", CorpusPath("feeds/SHIFT_JIS/10e.org.xml"), "rdf:RDF/item", "--count"}, 0, "30\n");
}

TEST_F(Tool, FindWithoutMatchExitsOne) {
  Expect({"find", SamplePath(), "table"}, 1, "");
  Expect({"find", SamplePath(), "table", "--count"}, 1, "0\n");
  // A path starts at the top level: "body/a" names no top-level body.
  Expect({"find", SamplePath(), "body/a"}, 1, "");
}

TEST_F(Tool, GetDecodesEntitiesUnlessRaw) {
  Expect({"get", SamplePath(), "a", "href"}, 0,
         "https://example.org/\ndocs/index.html\nnews.html\nmailto:team@example.org\n");
  Expect({"get", SamplePath(), "a", "title"}, 0, "Read the docs\n");
  Expect({"get", SamplePath(), "a", "rel"}, 1, "");
  std::string page = dir_.WriteFile("q.html", "<p><i data='a &amp; b &quot;c&quot;'>x</i></p>");
  Expect({"get", page, "i", "data"}, 0, "a & b \"c\"\n");
  Expect({"get", page, "i", "data", "--raw"}, 0, "a &amp; b &quot;c&quot;\n");
}

TEST_F(Tool, TextKeepsLineBreaksAndRestoresConversionFlag) {
  uint32_t before = sgSetTextConvFlag(0, SG_TEXTCONV_KEEP_CONTROLS);
  Expect({"text", SamplePath(), "html/body/p"}, 0,
         "Sprig keeps every tag's position, so a tool can say where each link is.\n"
         "Café, ナビ and 🌿 are here to check the UTF-8 output.\n"
         "Write to the team.\nThanks.\n");
  EXPECT_EQ(sgGetTextConvFlag() & SG_TEXTCONV_KEEP_CONTROLS, 0u);
  sgSetTextConvFlag(SG_TEXTCONV_KEEP_CONTROLS, SG_TEXTCONV_KEEP_CONTROLS);
  Expect({"text", SamplePath(), "title"}, 0, "Sprig sample & links\n");
  EXPECT_EQ(sgGetTextConvFlag() & SG_TEXTCONV_KEEP_CONTROLS, SG_TEXTCONV_KEEP_CONTROLS);
  sgSetTextConvFlag(before, 0xFFFFFFFFu);

  Expect({"text", SamplePath(), "title", "--raw"}, 0, "Sprig sample &amp; links\n");
  // The channel title of a Shift-JIS feed ("エルエル" in the file).
  Expect({"text", CorpusPath("feeds/SHIFT_JIS/10e.org.xml"), "rdf:RDF/channel/title"}, 0,
         "エルエル\n");
}

// ---- Usage and I/O errors ----------------------------------------------------

TEST_F(Tool, HelpVersionAndUsageErrors) {
  Expect({"--version"}, 0, "sprig 2.2\n");
  for (std::string command : {"", "tree", "find", "get", "text", "set", "convert"}) {
    Result r = command.empty() ? Run({"--help"}) : Run({command, "--help"});
    EXPECT_EQ(r.status, 0) << command;
    EXPECT_EQ(r.out.rfind("usage: sprig " + (command.empty() ? "COMMAND" : command), 0), 0u)
        << command;
  }
  const std::string sample = SamplePath();
  const std::vector<std::string> misuses[] = {
      {}, {"find", sample}, {"find", sample, "a", "--xml", "--count"}, {"tree", sample, "--xml"},
      {"find", sample, "a", "--bogus"}, {"find", sample, "html//a"},
      {"convert", sample, "-o", dir_.File("x.html")}};
  for (const std::vector<std::string>& args : misuses) Expect(args, 2, "");
  EXPECT_EQ(Expect({"frobnicate", sample}, 2, "").err,
            "sprig: unknown command 'frobnicate'\nTry 'sprig --help' for more information.\n");
}

TEST_F(Tool, UnreadableInputNamesFileAndReason) {
  std::string missing = dir_.File("missing.html");
  EXPECT_EQ(Expect({"tree", missing}, 2, "").err,
            "sprig: cannot read '" + missing + "': no such file\n");
  EXPECT_EQ(Expect({"find", dir_.path(), "a"}, 2, "").err,
            "sprig: cannot read '" + dir_.path() + "': is a directory\n");
}

// ---- Writing commands --------------------------------------------------------

TEST_F(Tool, SetEditsEveryMatchAndKeepsTheRest) {
  std::string original = ReadFileBytes(SamplePath());
  std::string page = dir_.WriteFile("page.html", original);
  Expect({"set", page, "html/body/ul/li/a", "href", "say \"hi\" > bye"}, 0, "");
  // Only the three list links changed; each value is now double-quoted.
  std::string expected = original;
  for (const char* old : {"href=\"https://example.org/\"", "href='docs/index.html'", "href=news.html"})
    expected.replace(expected.find(old), std::string(old).size(), "href=\"say &quot;hi&quot; &gt; bye\"");
  EXPECT_EQ(ReadFileBytes(page), expected);
  Expect({"get", page, "li/a", "href"}, 1, "");  // paths start at the top
  Expect({"get", page, "ul", "id"}, 0, "links\n");
  Expect({"get", page, "html/body/ul/li/a", "href"}, 0,
         "say \"hi\" > bye\nsay \"hi\" > bye\nsay \"hi\" > bye\n");
}

TEST_F(Tool, SetWithOutputLeavesInputAndWritesInItsEncoding) {
  std::string feed = dir_.CopyCorpusFile("feeds/SHIFT_JIS/10e.org.xml");
  std::string original = ReadFileBytes(feed);
  std::string out = dir_.File("edited.xml");
  Expect({"set", feed, "rdf:RDF/channel", "rdf:about", "ナビ", "-o", out}, 0, "");
  EXPECT_EQ(ReadFileBytes(feed), original);
  // Written back in Shift-JIS: ナビ is 83 69 83 72 there.
  EXPECT_TRUE(Contains(ReadFileBytes(out), "rdf:about=\"\x83\x69\x83\x72\""));
  Expect({"get", out, "channel", "rdf:about"}, 0, "ナビ\n");
}

TEST_F(Tool, FailedCommandsChangeNoFile) {
  std::string original = ReadFileBytes(SamplePath());
  std::string page = dir_.WriteFile("page.html", original);
  std::string kept = dir_.WriteFile("kept.html", "keep me");
  std::string target = dir_.WriteFile("target.html", "keep me too");
  std::string noFolder = dir_.File("no/such/out.html");
  // Nothing matches, a bad query, a folder that does not exist, a code page
  // the system cannot write, an unknown encoding name.
  Expect({"set", page, "table", "id", "x"}, 1, "");
  Expect({"set", page, "a//b", "id", "x"}, 2, "");
  Expect({"set", page, "a", "id", "x", "-o", kept}, 0, "");
  EXPECT_EQ(Expect({"set", page, "a", "id", "x", "-o", noFolder}, 2, "").err,
            "sprig: cannot write '" + noFolder + "': no such directory\n");
  EXPECT_EQ(Expect({"convert", page, "-o", target, "--encoding", "12345"}, 2, "").err,
            "sprig: cannot write '" + target + "': code page 12345 is not supported\n");
  Expect({"convert", page, "-o", target, "--encoding", "klingon"}, 2, "");

  EXPECT_EQ(ReadFileBytes(page), original);
  EXPECT_EQ(ReadFileBytes(target), "keep me too");
  EXPECT_NE(ReadFileBytes(kept), "keep me");  // the one successful write
  // No temporary file is left beside the targets.
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir_.path()))
    names.insert(entry.path().filename().string());
  EXPECT_EQ(names, (std::set<std::string>{"kept.html", "page.html", "target.html"}));
}

TEST_F(Tool, ConvertTakesTheNameOfEveryEncodingTheLibraryReads) {
  for (const CoreEncoding& encoding : kCoreEncodings)
    Expect({"convert", SamplePath(), "-o", dir_.File("e.html"), "-e", encoding.name}, 0, "");
}

TEST_F(Tool, FileNamesAreUtf8) {
  // "ナビ café.html": created and read back through the tool's own paths.
  std::string name = dir_.File("\xE3\x83\x8A\xE3\x83\x93 caf\xC3\xA9.html");
  Expect({"convert", SamplePath(), "-o", name, "-e", "utf-8"}, 0, "");
  ASSERT_TRUE(std::filesystem::exists(std::filesystem::u8path(name)));
  Expect({"find", name, "a", "--count"}, 0, "4\n");
  Expect({"set", name, "h1", "class", "x"}, 0, "");
  Expect({"get", name, "h1", "class"}, 0, "x\n");
  EXPECT_EQ(Expect({"tree", name + "x"}, 2, "").err,
            "sprig: cannot read '" + name + "x': no such file\n");
}

// ---- Encodings ---------------------------------------------------------------

TEST_F(Tool, ConvertRoundTripsShiftJisThroughUtf8) {
  // This feed is written back byte for byte: converting it to Shift-JIS
  // gives the file itself.
  std::string feed = CorpusPath("feeds/SHIFT_JIS/brag.zaka.to.xml");
  std::string utf8 = dir_.File("utf8.xml"), back = dir_.File("back.xml");
  Expect({"convert", feed, "-o", utf8, "--encoding", "utf-8"}, 0, "");
  EXPECT_EQ(ReadFileBytes(utf8).rfind(
                "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>", 0), 0u);
  EXPECT_EQ(Run({"text", utf8, "rss/channel/title"}).out, Run({"text", feed, "rss/channel/title"}).out);
  Expect({"convert", utf8, "-o", back, "-e", "shift-jis"}, 0, "");
  EXPECT_EQ(ReadFileBytes(back), ReadFileBytes(feed));

  // A feed the writer reformats still reaches a fixed point through UTF-8.
  std::string other = CorpusPath("feeds/SHIFT_JIS/10e.org.xml");
  std::string direct = dir_.File("direct.xml");
  Expect({"convert", other, "-o", direct, "-e", "932"}, 0, "");
  Expect({"convert", other, "-o", utf8, "-e", "65001"}, 0, "");
  Expect({"convert", utf8, "-o", back, "-e", "sjis"}, 0, "");
  EXPECT_EQ(ReadFileBytes(back), ReadFileBytes(direct));
  Expect({"text", utf8, "rdf:RDF/channel/title"}, 0, "エルエル\n");
}

TEST_F(Tool, ConvertRenamesMetaCharsetAndKeepsText) {
  std::string sjis = dir_.File("sjis.html"), utf7 = dir_.File("utf7.html");
  Expect({"convert", SamplePath(), "-o", sjis, "-e", "shift_jis"}, 0, "");
  EXPECT_TRUE(Contains(ReadFileBytes(sjis), "content=\"text/html; charset=Shift_JIS\""));
  EXPECT_TRUE(Contains(ReadFileBytes(sjis), "\x83\x69\x83\x72"));  // ナビ
  Expect({"text", sjis, "title"}, 0, "Sprig sample & links\n");

  Expect({"convert", SamplePath(), "-o", utf7, "-e", "utf-7"}, 0, "");
  // UTF-7 spells ';' and '=' as +ADs- and +AD0-.
  EXPECT_TRUE(Contains(ReadFileBytes(utf7), "content=\"text/html+ADs- charset+AD0-UTF-7\""));
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
