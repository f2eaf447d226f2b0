// The file writer: exact bytes for every kind, attribute form and code page,
// indentation of XML documents, the buffer, refusal of unusable code pages
// and files, and allocation failure (a million levels: reliability/test_hostile.cpp).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testing/testing.h"
#include "output/writer.h"
#include "output_trees.h"
#include "platform/platform.h"
#include "support.h"

using namespace output_test;
using sprig_test::ReadFileBytes;
using sprig_test::TempDir;

namespace {

// Saves through the UTF-16 entry point into a fresh folder and returns the
// file's bytes.
std::string Saved(Document *document, uint32_t codePage = SG_ENC_UTF8) {
  TempDir dir;
  const std::string path = dir.File("out.xml");
  EXPECT_EQ(1, SaveDocumentToFileW(document, W(Utf16(path)), codePage));
  return ReadFileBytes(path);
}

// The example tree: <?xml version="1.0"?> and a(b kind 0, c with inner x).
void BuildExample(Node *root) {
  Node *pi = AddNode(root, "xml", kKindPi);
  AddAttrib(pi, "version", kQuoteDouble, "1.0");
  Node *a = AddNode(root, "a", kKindElement);
  AddChild(a, "b", kKindPlain);
  AddChild(a, "c", kKindElement, "x");
}

TEST(Writer, XmlDocumentGetsLineBreaksAndTabsHtmlNothing) {
  OwnedDocument xml(1), html(0);
  BuildExample(xml.root());
  BuildExample(html.root());
  EXPECT_EQ("<?xml version=\"1.0\"?>\r\n<a>\r\n\t<b/>\r\n\t<c>x</c>\r\n</a>\r\n", Saved(xml.get()));
  EXPECT_EQ("<?xml version=\"1.0\"?><a><b><c>x</c></a>", Saved(html.get()));
}

// Where the tree holds text of its own, an XML document gets no added break
// or tab at that place.
TEST(Writer, XmlDocumentKeepsTextInPlaceOfBreaks) {
  OwnedDocument doc(1);
  Node *a = AddNode(doc.root(), "a", kKindElement, "\n  ", "\n");
  AddChild(a, "b", kKindEmptyTag, nullptr, "\n");
  EXPECT_EQ("<a>\n  <b/>\n</a>\n", Saved(doc.get()));
}

// One node of each kind a tree holds, with the XML flag clear and set.
void BuildKinds(Node *root) {
  AddNode(root, "p", kKindPlain);
  AddNode(root, "br", kKindVoid);
  AddNode(root, "e", kKindEmptyTag);
  AddAttrib(AddNode(root, "pi", kKindPi), "a", kQuoteDouble, "1");
  Node *decl = AddNode(root, "DOCTYPE", kKindDecl);
  AddAttrib(decl, "html", kQuoteNone, nullptr);
  AddAttrib(decl, "", kQuoteDouble, "-//x");
  Node *comment = AddNode(root, "", kKindComment);
  AddAttrib(comment, "", kQuoteBare, " note <b> ");
}

TEST(Writer, EachKindHasItsMarks) {
  OwnedDocument html(0);
  BuildKinds(html.root());
  EXPECT_EQ("<p><br><e/><?pi a=\"1\"?><!DOCTYPE html \"-//x\"><!-- note <b> -->",
            Saved(html.get()));
  OwnedDocument xml(1);
  BuildKinds(xml.root());
  EXPECT_EQ("<p/>\r\n<br>\r\n<e/>\r\n<?pi a=\"1\"?>\r\n<!DOCTYPE html \"-//x\">\r\n"
            "<!-- note <b> -->\r\n",
            Saved(xml.get()));
}

TEST(Writer, AttributeFormsFollowNameValueAndQuote) {
  OwnedDocument doc(0);
  Node *t = AddNode(doc.root(), "t", kKindVoid);
  AddAttrib(t, nullptr, kQuoteDouble, "never");  // no name: nothing at all
  AddAttrib(t, "a", kQuoteNone, nullptr);
  AddAttrib(t, "b", kQuoteDouble, "1");
  AddAttrib(t, "c", kQuoteSingle, "say \"hi\"");
  AddAttrib(t, "d", kQuoteBare, "bare");
  AddAttrib(t, "", kQuoteNone, nullptr);         // empty name, no value: nothing
  AddAttrib(t, "", kQuoteSingle, "q");
  AddAttrib(t, "", kQuoteBare, "raw");           // no blank before it
  AddAttrib(t, "e", kQuoteDouble, "");
  EXPECT_EQ("<t a b=\"1\" c='say \"hi\"' d=bare 'q'raw e=\"\">", Saved(doc.get()));
}

TEST(Writer, TextIsWrittenWithoutEscaping) {
  OwnedDocument doc(0);
  Node *p = AddNode(doc.root(), "p", kKindElement, "1 < 2 & \"3\" &amp; &lt;", "&#x41;>");
  AddAttrib(p, "v", kQuoteDouble, "a&b<c");
  EXPECT_EQ("<p v=\"a&b<c\">1 < 2 & \"3\" &amp; &lt;</p>&#x41;>", Saved(doc.get()));
}

TEST(Writer, IndentationStopsAtFortyTabs) {
  OwnedDocument doc(1);
  AddChain(doc.root(), 45);
  std::string opening, closing;
  for (int level = 0; level < 45; ++level) {
    const std::string tabs(level < 40 ? level : 40, '\t');
    opening += tabs + "<a>\r\n";
    closing = tabs + "</a>\r\n" + closing;
  }
  EXPECT_EQ(opening + closing, Saved(doc.get()));
}

TEST(Writer, ChildLinkTurnsKindIntoElement) {
  OwnedDocument doc(0);
  Node *plain = AddNode(doc.root(), "p", kKindPlain);
  Node *br = AddNode(doc.root(), "br", kKindVoid);
  Node *empty = AddNode(doc.root(), "e", kKindEmptyTag);
  NodeCreateChildList(plain);  // an empty child list counts too
  AddChild(br, "i", kKindVoid);
  NodeCreateChildList(empty);
  Node *untouched = AddNode(doc.root(), "img", kKindVoid);
  EXPECT_EQ("<p></p><br><i></br><e></e><img>", Saved(doc.get()));
  const std::vector<uint32_t> kinds = {plain->kind, br->kind, empty->kind, untouched->kind};
  EXPECT_EQ((std::vector<uint32_t>{kKindElement, kKindElement, kKindElement, kKindVoid}), kinds);
}

TEST(Writer, NamelessNodeWritesOnlyChildrenAndAfterText) {
  OwnedDocument doc(1);
  Node *nameless = AddNode(doc.root(), nullptr, kKindElement, "dropped", "tail");
  AddChild(nameless, "c", kKindEmptyTag);
  EXPECT_EQ("\t<c/>\r\ntail", Saved(doc.get()));
}

TEST(Writer, EmptyDocumentTruncatesToEmptyFile) {
  TempDir dir;
  const std::string path = dir.WriteFile("old.xml", "previous contents");
  OwnedDocument doc(1);
  EXPECT_EQ(1, SaveDocumentToFileA(doc.get(), path.c_str(), SG_ENC_ANSI));
  EXPECT_EQ("", ReadFileBytes(path));
}

// Names, values and texts are converted; markup stays single ASCII bytes.
TEST(Writer, FragmentsConvertToTheCodePage) {
  OwnedDocument doc(0);
  AddAttrib(AddNode(doc.root(), "p", kKindElement, "日本語"), "t", kQuoteDouble, "ア");
  EXPECT_EQ("<p t=\"\xE3\x82\xA2\">\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E</p>", Saved(doc.get()));
  // Shift-JIS (932), the code page 0 stands for.
  EXPECT_EQ("<p t=\"\x83\x41\">\x93\xFA\x96\x7B\x8C\xEA</p>", Saved(doc.get(), 932));
  EXPECT_EQ(Saved(doc.get(), 932), Saved(doc.get(), SG_ENC_ANSI));
}

// UTF-7 can need more than three bytes a unit ("€" alone is "+IKw-"): such
// fragments are written whole, never shortened.
TEST(Writer, Utf7FragmentsAreNotShortened) {
  OwnedDocument doc(0);
  AddAttrib(AddNode(doc.root(), "p", kKindElement, "€", "a€b€c€"), "v", kQuoteDouble, "€");
  const std::string bytes = Saved(doc.get(), SG_ENC_UTF7);
  WCHAR decoded[64] = {0};
  const int units =
      MultiByteToWideChar(CP_UTF7, 0, bytes.data(), static_cast<int>(bytes.size()), decoded, 63);
  EXPECT_EQ(Utf16("<p v=\"€\">€</p>a€b€c€"),
            WString(reinterpret_cast<SG_WCHAR *>(decoded), units > 0 ? units : 0));
}

TEST(Writer, UnusableCodePageOrFileGivesZeroAndTouchesNoFile) {
  TempDir dir;
  OwnedDocument doc(1);
  BuildExample(doc.root());
  const std::string precious = "<keep>bytes that must survive</keep>";
  const std::string path = dir.WriteFile("keep.xml", precious);
  EXPECT_EQ(0, SaveDocumentToFileW(doc.get(), W(Utf16(path)), 12345));
  EXPECT_EQ(0, SaveDocumentToFileA(doc.get(), path.c_str(), 0xFFFFFFFFu));
  EXPECT_EQ(precious, ReadFileBytes(path));
  EXPECT_EQ(0, IsWritableCodePage(12345));
  EXPECT_EQ(1, IsWritableCodePage(SG_ENC_UTF8));
  // A file that cannot be created.
  const std::string missing = dir.File("missing/out.xml");
  EXPECT_EQ(0, SaveDocumentToFileW(doc.get(), W(Utf16(missing)), SG_ENC_UTF8));
  EXPECT_EQ(0, SaveDocumentToFileA(doc.get(), missing.c_str(), SG_ENC_UTF8));
  EXPECT_FALSE(sprig_test::FileExists(missing));
  EXPECT_EQ(0, SaveDocumentToFileW(doc.get(), nullptr, SG_ENC_UTF8));
}

// Output far beyond the file buffer, with fragments on both sides of its
// boundary and one fragment larger than the buffer itself.
TEST(Writer, OutputLargerThanTheBufferIsExact) {
  OwnedDocument doc(0);
  std::string expected;
  for (int i = 0; i < 3000; ++i) {
    const std::string text = "é" + std::to_string(i) + std::string(i % 97, 'x');
    AddNode(doc.root(), "item", kKindElement, text.c_str());
    expected += "<item>" + text + "</item>";
  }
  std::string huge;
  for (int i = 0; i < 40000; ++i) huge += "日x";  // 160000 bytes in UTF-8
  AddNode(doc.root(), "big", kKindElement, huge.c_str());
  AddNode(doc.root(), "z", kKindEmptyTag, nullptr, "end");
  expected += "<big>" + huge + "</big><z/>end";
  EXPECT_EQ(expected, Saved(doc.get()));
}

// Every allocation of a save in turn fails: the save still creates the file,
// and what fails (the buffer, the scratch block) changes no byte.
TEST(Writer, AllocationFailureChangesNoByte) {
  TempDir dir;
  OwnedDocument doc(1);
  BuildExample(doc.root());
  std::string huge(70000, 'y');  // bigger than the buffer: needs the scratch block
  AddNode(doc.root(), "big", kKindEmptyTag, nullptr, huge.c_str());
  const std::string path = dir.File("oom.xml");
  const std::string expected = Saved(doc.get());
  PlatformFailAllocationAt(0);
  ASSERT_EQ(1, SaveDocumentToFileA(doc.get(), path.c_str(), SG_ENC_UTF8));
  const unsigned long allocations = PlatformAllocationCount();
  int skipped = 0;
  for (unsigned long n = 1; n <= allocations; ++n) {
    PlatformFailAllocationAt(n);
    const int result = SaveDocumentToFileA(doc.get(), path.c_str(), SG_ENC_UTF8);
    PlatformFailAllocationAt(0);
    if (result == 0) continue;  // the platform's own path conversion failed
    const std::string bytes = ReadFileBytes(path);
    if (bytes == expected) continue;
    // Only the scratch block may be missing: then exactly the huge fragment is skipped.
    EXPECT_EQ(expected.size() - huge.size(), bytes.size()) << "failing allocation " << n;
    ++skipped;
  }
  EXPECT_EQ(1, skipped) << "one of " << allocations << " allocations is the scratch block";
}

}  // namespace
