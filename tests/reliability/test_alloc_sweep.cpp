// Allocation-failure sweeps over scenarios that together call every public
// function: reading a real page, opening, editing and saving a real feed,
// notes whose pieces refer into another document, copies and grafts with
// their renderings, and the text conversions. See sweep.h for the rule each
// run must keep.
#include <gtest/gtest.h>

#include <string>

#include "support.h"
#include "sweep.h"
#include "testing/testing.h"

namespace {

using sprig_reliability::Num;
using sprig_reliability::Ptr;
using sprig_reliability::ScenarioRun;
using sprig_reliability::Str;
using sprig_reliability::Sweep;
using sprig_reliability::W;
using sprig_test::Utf16;
using sprig_test::WString;

const std::string kFail0 = "0";
const std::string kNull = "null";
const std::string kNone = "4294967295";
const std::string kAny = "*";      // a step of several calls
const std::string kPartial = "~";  // null, or pieces left out
const std::string kEmpty = "''";

// Frees an outer-XML block and returns its text (or "null").
template <typename Char>
std::string TakeOuter(Char *block) {
  std::string s = Str(block);
  if (block) {
    GlobalUnlock(GlobalHandle(block));
    GlobalFree(GlobalHandle(block));
  }
  return s;
}

uint32_t SG_CALL CountProc(SG_CURSOR c, uint32_t depth, uint32_t phase, intptr_t user) {
  (void)depth;
  if (phase == 0 && sgGetNameW(c)) ++*reinterpret_cast<uint32_t *>(user);
  return 0;
}

// The page is small and real; the sweep reads it completely.
void ReadPage(ScenarioRun &run, const std::string &page) {
  SG_CURSOR c = run.Open("sgParseXMLA", [&] {
    return sgParseXMLA(page.data(), static_cast<uint32_t>(page.size()));
  });
  run.Step("sgGetSrcXML", kNull, [&] { return Ptr(sgGetSrcXML(c)); });
  run.Step("sgGetEncoding", kFail0, [&] { return Num(sgGetEncoding(c)); });
  // Every element in document order, every field in both forms.
  run.Step("walk", kAny, [&] {
    std::string all;
    sgMoveTo(c, SG_MOVE_BASE);
    while (sgMoveTo(c, SG_MOVE_NEXT_IN_ORDER)) {
      all += Str(sgGetNameA(c)) + Str(sgGetInnerStrA(c)) + Str(sgGetAfterStrA(c));
      for (int32_t i = 0; i < static_cast<int32_t>(sgGetAttribCount(c)); ++i) {
        all += Str(sgGetAttribNameA(c, i)) + Str(sgGetAttribValueA(c, i));
      }
    }
    return all;
  });
  run.Step("sgSearchA", kFail0, [&] { return Num(sgSearchA(c, "div", SG_SEARCH_FIRST)); });
  run.Step("sgGetInnerTextW", kNull, [&] { return Str(sgGetInnerTextW(c)); });
  run.Step("sgGetInnerTextA", kNull, [&] { return Str(sgGetInnerTextA(c)); });
  run.Step("sgGetNameW", kNull, [&] { return Str(sgGetNameW(c)); });
  run.Step("sgGetInnerStrW", kNull, [&] { return Str(sgGetInnerStrW(c)); });
  run.Step("sgGetAfterStrW", kNull, [&] { return Str(sgGetAfterStrW(c)); });
  run.Step("positions", kAny, [&] {
    uint32_t length = 0;
    const SG_WCHAR *tag = sgGetTagSrc(c, &length);
    return Num(length) + Ptr(tag) + Num(sgGetTagPos(c, 0)) + Num(sgGetTagPos(c, 1)) +
           Num(sgGetTagPos(c, 2)) + Num(sgGetTagCount(c)) + Num(sgTagIndex(c)) +
           Num(sgGetLevel(c)) + Num(sgGetIndex(c)) + Num(sgGetChildCount(c)) +
           Num(sgIsEmptyList(c)) + Num(sgGetNodeID(c, nullptr));
  });
  run.Step("sgSearchIndexW", kFail0,
           [&] { return Num(sgSearchIndexW(c, W("div"), SG_SEARCH_FIRST, 1)); });
  run.Step("sgSearchW", kAny, [&] {
    const std::pair<const char *, uint32_t> searches[] = {
        {"article", SG_SEARCH_ANCESTOR},   {"h2", SG_SEARCH_DESCENDANT},
        {"h1", SG_SEARCH_PREV},            {"div", SG_SEARCH_NEXT_SIBLING},
        {"h1", SG_SEARCH_PREV_SIBLING},    {"h2", SG_SEARCH_FIRST_SIBLING},
        {"div", SG_SEARCH_NEXT}};
    std::string r;
    for (const auto &[name, mode] : searches) r += Num(sgSearchW(c, W(name), mode));
    return r;
  });
  run.Step("sgSearchIndexA path", kAny, [&] {
    std::string path("html\0body\0article\0div\0", 23);
    std::string r = Num(sgSearchIndexA(c, path.c_str(), SG_SEARCH_PATH_FIRST, 1));
    return r + Num(sgSearchA(c, path.c_str(), SG_SEARCH_PATH_NEXT));
  });
  run.Step("sgSeek", kAny, [&] {
    uint32_t id = 0;
    sgGetNodeID(c, &id);
    sgMoveTo(c, SG_MOVE_BASE);
    std::string r = Num(sgSeek(c, id));  // in this order: each moves the cursor
    r += Num(sgSetLevel(c, 1));
    return r + Num(sgSetIndex(c, 0));
  });
  run.Step("sgSetBase", kAny, [&] {
    uint32_t count = 0;
    std::string r = Num(sgSetBase(c, 1));
    r += Num(sgScanTree(c, CountProc, reinterpret_cast<intptr_t>(&count)));
    return r + Num(count) + Num(sgSetBase(c, 0));
  });
  run.Step("sgGetOuterXMLW", kPartial, [&] { return TakeOuter(sgGetOuterXMLW(c)); });
  run.Step("sgGetOuterXMLA", kPartial, [&] { return TakeOuter(sgGetOuterXMLA(c, SG_ENC_UTF8)); });
  run.Step("sgMoveTo list head outer", kPartial, [&] {
    sgMoveTo(c, SG_MOVE_BASE);
    return TakeOuter(sgGetOuterXMLA(c, 0));
  });
  run.Close(c);
}

TEST(AllocSweep, ReadRealPage) {
  const std::string page =
      sprig_test::ReadFileBytes(sprig_test::CorpusPath("html/normalize-spaces.html"));
  ASSERT_FALSE(page.empty());
  const unsigned long n = Sweep([&](ScenarioRun &run) { ReadPage(run, page); });
  EXPECT_GT(n, 100u);
  RecordProperty("allocations", static_cast<int>(n));
}

TEST(AllocSweep, ParseUtf16Text) {
  const WString text = Utf16("<?xml version='1.0'?><r a='1'><p>x&amp;y<b/>t</p><!-- c --><q/></r>");
  const unsigned long n = Sweep([&](ScenarioRun &run) {
    SG_CURSOR c = run.Open("sgParseXMLW", [&] { return sgParseXMLW(text.c_str(), ~0u); });
    run.Step("flags", kAny, [&] { return Num(sgGetXMLFlag(c)) + Num(sgGetUpdateFlag(c)); });
    run.Step("sgGetOuterXMLW", kPartial, [&] { return TakeOuter(sgGetOuterXMLW(c)); });
    run.Close(c);
  });
  EXPECT_GT(n, 10u);
}

// A real page opened from a file: its meta content-type tag switches the
// reader to UTF-8 and the parse starts over, so an allocation failure can
// strike before, during or after the restart.
TEST(AllocSweep, OpenPageThatRestartsOnItsMetaTag) {
  sprig_test::TempDir dir;
  const std::string page =
      sprig_test::ReadFileBytes(sprig_test::CorpusPath("html/bug-1255978.html"));
  const size_t meta = page.find("charset=utf-8");
  ASSERT_NE(std::string::npos, meta);
  const W path(dir.WriteFile("page.html", page.substr(0, meta + 400) + "\xc3\xa9</head></html>"));
  const unsigned long n = Sweep([&](ScenarioRun &run) {
    SG_CURSOR c = run.Open("sgOpenXMLW", [&] { return sgOpenXMLW(path); });
    run.Steps(kFail0, {{"sgGetEncoding", [&] { return sgGetEncoding(c); }},
                       {"sgSearchA", [&] { return sgSearchA(c, "link", SG_SEARCH_FIRST); }}});
    run.Step("sgGetAttribA", kNull, [&] { return Str(sgGetAttribA(c, "rel")); });
    run.Step("sgGetOuterXMLA", kPartial, [&] {
      sgMoveTo(c, SG_MOVE_BASE);
      return TakeOuter(sgGetOuterXMLA(c, SG_ENC_UTF8));
    });
    run.Close(c);
  });
  EXPECT_GT(n, 20u);
  SG_CURSOR once = sgOpenXMLW(path);
  ASSERT_NE(nullptr, once);
  EXPECT_EQ(SG_ENC_UTF8, sgGetEncoding(once));  // the restart did happen
  sgCloseXML(once);
}

// Open a real Shift-JIS feed, change it through every editing family, save
// it under another name and in other code pages, flush it and let the close
// write it back.
TEST(AllocSweep, OpenEditSave) {
  sprig_test::TempDir dir;
  const std::string feed =
      sprig_test::ReadFileBytes(sprig_test::CorpusPath("feeds/SHIFT_JIS/10e.org.xml"));
  ASSERT_GT(feed.size(), 1500u);
  // A cut of the feed that ends after a whole element keeps N small.
  const std::string cut = feed.substr(0, feed.find("<items>")) + "</channel></rdf:RDF>\r\n";
  const std::string path = dir.File("feed.xml"), copyPath = dir.File("copy.xml");
  const W copyPathW(copyPath), newPathW(dir.File("new.xml"));
  const unsigned long n = Sweep([&](ScenarioRun &run) {
    ASSERT_TRUE(sprig_test::WriteFileBytes(path, cut));
    SG_CURSOR c = run.Open("sgOpenXMLA", [&] { return sgOpenXMLA(path.c_str()); });
    run.Steps(kFail0, {
        {"sgSearchA", [&] { return sgSearchA(c, "channel", SG_SEARCH_FIRST); }},
        {"sgSetAttribW", [&] { return sgSetAttribW(c, W("rdf:about"), W("x")); }},
        {"sgSetAttribA", [&] { return sgSetAttribA(c, "new", "\x83\x65"); }},
        {"sgSetAttribStringW", [&] { return sgSetAttribStringW(c, W("s"), W("v")); }},
        {"sgSetAttribStringA", [&] { return sgSetAttribStringA(c, "s", "w"); }},
        {"sgSetAttribIntW", [&] { return sgSetAttribIntW(c, W("i"), 0xFFFFFFFEu); }},
        {"sgSetAttribIntA", [&] { return sgSetAttribIntA(c, "j", 42); }},
        {"sgSetAttribDWordW", [&] { return sgSetAttribDWordW(c, W("d"), 0xBEEF); }},
        {"sgSetAttribDWordA", [&] { return sgSetAttribDWordA(c, "e", 0xCAFE); }},
        {"sgAttribPrintFW",
         [&] { return sgAttribPrintFW(c, W("f"), W("%d-%s"), 7, Utf16("z").c_str()); }},
        {"sgAttribPrintFA", [&] { return sgAttribPrintFA(c, "g", "%x", 255); }}});
    run.Step("attribute getters", kAny, [&] {
      return Str(sgGetAttribW(c, W("s"))) + Str(sgGetAttribA(c, "new")) +
             Str(sgGetAttribStringW(c, W("none"), W("dflt"))) +
             Str(sgGetAttribStringA(c, "f", "dflt")) + Num(sgGetAttribIntW(c, W("i"), 5)) +
             Num(sgGetAttribIntA(c, "j", 5)) + Num(sgGetAttribDWordW(c, W("d"), 5)) +
             Num(sgGetAttribDWordA(c, "e", 5)) + Num(sgDoesAttribExistW(c, W("g"))) +
             Num(sgDoesAttribExistA(c, "none")) + Num(sgGetAttribCount(c)) +
             Str(sgGetAttribNameW(c, 0)) + Str(sgGetAttribValueW(c, 1)) +
             Num(sgGetAttribPosW(c, W("s"), 0)) + Num(sgGetAttribPosA(c, "rdf:about", 1));
    });
    run.Steps(kFail0, {
        {"sgDeleteAttribW", [&] { return sgDeleteAttribW(c, W("d")); }},
        {"sgDeleteAttribA", [&] { return sgDeleteAttribA(c, "e"); }},
        {"sgSetInnerStrW", [&] { return sgSetInnerStrW(c, W("\xe5\x86\x85"), -1); }},
        {"sgSetInnerStrA", [&] { return sgSetInnerStrA(c, "in\x82\xa0", 4); }},
        {"sgSetAfterStrW", [&] { return sgSetAfterStrW(c, W("\r\n"), -1); }},
        {"sgSetAfterStrA", [&] { return sgSetAfterStrA(c, "\r\n", -1); }},
        {"sgAddChildNodeW", [&] { return sgAddChildNodeW(c, W("kid"), 1); }},
        {"sgAddChildNodeA", [&] { return sgAddChildNodeA(c, "grandkid", 0); }},
        {"sgAddNodeW", [&] { return sgAddNodeW(c, W("sib"), 0); }},
        {"sgAddNodeA", [&] { return sgAddNodeA(c, "sib2", 1); }},
        {"sgAddNode2W", [&] { return sgAddNode2W(c, W("e"), 0, SG_KIND_EMPTY_TAG); }},
        {"sgAddNode2A", [&] { return sgAddNode2A(c, nullptr, 0, SG_KIND_COMMENT); }},
        {"sgInsertNodeBeforeW", [&] { return sgInsertNodeBeforeW(c, W("before"), 0); }},
        {"sgInsertNodeBeforeA", [&] { return sgInsertNodeBeforeA(c, "before2", 1); }},
        {"sgInsertNodeAfterW", [&] { return sgInsertNodeAfterW(c, W("after"), 0); }},
        {"sgInsertNodeAfterA", [&] { return sgInsertNodeAfterA(c, "after2", 0); }}});
    run.Step("sgAddNodePathW", kAny, [&] {
      sgMoveTo(c, SG_MOVE_BASE);
      return Num(sgAddNodePathW(c, W(std::string("rdf:RDF\0channel\0deep\0", 22)), 1));
    });
    run.Step("sgAddNodePathA", kAny, [&] {
      sgMoveTo(c, SG_MOVE_BASE);
      return Num(sgAddNodePathA(c, std::string("x\0y\0z\0", 7).c_str(), 0));
    });
    run.Step("sgMoveNode", kAny, [&] {
      return Num(sgMoveNode(c, SG_MOVENODE_FIRST)) + Num(sgMoveNode(c, SG_MOVENODE_LAST));
    });
    run.Step("sgDeleteNode", kAny, [&] {
      sgSearchA(c, "before", SG_SEARCH_FIRST);
      return Num(sgDeleteNode(c));
    });
    run.Steps(kFail0, {
        {"sgSaveAsA", [&] { return sgSaveAsA(c, copyPath.c_str(), 0); }},
        {"sgSaveAsW", [&] { return sgSaveAsW(c, copyPathW, SG_ENC_UTF8); }},
        {"sgSaveAsW utf-7", [&] { return sgSaveAsW(c, copyPathW, SG_ENC_UTF7); }},
        {"sgFlushXML", [&] { return sgFlushXML(c); }}});
    run.Step("sgSetUpdateFlag", kAny,
             [&] { return Num(sgSetUpdateFlag(c, 1)) + Num(sgSetXMLFlag(c, 1)); });
    SG_CURSOR created =
        run.Open("sgCreateXMLW", [&] { return sgCreateXMLW(newPathW, SG_ENC_UTF8, 1); });
    SG_CURSOR createdA = run.Open("sgCreateXMLA", [&] { return sgCreateXMLA(nullptr, 0, 0); });
    run.Close(createdA);
    run.Close(created);  // written back: it has a declaration and a name
    run.Close(c);        // written back to feed.xml
    run.Close(run.Open("sgOpenXMLW", [&] { return sgOpenXMLW(copyPathW); }), true);
  });
  EXPECT_GT(n, 100u);
}

// Notes of one document whose pieces refer to elements of another; the other
// document's cursors close first, so only the references keep it alive.
TEST(AllocSweep, NotesWithReferencesAcrossDocuments) {
  const unsigned long n = Sweep([&](ScenarioRun &run) {
    SG_CURSOR a = run.Open("parse a", [&] { return sgParseXMLA("<r><x/></r>", ~0u); });
    SG_CURSOR b = run.Open("parse b", [&] {
      return sgParseXMLA("<list><li>one<li>two<li>three</list>", ~0u);
    });
    SG_NOTE note = nullptr, noteA = nullptr;
    run.Step("sgCreateNoteW", kNull, [&] { return Ptr(note = sgCreateNoteW(a, W("n"))); });
    run.Step("sgCreateNoteA", kNull, [&] { return Ptr(noteA = sgCreateNoteA(a, "m")); });
    run.Step("sgNoteAddStrW", kFail0,
             [&] { return Num(sgNoteAddStrW(note, W("p1"), W("one "))); });
    run.Step("ref one", kAny, [&] {
      sgSearchA(b, "li", SG_SEARCH_FIRST);
      return Num(sgNoteSetReferenceNode(note, b));
    });
    run.Step("sgNoteAddStrA", kFail0, [&] { return Num(sgNoteAddStrA(note, "p2", "two")); });
    run.Step("ref two", kAny, [&] {
      sgSearchIndexA(b, "li", SG_SEARCH_FIRST, 1);
      return Num(sgNoteSetReferenceNode(note, b));
    });
    run.Steps(kFail0, {
        {"sgNoteAddStrLnW", [&] { return sgNoteAddStrLnW(note, nullptr, W("line")); }},
        {"sgNoteAddStrLnA", [&] { return sgNoteAddStrLnA(note, "p4", "next"); }},
        {"sgNotePrintFW", [&] { return sgNotePrintFW(note, W("p5"), W("%d"), 5); }},
        {"sgNotePrintFA", [&] { return sgNotePrintFA(note, "p6", "%s!", "six"); }}});
    run.Step("ref first again", kAny, [&] {
      sgSearchA(b, "li", SG_SEARCH_FIRST);
      return Num(sgNoteSetReferenceNode(note, b));
    });
    run.Step("sgNoteGetStrW", kPartial, [&] { return Str(sgNoteGetStrW(note)); });
    run.Step("sgNoteGetStrA", kPartial, [&] { return Str(sgNoteGetStrA(note)); });
    run.Step("sgNoteGetStrListW", kNull, [&] { return Ptr(sgNoteGetStrListW(note)); });
    run.Step("sgNoteGetStrListA", kNull, [&] { return Ptr(sgNoteGetStrListA(note)); });
    run.Step("sgNoteGetStrW again", kPartial, [&] { return Str(sgNoteGetStrW(note)); });
    run.Step("sgNoteGetPos", kAny,
             [&] { return Num(sgNoteGetPosW(note, W("p2"))) + Num(sgNoteGetPosA(note, "p5")); });
    run.Step("sgNoteSearchReferenceNode", kNone,
             [&] { return Num(sgNoteSearchReferenceNode(note, b)); });
    run.Steps(kFail0, {{"sgNoteSetAttribW", [&] { return sgNoteSetAttribW(note, W("k"), W("v")); }},
                       {"sgNoteSetAttribA", [&] { return sgNoteSetAttribA(note, "k2", "v2"); }}});
    run.Step("note attributes", kAny, [&] {
      return Str(sgNoteGetAttribW(note, W("k"))) + Str(sgNoteGetAttribA(note, "k2")) +
             Num(sgNoteDoesAttribExistW(note, W("k"))) + Num(sgNoteDoesAttribExistA(note, "zz")) +
             Num(sgNoteDeleteAttribW(note, W("k"))) + Num(sgNoteDeleteAttribA(note, "k2"));
    });
    run.Step("lookups", kAny, [&] {
      return Num(sgNoteGetCount(a)) + Ptr(sgNoteGetByIndex(a, 1)) +
             Ptr(sgNoteGetByNameW(a, W("N"))) + Ptr(sgNoteGetByNameA(a, "m"));
    });
    run.Step("sgDeleteNote", kAny, [&] {
      sgDeleteNote(noteA);
      return Num(sgNoteGetCount(a));
    });
    run.Close(b);  // b's document lives on through the references
    SG_CURSOR got = nullptr;
    run.Step("sgNoteGetReferenceNode", kAny, [&] {
      run.Track(got = sgNoteGetReferenceNode(note, 5, 0));
      return got ? Str(sgGetInnerStrA(got)) : kNull;
    });
    run.Step("delete referred element", kAny, [&] { return Num(sgDeleteNode(got)); });
    run.Step("reference after delete", kAny, [&] {
      SG_CURSOR gone = sgNoteGetReferenceNode(note, 0, 3);
      if (gone) sgCloseXML(gone);
      return Ptr(gone);
    });
    run.Close(got);
    run.Close(a);  // its notes go last, and with them document b
  });
  EXPECT_GT(n, 30u);
}

// Copies of a whole document, grafts between documents and their renderings.
TEST(AllocSweep, CopyGraftAndRender) {
  const unsigned long n = Sweep([&](ScenarioRun &run) {
    SG_CURSOR a = run.Open("parse a", [&] {
      return sgParseXMLA("<?xml version='1.0'?><r><p k='v'>t<q>u</q>w</p><s/></r>", ~0u);
    });
    SG_CURSOR b = run.Open("parse b", [&] {
      return sgParseXMLA("<html><body><div id=d>text<br>more</div></body></html>", ~0u);
    });
    SG_CURSOR copy = run.Open("sgCopyTree", [&] { return sgCopyTree(a); });
    SG_CURSOR dup = run.Open("sgDupXML", [&] { return sgDupXML(b); });
    run.Step("graft child", kAny, [&] {
      sgSearchA(a, "p", SG_SEARCH_FIRST);
      sgSearchA(b, "div", SG_SEARCH_FIRST);
      return Num(sgInsertTree(b, a, SG_INSERT_CHILD));
    });
    run.Steps(kFail0, {{"graft before", [&] { return sgInsertTree(b, a, SG_INSERT_BEFORE); }},
                       {"graft after", [&] { return sgInsertTree(b, a, SG_INSERT_AFTER); }}});
    run.Step("graft list", kAny, [&] {
      sgMoveTo(copy, SG_MOVE_BASE);
      return Num(sgInsertTree(b, copy, SG_INSERT_APPEND));
    });
    run.Step("render b", kPartial, [&] {
      sgMoveTo(dup, SG_MOVE_BASE);
      return TakeOuter(sgGetOuterXMLW(dup));
    });
    run.Step("render b narrow", kPartial, [&] { return TakeOuter(sgGetOuterXMLA(dup, 932)); });
    run.Step("render b utf-7", kPartial,
             [&] { return TakeOuter(sgGetOuterXMLA(dup, SG_ENC_UTF7)); });
    run.Step("render element", kPartial, [&] { return TakeOuter(sgGetOuterXMLA(b, SG_ENC_UTF8)); });
    run.Close(copy);
    run.Close(dup, true);
    run.Close(b);
    run.Close(a);
  });
  EXPECT_GT(n, 50u);
}

TEST(AllocSweep, TextConversions) {
  const unsigned long n = Sweep([&](ScenarioRun &run) {
    run.Step("sgToMBStr", kNull, [&] { return Str(sgToMBStr(W("a\xe3\x81\x82"))); });
    run.Step("sgToWCStr", kNull, [&] { return Str(sgToWCStr("b\x82\xa0")); });
    run.Step("sgToNormalStrTemp16W", kEmpty,
             [&] { return Str(sgToNormalStrTemp16W(W("&lt;x&AMP;\t"))); });
    run.Step("sgToNormalStrTemp16A", kEmpty,
             [&] { return Str(sgToNormalStrTemp16A("&nbsp;&quot;")); });
    run.Step("sgToQuoteStrTemp16W", kEmpty, [&] { return Str(sgToQuoteStrTemp16W(W("a <b>"))); });
    run.Step("sgToQuoteStrTemp16A", kEmpty, [&] { return Str(sgToQuoteStrTemp16A("\"&\"")); });
    run.Step("flag", kAny, [&] {
      uint32_t old = sgSetTextConvFlag(SG_TEXTCONV_KEEP_CONTROLS, SG_TEXTCONV_KEEP_CONTROLS);
      std::string r = Num(sgGetTextConvFlag()) + Str(sgToNormalStrTemp16A("a\tb"));
      sgSetTextConvFlag(old, 0xFFFFFFFFu);
      return r + Num(Version());
    });
  });
  EXPECT_GT(n, 5u);
}

}  // namespace

namespace {

// A note attribute set that meets an allocation failure says so: 0 and
// nothing set, or 1 and the value there. The sweeps cannot see a failure
// reported as success, since they accept the recorded result at the failure.
TEST(AllocSweep, NoteAttributeSetsAreAllOrNothing) {
  SG_CURSOR c = sgCreateXMLA(nullptr, SG_ENC_UTF8, 0);
  SG_NOTE note = sgCreateNoteA(c, "n");
  for (unsigned long n = 1; n < 12; ++n) {
    PlatformFailAllocationAt(n);
    const int32_t narrow = sgNoteSetAttribA(note, "k", "v");
    PlatformFailAllocationAt(n);
    const int32_t wide = sgNoteSetAttribW(note, W("w"), W("x"));
    PlatformFailAllocationAt(0);
    EXPECT_EQ(narrow == 1, Str(sgNoteGetAttribA(note, "k")) == "'v'") << n;
    EXPECT_EQ(wide == 1, Str(sgNoteGetAttribA(note, "w")) == "'x'") << n;
    sgNoteDeleteAttribA(note, "k");
    sgNoteDeleteAttribA(note, "w");
  }
  sgCloseXML(c);
}

}  // namespace
