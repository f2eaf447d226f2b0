// Tests of the sprig tool: each subcommand run through SprigMain (the code of
// the executable) on the bundled sample page and on corpus files, checked
// against facts read off the files by hand; the query rule; JSON output;
// several inputs, folders and standard input; exit statuses; files left
// untouched by failing or refused writes; encodings. The text helpers are
// tested directly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>
#endif

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
  // Runs `sprig args...` with stdout and stderr captured in files and
  // `input` as standard input.
  Result Run(std::vector<std::string> args, const std::string& input = "") {
    args.insert(args.begin(), "sprig");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    const std::string outPath = streams_.File("out.txt");
    const std::string errPath = err_.empty() ? streams_.File("err.txt") : err_;
    const std::string inPath = input_.empty() ? streams_.WriteFile("in.txt", input) : input_;
    std::FILE* in = std::fopen(inPath.c_str(), "rb");
    std::FILE* out = std::fopen(outPath.c_str(), "wb");
    std::FILE* err = std::fopen(errPath.c_str(), "wb");
    EXPECT_TRUE(in != nullptr && out != nullptr && err != nullptr);
    int status = SprigMain(static_cast<int>(args.size()), argv.data(), in, out, err);
    std::fclose(in);
    std::fclose(out);
    std::fclose(err);
    return Result{status, ReadFileBytes(outPath), err_.empty() ? ReadFileBytes(errPath) : ""};
  }

  // Runs the command and checks its exit status and its whole standard output;
  // a command that succeeds prints nothing on standard error.
  Result Expect(const std::vector<std::string>& args, int status, const std::string& out,
                const std::string& input = "") {
    std::string command = "sprig";
    for (const std::string& a : args) command += " " + a;
    Result r = Run(args, input);
    EXPECT_EQ(r.status, status) << command << "\n" << r.err;
    EXPECT_EQ(r.out, out) << command;
    if (status == 0) {
      EXPECT_EQ(r.err, "") << command;
    }
    return r;
  }

  std::string input_;  // a file to take standard input from instead of `input`
  std::string err_;    // a file (a terminal) for standard error, not read back
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

TEST_F(Tool, TextKeepsLineBreaksAndDecodesReferences) {
  Expect({"text", SamplePath(), "html/body/p"}, 0,
         "Sprig keeps every tag's position, so a tool can say where each link is.\n"
         "Café, ナビ and 🌿 are here to check the UTF-8 output.\n"
         "Write to the team.\nThanks.\n");
  Expect({"text", SamplePath(), "title"}, 0, "Sprig sample & links\n");
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
  const std::string sample = SamplePath(), out = dir_.File("x.html");
  const std::vector<std::string> misuses[] = {
      {}, {"find", sample}, {"find", sample, "a", "--xml", "--count"}, {"tree", sample, "--xml"},
      {"find", sample, "a", "--json", "--raw"}, {"find", sample, "a", "--bogus"},
      {"find", sample, "html//a"}, {"find", sample, "a", "-j", "0"}, {"find", "-", "-", "a"},
      {"find", sample, "a", "--input-encoding", "klingon"}, {"convert", sample, "-o", out},
      {"convert", sample, "-o", out, "-e", "klingon"}, {"convert", sample, sample, "-o", out, "-e", "utf-8"},
      {"set", sample, sample, "a", "id", "x", "-o", out}, {"set", sample, "a", "href", "--replace", "", "x"}};
  for (const std::vector<std::string>& args : misuses) Expect(args, 2, "");
  EXPECT_EQ(Expect({"frobnicate", sample}, 2, "").err,
            "sprig: unknown command 'frobnicate'\nTry 'sprig --help' for more information.\n");
  // A selector error names the column.
  EXPECT_TRUE(Contains(Expect({"find", sample, "ul >> li"}, 2, "").err, "at column"));
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::u8path(out)));
}

TEST_F(Tool, FailuresNameTheirCause) {
  const std::string sample = SamplePath(), missing = dir_.File("missing/x.html");
  const struct {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{"convert", sample, "-o", missing, "-e", "utf-8"}, "cannot write '" + missing + "': no such directory"},
      {{"help", "bogus"}, "unknown command 'bogus'"},
#ifndef _WIN32
      {{"convert", sample, "-o", sample + "/x.html", "-e", "utf-8"},
       "cannot write '" + sample + "/x.html': no such directory"},
      {{"tree", "/dev/null"}, "cannot read '/dev/null': not a regular file"},
      {{"set", sample, "a", "id", "x", "-o", "/dev/full"}, "cannot write '/dev/full': not a regular file"},
      {{"convert", sample, "-o", "/sys/kernel/x.html", "-e", "utf-8"}, "cannot write '/sys/kernel/x.html': "},
      {{"find", "-", "a"}, "cannot read standard input: "},
#endif
  };
#ifndef _WIN32
  input_ = dir_.path();  // standard input is a folder
#endif
  for (const auto& c : cases) {
    EXPECT_EQ(Expect(c.args, 2, "").err.rfind("sprig: " + c.err, 0), 0u) << c.err;
  }
  input_.clear();
  EXPECT_EQ(Expect({"help", "find"}, 0, Run({"find", "--help"}).out).out.rfind("usage: sprig find", 0), 0u);
}

#ifndef _WIN32
// A long run (here: longer than SPRIG_PROGRESS_AFTER=0 seconds) shows
// "done/total" on standard error: a line now and then into a file, one line
// rewritten in place on a terminal, cleared for a message, completed at the end.
TEST_F(Tool, LongRunsShowTheirProgress) {
  const std::string missing = dir_.File("missing.html");
  const std::string error = "sprig: cannot read '" + missing + "': no such file";
  setenv("SPRIG_PROGRESS_AFTER", "0", 1);
  Result r = Run({"find", SamplePath(), missing, SamplePath(), "title", "--count", "-j", "1"});
  EXPECT_EQ("sprig: 1/3 files\n" + error + "\n", r.err);
  const int terminal = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_TRUE(terminal >= 0 && grantpt(terminal) == 0 && unlockpt(terminal) == 0);
  err_ = ptsname(terminal);
  r = Run({"find", SamplePath(), missing, SamplePath(), "title", "--count", "-j", "1"});
  unsetenv("SPRIG_PROGRESS_AFTER");
  err_.clear();
  EXPECT_EQ(2, r.status);
  std::string shown;
  char buffer[4096];
  fcntl(terminal, F_SETFL, O_NONBLOCK);
  for (ssize_t n; (n = read(terminal, buffer, sizeof buffer)) > 0;) shown.append(buffer, static_cast<size_t>(n));
  close(terminal);
  // The terminal writes each line break as CR LF.
  EXPECT_EQ(0u, shown.rfind("\rsprig: 1/3 files\r" + std::string(16, ' ') + "\r" + error + "\r\n", 0)) << shown;
  const std::string last = "\rsprig: 3/3 files\r\n";
  EXPECT_TRUE(shown.size() > last.size() && shown.compare(shown.size() - last.size(), last.size(), last) == 0)
      << shown;
}
#endif

TEST_F(Tool, UnreadableInputIsReportedAndTheOthersStillRun) {
  std::string missing = dir_.File("missing.html");
  EXPECT_EQ(Expect({"tree", missing}, 2, "").err,
            "sprig: cannot read '" + missing + "': no such file\n");
  Result r = Expect({"find", SamplePath(), missing, SamplePath(), "title", "--count"}, 2,
                    SamplePath() + ":1\n" + SamplePath() + ":1\n");
  EXPECT_EQ(r.err, "sprig: cannot read '" + missing + "': no such file\n");
}

// ---- Queries, JSON, several inputs -------------------------------------------

TEST_F(Tool, QueryIsANameAPathOrASelector) {
  std::string feed = CorpusPath("feeds/SHIFT_JIS/10e.org.xml");
  const struct { std::string file, query, count; } cases[] = {
      {SamplePath(), "A", "4"},                      // a name, any letter case
      {SamplePath(), "html/body/ul/li/a", "3"},      // a path from the top
      {SamplePath(), "/html/body/p", "2"},
      {SamplePath(), "body/a", "0"},                 // paths start at the top level
      {SamplePath(), "ul > li > a", "3"},            // selectors
      {SamplePath(), "a[href^=\"mailto:\"]", "1"},
      {SamplePath(), "a.mail", "1"},
      {SamplePath(), "li:first-child", "1"},         // a pseudo-class makes a selector
      {SamplePath(), "p:empty", "0"},
      {SamplePath(), "#links a[title]", "1"},
      {feed, "dc:date", "31"},                       // a prefixed name stays a name
      {feed, "rdf:RDF/item/dc:date", "30"},
  };
  for (const auto& c : cases)
    Expect({"find", c.file, c.query, "--count"}, c.count == "0" ? 1 : 0, c.count + "\n");
}

TEST_F(Tool, JsonLinesCarryDecodedAttributesAndText) {
  std::string sample = SamplePath();
  std::string mail = "{\"file\":\"" + sample + "\",\"line\":17,\"column\":13,\"name\":\"a\","
                     "\"attributes\":{\"href\":\"mailto:team@example.org\",\"class\":\"mail\"},"
                     "\"text\":\"the team\"}\n";
  Expect({"find", sample, "a.mail", "--json"}, 0, mail);
  Expect({"get", sample, "a", "class", "--json"}, 0, mail);
  Expect({"text", sample, "p > a", "--json"}, 0, mail);
  // Quotes, backslashes, tabs and references; the first of two same-named
  // attributes; an attribute without value.
  std::string page = dir_.WriteFile(
      "q.html", "<p><i data='a &amp; b \"c\" \\ &#9;' x=1 x=2 bare>t&lt;&#x1F33F;&#9;</i></p>");
  Expect({"find", page, "i", "--json"}, 0,
         "{\"file\":\"" + page + "\",\"line\":1,\"column\":4,\"name\":\"i\",\"attributes\":"
         "{\"data\":\"a & b \\\"c\\\" \\\\ \\t\",\"x\":\"1\",\"bare\":\"\"},"
         "\"text\":\"t<\xF0\x9F\x8C\xBF\\t\"}\n");
  // Columns count characters (a surrogate pair is one), on from the last match of the line.
  Expect({"find", "-", "b"}, 0, "1:5 <b>\n1:14 <b>\n2:2 <b>\n",
         "<p>\xF0\x9F\x98\x80<b>1</b>\xF0\x9F\x98\x80<b>2</b>\n\t<b>3</b></p>");
  // A lone surrogate of UTF-16 input comes out as an escape, unit for unit.
  Expect({"find", "-", "p", "--json", "--input-encoding", "utf-16le"}, 0,
         "{\"file\":\"-\",\"line\":1,\"column\":1,\"name\":\"p\",\"attributes\":{},"
         "\"text\":\"\\ud800x\"}\n",
         std::string("<\0p\0>\0\0\xD8x\0<\0/\0p\0>\0", 18));
}

TEST_F(Tool, SeveralInputsPrintInInputOrderOnAnyNumberOfThreads) {
  std::string html = CorpusPath("html");
  std::vector<std::string> files = sprig_test::CorpusFiles("html");
  ASSERT_GT(files.size(), 100u);
  Result one = Run({"find", html, "a[href]", "--count", "-j", "1"});
  ASSERT_EQ(one.status, 0) << one.err;
  EXPECT_EQ(static_cast<std::size_t>(std::count(one.out.begin(), one.out.end(), '\n')), files.size());
  EXPECT_EQ(one.out.rfind(files[0] + ":", 0), 0u);  // sorted by path
  EXPECT_EQ(Run({"find", html, "a[href]", "--count", "-j", "2"}).out, one.out);
  EXPECT_EQ(Run({"find", html, "a[href]", "--count", "-j4"}).out, one.out);
  Result json = Run({"find", html, "title", "--json", "-j", "1"});
  EXPECT_EQ(Run({"find", html, "title", "--json", "-j", "4"}).out, json.out);
  // Named files keep their order, names included.
  std::string second = CorpusPath("html/002.html"), first = CorpusPath("html/001.html");
  Expect({"find", second, first, "title"}, 0, second + ":" +
         Run({"find", second, "title"}).out + first + ":7:9 <title>\n");
}

TEST_F(Tool, StandardInputAndFolderFilter) {
  std::string sample = ReadFileBytes(SamplePath());
  Expect({"find", "-", "a", "--count"}, 0, "4\n", sample);
  // set on standard input writes the document to standard output.
  std::string edited = sample;
  edited.replace(edited.find("class=title"), 11, "class=\"big\"");
  Expect({"set", "-", "h1", "class", "big"}, 0, edited, sample);

  std::string site = dir_.File("site");
  std::filesystem::create_directories(std::filesystem::u8path(site + "/sub"));
  dir_.WriteFile("site/a.html", "<title>A</title>");
  dir_.WriteFile("site/b.xml", "<title>B</title>");
  dir_.WriteFile("site/sub/c.html", "<title>C</title>");
  Expect({"text", site, "title", "--include", "*.html"}, 0,
         site + "/a.html:A\n" + site + "/sub/c.html:C\n");
  Expect({"text", site, "title", "--include=*.x?l", "--include", "[!a]*"}, 0,
         site + "/b.xml:B\n" + site + "/sub/c.html:C\n");
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
  Expect({"set", feed, "rdf:RDF/channel", "rdf:about", "ナビ", "-o", out, "--no-sync"}, 0, "");
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
  // the system cannot write, an unknown encoding name, a lossy write.
  Expect({"set", page, "table", "id", "x"}, 1, "");
  Expect({"set", page, "a//b", "id", "x"}, 2, "");
  Expect({"set", page, "a", "id", "x", "-o", kept}, 0, "");
  EXPECT_EQ(Expect({"set", page, "a", "id", "x", "-o", noFolder}, 2, "").err,
            "sprig: cannot write '" + noFolder + "': no such directory\n");
  Expect({"convert", page, "-o", target, "--encoding", "12345"}, 2, "");
  Expect({"convert", page, "-o", target, "--encoding", "klingon"}, 2, "");
  // A character the target encoding cannot hold: ナ at 10:7.
  EXPECT_TRUE(Contains(Expect({"convert", page, "-o", target, "-e", "windows-1252"}, 2, "").err,
                       "'" + target + "': the text at 10:7 cannot be kept exactly in windows-1252"));

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
  // ASCII text, so that every encoding of the table can hold it exactly.
  std::string page = dir_.WriteFile("ascii.html", "<p class=\"x\">plain</p>");
  for (const CoreEncoding& encoding : kCoreEncodings)
    Expect({"convert", page, "-o", dir_.File("e.html"), "-e", encoding.name}, 0, "");
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
  // Through UTF-8 and back, a feed comes back byte for byte; only its
  // declaration now spells the encoding's canonical name.
  std::string utf8 = dir_.File("utf8.xml"), back = dir_.File("back.xml");
  for (const char* name : {"feeds/SHIFT_JIS/brag.zaka.to.xml", "feeds/SHIFT_JIS/10e.org.xml"}) {
    std::string feed = CorpusPath(name);
    Expect({"convert", feed, "-o", utf8, "--encoding", "utf-8"}, 0, "");
    EXPECT_EQ(ReadFileBytes(utf8).rfind("<?xml version=\"1.0\" encoding=\"utf-8\"", 0), 0u);
    EXPECT_EQ(Run({"text", utf8, "channel/title"}).out, Run({"text", feed, "channel/title"}).out);
    Expect({"convert", utf8, "-o", back, "-e", "sjis"}, 0, "");
    std::string expected = ReadFileBytes(feed);
    expected.replace(expected.find("Shift_JIS"), 9, "shift_jis");
    EXPECT_EQ(ReadFileBytes(back), expected) << name;
  }
  Expect({"text", utf8, "rdf:RDF/channel/title"}, 0, "エルエル\n");
}

TEST_F(Tool, ConvertRenamesMetaCharsetAndKeepsText) {
  std::string sjis = dir_.File("sjis.html"), utf7 = dir_.File("utf7.html");
  // Shift-JIS has no é (10:4) nor 🌿: forced, the rest is written.
  EXPECT_EQ(Run({"convert", SamplePath(), "-o", sjis, "-e", "shift_jis", "--force"}).err,
            "sprig: warning: '" + sjis + "' written with --force: the text at 10:4 could not be "
            "kept exactly in shift_jis\n");
  EXPECT_TRUE(Contains(ReadFileBytes(sjis), "content=\"text/html; charset=shift_jis\""));
  EXPECT_TRUE(Contains(ReadFileBytes(sjis), "\x83\x69\x83\x72"));  // ナビ
  Expect({"text", sjis, "title"}, 0, "Sprig sample & links\n");

  Expect({"convert", SamplePath(), "-o", utf7, "-e", "utf-7"}, 0, "");
  // UTF-7 spells '=' as +AD0-.
  EXPECT_TRUE(Contains(ReadFileBytes(utf7), "charset+AD0-utf-7"));
  // Nothing in UTF-7 bytes reads as a label: the reader is told.
  EXPECT_EQ(Run({"text", utf7, "html/body/p", "--input-encoding", "utf-7"}).out,
            Run({"text", SamplePath(), "html/body/p"}).out);
}

TEST_F(Tool, SetReplaceEditsEveryFileOfAFolder) {
  const char* pages[] = {"html/001.html", "html/aclu.html", "html/bbc-1.html", "html/ars-1.html"};
  std::string site = dir_.File("site");
  std::filesystem::create_directories(std::filesystem::u8path(site + "/sub"));
  std::vector<std::string> copies;
  for (std::size_t i = 0; i < 4; ++i)
    copies.push_back(dir_.CopyCorpusFile(pages[i], (i < 2 ? "site/" : "site/sub/") + std::to_string(i) + ".html"));
  const std::string query = "a[href^=\"http:\"]";
  Result before = Run({"find", site, query, "--count"});
  Result hrefs = Run({"get", site, "a", "href"});
  std::vector<std::string> originals;
  for (const std::string& copy : copies) originals.push_back(ReadFileBytes(copy));
  uint64_t total = 0;
  std::size_t changed = 0;
  std::vector<uint64_t> counts;  // in the order of `copies`, which is the listing's
  for (std::size_t at = 0; at < before.out.size(); at = before.out.find('\n', at) + 1) {
    counts.push_back(std::stoull(before.out.substr(before.out.find(':', at + site.size() + 1) + 1)));
    total += counts.back();
    changed += counts.back() > 0 ? 1 : 0;
  }
  ASSERT_EQ(counts.size(), copies.size());
  ASSERT_GT(total, 0u);
  Result r = Run({"set", site, query, "href", "--replace", "http:", "https:", "-j", "3"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "sprig: set: " + std::to_string(changed) + " of 4 files changed, " +
                       std::to_string(total) + " matches\n");
  EXPECT_EQ(Run({"find", site, query, "--count"}).status, 1);
  // Every value that began with http: has each http: replaced; the rest is
  // as it was, and files without a match are not rewritten.
  std::string expected;
  for (std::size_t at = 0; at < hrefs.out.size();) {
    std::size_t end = hrefs.out.find('\n', at) + 1;
    std::string line = hrefs.out.substr(at, end - at);
    std::size_t value = line.find(':', site.size() + 1) + 1;
    if (line.compare(value, 5, "http:") == 0)
      for (std::size_t p = line.find("http:", value); p != std::string::npos; p = line.find("http:", p + 6))
        line.replace(p, 5, "https:");
    expected += line;
    at = end;
  }
  EXPECT_EQ(Run({"get", site, "a", "href"}).out, expected);
  for (std::size_t i = 0; i < copies.size(); ++i) {
    if (counts[i] == 0) {
      EXPECT_EQ(ReadFileBytes(copies[i]), originals[i]) << copies[i];
    }
  }
}

TEST_F(Tool, RefusedLossyWriteLeavesTheFileUnlessForced) {
  std::string feed = dir_.CopyCorpusFile("feeds/SHIFT_JIS/10e.org.xml");
  std::string original = ReadFileBytes(feed);
  // Shift-JIS has no 🌿: the write is refused and names the place.
  Result r = Expect({"set", feed, "rdf:RDF/channel", "rdf:about", "\xF0\x9F\x8C\xBF"}, 2, "");
  EXPECT_TRUE(Contains(r.err, "sprig: cannot write '" + feed + "': the text at ")) << r.err;
  EXPECT_TRUE(Contains(r.err, "--force")) << r.err;
  EXPECT_EQ(ReadFileBytes(feed), original);
  // Forced, it is written with a warning.
  r = Run({"set", feed, "rdf:RDF/channel", "rdf:about", "\xF0\x9F\x8C\xBF", "--force"});
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(Contains(r.err, "sprig: warning: '" + feed + "' written with --force: the text at "))
      << r.err;
  EXPECT_NE(ReadFileBytes(feed), original);
}

TEST_F(Tool, InputEncodingOverridesDetection) {
  // ナビ in Shift-JIS, with no label: the bytes are not UTF-8.
  std::string page = dir_.WriteFile("sjis.html", "<p>\x83\x69\x83\x72</p>");
  Expect({"text", page, "p", "--input-encoding", "shift_jis"}, 0, "ナビ\n");
  Expect({"text", page, "p", "--input-encoding=932"}, 0, "ナビ\n");
  // Read as UTF-8, the bytes are invalid: a warning names the first place.
  Result r = Run({"text", page, "p", "--input-encoding", "utf-8"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "\xEF\xBF\xBDi\xEF\xBF\xBDr\n");
  EXPECT_TRUE(Contains(r.err, "sprig: warning: '" + page + "': 2 byte sequences are not valid utf-8 "
                              "(the first at 1:4)")) << r.err;
}

// ---- Text helpers ------------------------------------------------------------

TEST(ToolText, Utf8ConversionReplacesInvalidInput) {
  EXPECT_EQ(sprig_cli::ToUtf8(sprig_cli::ToWide("Café ナビ \xF0\x9F\x8C\xBF")), "Café ナビ \xF0\x9F\x8C\xBF");
  EXPECT_EQ(sprig_cli::ToUtf8(sprig_cli::ToWide("a\xC3(\xED\xA0\x80z")), "a\xEF\xBF\xBD(\xEF\xBF\xBDz");
  const SG_WCHAR lone[] = {'x', 0xD800, 'y', 0};
  EXPECT_EQ(sprig_cli::ToUtf8(lone), "x\xEF\xBF\xBDy");
  const SG_WCHAR controls[] = {'a', '\t', 'b', '\n', 1, 0};
  EXPECT_EQ(sprig_cli::Printable(controls), "a\\tb\\n\\x01");
  EXPECT_EQ(sprig_cli::Printable(controls, -1, 2), "a\\t...");
}

TEST(ToolText, JsonStringsEscapeAndKeepEveryUnit) {
  const SG_WCHAR text[] = {'"', '\\', '/', 1, 0x1F, '\n', 0xE9, 0xD83C, 0xDF3F, 0xD800, 'x', 0xDC00, 0};
  std::string json;
  sprig_cli::AppendJson(&json, text);
  EXPECT_EQ(json, "\"\\\"\\\\/\\u0001\\u001f\\n\xC3\xA9\xF0\x9F\x8C\xBF\\ud800x\\udc00\"");
}

TEST(ToolText, FileNamePatterns) {
  const struct { const char* pattern; const char* name; bool match; } cases[] = {
      {"*.html", "a.html", true},  {"*.html", "a.htm", false}, {"*.html", ".html", true},
      {"a*b*c", "aXbYbc", true},   {"a*b*c", "aXbYb", false}, {"?.xml", "ab.xml", false},
      {"[a-c]?", "bz", true},      {"[!a-c]?", "bz", false},  {"[]x]", "]", true},
      {"[ab", "[ab", true},        {"*", "", true},           {"", "x", false}};
  for (const auto& c : cases)
    EXPECT_EQ(sprig_cli::GlobMatch(c.pattern, c.name), c.match) << c.pattern << " " << c.name;
}

}  // namespace
