// Allocation-failure sweeps over scenarios that together call every public
// function: reading a real page, opening, editing and saving a real feed,
// notes whose pieces refer into another document, copies and grafts with
// their renderings, and the text conversions. See sweep.h for the rule each
// run must keep.
#include <gtest/gtest.h>

#include <string>

#include "support.h"
#include "sweep.h"

namespace {

using sprig_reliability::Num;
using sprig_reliability::Ptr;
using sprig_reliability::ScenarioRun;
using sprig_reliability::Str;
using sprig_reliability::Sweep;
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
  SG_CURSOR c = nullptr;
  run.Step("sgParseXMLA", kNull, [&] {
    c = sgParseXMLA(page.data(), static_cast<uint32_t>(page.size()));
    run.Track(c);
    return Ptr(c);
  });
  run.Step("sgGetSrcXML", kNull, [&] { return Ptr(sgGetSrcXML(c)); });
  run.Step("sgGetEncoding", kFail0, [&] { return Num(sgGetEncoding(c)); });
  // Every element in document order, every field in both forms.
  run.Step("walk", kAny, [&] {
    std::string all;
    sgMoveTo(c, SG_MOVE_BASE);
    while (sgMoveTo(c, SG_MOVE_NEXT_IN_ORDER)) {
      all += Str(sgGetNameA(c)) + Str(sgGetInnerStrA(c)) + Str(sgGetAfterStrA(c));
      for (uint32_t i = 0; i < sgGetAttribCount(c); ++i) {
        all += Str(sgGetAttribNameA(c, static_cast<int32_t>(i))) +
               Str(sgGetAttribValueA(c, static_cast<int32_t>(i)));
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
  run.Step("sgSearchIndexW", kFail0, [&] {
    return Num(sgSearchIndexW(c, Utf16("div").c_str(), SG_SEARCH_FIRST, 1));
  });
  run.Step("sgSearchW", kAny, [&] {
    std::string r = Num(sgSearchW(c, Utf16("article").c_str(), SG_SEARCH_ANCESTOR));
    r += Num(sgSearchW(c, Utf16("h2").c_str(), SG_SEARCH_DESCENDANT));
    r += Num(sgSearchW(c, Utf16("h1").c_str(), SG_SEARCH_PREV));
    r += Num(sgSearchW(c, Utf16("div").c_str(), SG_SEARCH_NEXT_SIBLING));
    r += Num(sgSearchW(c, Utf16("h1").c_str(), SG_SEARCH_PREV_SIBLING));
    r += Num(sgSearchW(c, Utf16("h2").c_str(), SG_SEARCH_FIRST_SIBLING));
    r += Num(sgSearchW(c, Utf16("div").c_str(), SG_SEARCH_NEXT));
    return r;
  });
  run.Step("sgSearchIndexA path", kAny, [&] {
    std::string path("html\0body\0article\0div\0", 23);
    return Num(sgSearchIndexA(c, path.c_str(), SG_SEARCH_PATH_FIRST, 1)) +
           Num(sgSearchA(c, path.c_str(), SG_SEARCH_PATH_NEXT));
  });
  run.Step("sgSeek", kAny, [&] {
    uint32_t id = 0;
    sgGetNodeID(c, &id);
    sgMoveTo(c, SG_MOVE_BASE);
    return Num(sgSeek(c, id)) + Num(sgSetLevel(c, 1)) + Num(sgSetIndex(c, 0));
  });
  run.Step("sgSetBase", kAny, [&] {
    uint32_t count = 0;
    std::string r = Num(sgSetBase(c, 1)) + Num(sgScanTree(c, CountProc, reinterpret_cast<intptr_t>(&count)));
    r += Num(count) + Num(sgSetBase(c, 0));
    return r;
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
  const std::string page = sprig_test::ReadFileBytes(sprig_test::CorpusPath("html/normalize-spaces.html"));
  ASSERT_FALSE(page.empty());
  const unsigned long n = Sweep([&](ScenarioRun &run) { ReadPage(run, page); });
  EXPECT_GT(n, 100u);
  RecordProperty("allocations", static_cast<int>(n));
}

TEST(AllocSweep, ParseUtf16Text) {
  const WString text = Utf16("<?xml version='1.0'?><r a='1'><p>x&amp;y<b/>t</p><!-- c --><q/></r>");
  const unsigned long n = Sweep([&](ScenarioRun &run) {
    SG_CURSOR c = nullptr;
    run.Step("sgParseXMLW", kNull, [&] {
      c = sgParseXMLW(text.c_str(), 0xFFFFFFFFu);
      run.Track(c);
      return Ptr(c);
    });
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
  const std::string page = sprig_test::ReadFileBytes(sprig_test::CorpusPath("html/bug-1255978.html"));
  const size_t meta = page.find("charset=utf-8");
  ASSERT_NE(std::string::npos, meta);
  const std::string path = dir.WriteFile("page.html", page.substr(0, meta + 400) + "\xc3\xa9</head></html>");
  const WString pathW = Utf16(path);
  const unsigned long n = Sweep([&](ScenarioRun &run) {
    SG_CURSOR c = nullptr;
    run.Step("sgOpenXMLW", kNull, [&] {
      c = sgOpenXMLW(pathW.c_str());
      run.Track(c);
      return Ptr(c);
    });
    run.Step("sgGetEncoding", kFail0, [&] { return Num(sgGetEncoding(c)); });
    run.Step("sgSearchA", kFail0, [&] { return Num(sgSearchA(c, "link", SG_SEARCH_FIRST)); });
    run.Step("sgGetAttribA", kNull, [&] { return Str(sgGetAttribA(c, "rel")); });
    run.Step("sgGetOuterXMLA", kPartial, [&] {
      sgMoveTo(c, SG_MOVE_BASE);
      return TakeOuter(sgGetOuterXMLA(c, SG_ENC_UTF8));
    });
    run.Close(c);
  });
  EXPECT_GT(n, 20u);
  SG_CURSOR once = sgOpenXMLW(pathW.c_str());
  ASSERT_NE(nullptr, once);
  EXPECT_EQ(SG_ENC_UTF8, sgGetEncoding(once));  // the restart did happen
  sgCloseXML(once);
}

// Open a real Shift-JIS feed, change it through every editing family, save
// it under another name and in other code pages, flush it and let the close
// write it back.
TEST(AllocSweep, OpenEditSave) {
  sprig_test::TempDir dir;
  const std::string feed = sprig_test::ReadFileBytes(sprig_test::CorpusPath("feeds/SHIFT_JIS/10e.org.xml"));
  ASSERT_GT(feed.size(), 1500u);
  // A cut of the feed that ends after a whole element keeps N small.
  const std::string cut = feed.substr(0, feed.find("<items>")) + "</channel></rdf:RDF>\r\n";
  const std::string path = dir.File("feed.xml");
  const std::string copyPath = dir.File("copy.xml");
  const WString copyPathW = Utf16(copyPath);
  const WString newPathW = Utf16(dir.File("new.xml"));
  const unsigned long n = Sweep([&](ScenarioRun &run) {
    ASSERT_TRUE(sprig_test::WriteFileBytes(path, cut));
    SG_CURSOR c = nullptr;
    run.Step("sgOpenXMLA", kNull, [&] {
      c = sgOpenXMLA(path.c_str());
      run.Track(c);
      return Ptr(c);
    });
    run.Step("sgSearchA", kFail0, [&] { return Num(sgSearchA(c, "channel", SG_SEARCH_FIRST)); });
    run.Step("sgSetAttribW", kFail0, [&] { return Num(sgSetAttribW(c, Utf16("rdf:about").c_str(), Utf16("x").c_str())); });
    run.Step("sgSetAttribA", kFail0, [&] { return Num(sgSetAttribA(c, "new", "\x83\x65")); });
    run.Step("sgSetAttribStringW", kFail0, [&] { return Num(sgSetAttribStringW(c, Utf16("s").c_str(), Utf16("v").c_str())); });
    run.Step("sgSetAttribStringA", kFail0, [&] { return Num(sgSetAttribStringA(c, "s", "w")); });
    run.Step("sgSetAttribIntW", kFail0, [&] { return Num(sgSetAttribIntW(c, Utf16("i").c_str(), 0xFFFFFFFEu)); });
    run.Step("sgSetAttribIntA", kFail0, [&] { return Num(sgSetAttribIntA(c, "j", 42)); });
    run.Step("sgSetAttribDWordW", kFail0, [&] { return Num(sgSetAttribDWordW(c, Utf16("d").c_str(), 0xBEEF)); });
    run.Step("sgSetAttribDWordA", kFail0, [&] { return Num(sgSetAttribDWordA(c, "e", 0xCAFE)); });
    run.Step("sgAttribPrintFW", kFail0, [&] {
      return Num(sgAttribPrintFW(c, Utf16("f").c_str(), Utf16("%d-%s").c_str(), 7, Utf16("z").c_str()));
    });
    run.Step("sgAttribPrintFA", kFail0, [&] { return Num(sgAttribPrintFA(c, "g", "%x", 255)); });
    run.Step("attribute getters", kAny, [&] {
      return Str(sgGetAttribW(c, Utf16("s").c_str())) + Str(sgGetAttribA(c, "new")) +
             Str(sgGetAttribStringW(c, Utf16("none").c_str(), Utf16("dflt").c_str())) +
             Str(sgGetAttribStringA(c, "f", "dflt")) + Num(sgGetAttribIntW(c, Utf16("i").c_str(), 5)) +
             Num(sgGetAttribIntA(c, "j", 5)) + Num(sgGetAttribDWordW(c, Utf16("d").c_str(), 5)) +
             Num(sgGetAttribDWordA(c, "e", 5)) + Num(sgDoesAttribExistW(c, Utf16("g").c_str())) +
             Num(sgDoesAttribExistA(c, "none")) + Num(sgGetAttribCount(c)) +
             Str(sgGetAttribNameW(c, 0)) + Str(sgGetAttribValueW(c, 1)) +
             Num(sgGetAttribPosW(c, Utf16("s").c_str(), 0)) + Num(sgGetAttribPosA(c, "rdf:about", 1));
    });
    run.Step("sgDeleteAttribW", kFail0, [&] { return Num(sgDeleteAttribW(c, Utf16("d").c_str())); });
    run.Step("sgDeleteAttribA", kFail0, [&] { return Num(sgDeleteAttribA(c, "e")); });
    run.Step("sgSetInnerStrW", kFail0, [&] { return Num(sgSetInnerStrW(c, Utf16("\xe5\x86\x85").c_str(), -1)); });
    run.Step("sgSetInnerStrA", kFail0, [&] { return Num(sgSetInnerStrA(c, "in\x82\xa0", 4)); });
    run.Step("sgSetAfterStrW", kFail0, [&] { return Num(sgSetAfterStrW(c, Utf16("\r\n").c_str(), -1)); });
    run.Step("sgSetAfterStrA", kFail0, [&] { return Num(sgSetAfterStrA(c, "\r\n", -1)); });
    run.Step("sgAddChildNodeW", kFail0, [&] { return Num(sgAddChildNodeW(c, Utf16("kid").c_str(), 1)); });
    run.Step("sgAddChildNodeA", kFail0, [&] { return Num(sgAddChildNodeA(c, "grandkid", 0)); });
    run.Step("sgAddNodeW", kFail0, [&] { return Num(sgAddNodeW(c, Utf16("sib").c_str(), 0)); });
    run.Step("sgAddNodeA", kFail0, [&] { return Num(sgAddNodeA(c, "sib2", 1)); });
    run.Step("sgAddNode2W", kFail0, [&] { return Num(sgAddNode2W(c, Utf16("e").c_str(), 0, SG_KIND_EMPTY_TAG)); });
    run.Step("sgAddNode2A", kFail0, [&] { return Num(sgAddNode2A(c, nullptr, 0, SG_KIND_COMMENT)); });
    run.Step("sgInsertNodeBeforeW", kFail0, [&] { return Num(sgInsertNodeBeforeW(c, Utf16("before").c_str(), 0)); });
    run.Step("sgInsertNodeBeforeA", kFail0, [&] { return Num(sgInsertNodeBeforeA(c, "before2", 1)); });
    run.Step("sgInsertNodeAfterW", kFail0, [&] { return Num(sgInsertNodeAfterW(c, Utf16("after").c_str(), 0)); });
    run.Step("sgInsertNodeAfterA", kFail0, [&] { return Num(sgInsertNodeAfterA(c, "after2", 0)); });
    run.Step("sgAddNodePathW", kAny, [&] {
      sgMoveTo(c, SG_MOVE_BASE);
      return Num(sgAddNodePathW(c, Utf16(std::string("rdf:RDF\0channel\0deep\0", 22)).c_str(), 1));
    });
    run.Step("sgAddNodePathA", kAny, [&] {
      sgMoveTo(c, SG_MOVE_BASE);
      return Num(sgAddNodePathA(c, std::string("x\0y\0z\0", 7).c_str(), 0));
    });
    run.Step("sgMoveNode", kAny, [&] { return Num(sgMoveNode(c, SG_MOVENODE_FIRST)) + Num(sgMoveNode(c, SG_MOVENODE_LAST)); });
    run.Step("sgDeleteNode", kAny, [&] {
      sgSearchA(c, "before", SG_SEARCH_FIRST);
      return Num(sgDeleteNode(c));
    });
    run.Step("sgSaveAsA", kFail0, [&] { return Num(sgSaveAsA(c, copyPath.c_str(), 0)); });
    run.Step("sgSaveAsW", kFail0, [&] { return Num(sgSaveAsW(c, copyPathW.c_str(), SG_ENC_UTF8)); });
    run.Step("sgSaveAsW utf-7", kFail0, [&] { return Num(sgSaveAsW(c, copyPathW.c_str(), SG_ENC_UTF7)); });
    run.Step("sgFlushXML", kFail0, [&] { return Num(sgFlushXML(c)); });
    run.Step("sgSetUpdateFlag", kAny, [&] { return Num(sgSetUpdateFlag(c, 1)) + Num(sgSetXMLFlag(c, 1)); });
    SG_CURSOR created = nullptr;
    run.Step("sgCreateXMLW", kNull, [&] {
      created = sgCreateXMLW(newPathW.c_str(), SG_ENC_UTF8, 1);
      run.Track(created);
      return Ptr(created);
    });
    SG_CURSOR createdA = nullptr;
    run.Step("sgCreateXMLA", kNull, [&] {
      createdA = sgCreateXMLA(nullptr, 0, 0);
      run.Track(createdA);
      return Ptr(createdA);
    });
    run.Close(createdA);
    run.Close(created);   // written back: it has a declaration and a name
    run.Close(c);         // written back to feed.xml
    SG_CURSOR again = nullptr;
    run.Step("sgOpenXMLW", kNull, [&] {
      again = sgOpenXMLW(copyPathW.c_str());
      run.Track(again);
      return Ptr(again);
    });
    run.Close(again, true);
  });
  EXPECT_GT(n, 100u);
}

// Notes of one document whose pieces refer to elements of another; the other
// document's cursors close first, so only the references keep it alive.
TEST(AllocSweep, NotesWithReferencesAcrossDocuments) {
  const unsigned long n = Sweep([&](ScenarioRun &run) {
    SG_CURSOR a = nullptr, b = nullptr, got = nullptr;
    SG_NOTE note = nullptr, noteA = nullptr;
    run.Step("parse a", kNull, [&] {
      a = sgParseXMLA("<r><x/></r>", 0xFFFFFFFFu);
      run.Track(a);
      return Ptr(a);
    });
    run.Step("parse b", kNull, [&] {
      b = sgParseXMLA("<list><li>one<li>two<li>three</list>", 0xFFFFFFFFu);
      run.Track(b);
      return Ptr(b);
    });
    run.Step("sgCreateNoteW", kNull, [&] { return Ptr(note = sgCreateNoteW(a, Utf16("n").c_str())); });
    run.Step("sgCreateNoteA", kNull, [&] { return Ptr(noteA = sgCreateNoteA(a, "m")); });
    run.Step("sgNoteAddStrW", kFail0, [&] { return Num(sgNoteAddStrW(note, Utf16("p1").c_str(), Utf16("one ").c_str())); });
    run.Step("ref one", kAny, [&] {
      sgSearchA(b, "li", SG_SEARCH_FIRST);
      return Num(sgNoteSetReferenceNode(note, b));
    });
    run.Step("sgNoteAddStrA", kFail0, [&] { return Num(sgNoteAddStrA(note, "p2", "two")); });
    run.Step("ref two", kAny, [&] {
      sgSearchIndexA(b, "li", SG_SEARCH_FIRST, 1);
      return Num(sgNoteSetReferenceNode(note, b));
    });
    run.Step("sgNoteAddStrLnW", kFail0, [&] { return Num(sgNoteAddStrLnW(note, nullptr, Utf16("line").c_str())); });
    run.Step("sgNoteAddStrLnA", kFail0, [&] { return Num(sgNoteAddStrLnA(note, "p4", "next")); });
    run.Step("sgNotePrintFW", kFail0, [&] { return Num(sgNotePrintFW(note, Utf16("p5").c_str(), Utf16("%d").c_str(), 5)); });
    run.Step("sgNotePrintFA", kFail0, [&] { return Num(sgNotePrintFA(note, "p6", "%s!", "six")); });
    run.Step("ref first again", kAny, [&] {
      sgSearchA(b, "li", SG_SEARCH_FIRST);
      return Num(sgNoteSetReferenceNode(note, b));
    });
    run.Step("sgNoteGetStrW", kPartial, [&] { return Str(sgNoteGetStrW(note)); });
    run.Step("sgNoteGetStrA", kPartial, [&] { return Str(sgNoteGetStrA(note)); });
    run.Step("sgNoteGetStrListW", kNull, [&] { return Ptr(sgNoteGetStrListW(note)); });
    run.Step("sgNoteGetStrListA", kNull, [&] { return Ptr(sgNoteGetStrListA(note)); });
    run.Step("sgNoteGetStrW again", kPartial, [&] { return Str(sgNoteGetStrW(note)); });
    run.Step("sgNoteGetPos", kAny, [&] {
      return Num(sgNoteGetPosW(note, Utf16("p2").c_str())) + Num(sgNoteGetPosA(note, "p5"));
    });
    run.Step("sgNoteSearchReferenceNode", kNone, [&] { return Num(sgNoteSearchReferenceNode(note, b)); });
    run.Step("note attributes", kAny, [&] {
      return Num(sgNoteSetAttribW(note, Utf16("k").c_str(), Utf16("v").c_str())) +
             Num(sgNoteSetAttribA(note, "k2", "v2")) + Str(sgNoteGetAttribW(note, Utf16("k").c_str())) +
             Str(sgNoteGetAttribA(note, "k2")) + Num(sgNoteDoesAttribExistW(note, Utf16("k").c_str())) +
             Num(sgNoteDoesAttribExistA(note, "zz")) + Num(sgNoteDeleteAttribW(note, Utf16("k").c_str())) +
             Num(sgNoteDeleteAttribA(note, "k2"));
    });
    run.Step("lookups", kAny, [&] {
      return Num(sgNoteGetCount(a)) + Ptr(sgNoteGetByIndex(a, 1)) + Ptr(sgNoteGetByNameW(a, Utf16("N").c_str())) +
             Ptr(sgNoteGetByNameA(a, "m"));
    });
    run.Step("sgDeleteNote", kAny, [&] {
      sgDeleteNote(noteA);
      return Num(sgNoteGetCount(a));
    });
    run.Close(b);  // b's document lives on through the references
    run.Step("sgNoteGetReferenceNode", kAny, [&] {
      got = sgNoteGetReferenceNode(note, 5, 0);
      run.Track(got);
      return got ? Str(sgGetInnerStrA(got)) : kNull;
    });
    run.Step("delete referred element", kAny, [&] { return Num(sgDeleteNode(got)); });
    run.Step("reference after delete", kAny, [&] {
      SG_CURSOR gone = sgNoteGetReferenceNode(note, 0, 3);
      std::string r = Ptr(gone);
      if (gone) sgCloseXML(gone);
      return r;
    });
    run.Close(got);
    run.Close(a);  // its notes go last, and with them document b
  });
  EXPECT_GT(n, 30u);
}

// Copies of a whole document, grafts between documents and their renderings.
TEST(AllocSweep, CopyGraftAndRender) {
  const unsigned long n = Sweep([&](ScenarioRun &run) {
    SG_CURSOR a = nullptr, b = nullptr, copy = nullptr, dup = nullptr;
    run.Step("parse a", kNull, [&] {
      a = sgParseXMLA("<?xml version='1.0'?><r><p k='v'>t<q>u</q>w</p><s/></r>", 0xFFFFFFFFu);
      run.Track(a);
      return Ptr(a);
    });
    run.Step("parse b", kNull, [&] {
      b = sgParseXMLA("<html><body><div id=d>text<br>more</div></body></html>", 0xFFFFFFFFu);
      run.Track(b);
      return Ptr(b);
    });
    run.Step("sgCopyTree", kNull, [&] {
      copy = sgCopyTree(a);
      run.Track(copy);
      return Ptr(copy);
    });
    run.Step("sgDupXML", kNull, [&] {
      dup = sgDupXML(b);
      run.Track(dup);
      return Ptr(dup);
    });
    run.Step("graft child", kAny, [&] {
      sgSearchA(a, "p", SG_SEARCH_FIRST);
      sgSearchA(b, "div", SG_SEARCH_FIRST);
      return Num(sgInsertTree(b, a, SG_INSERT_CHILD));
    });
    run.Step("graft before", kFail0, [&] { return Num(sgInsertTree(b, a, SG_INSERT_BEFORE)); });
    run.Step("graft after", kFail0, [&] { return Num(sgInsertTree(b, a, SG_INSERT_AFTER)); });
    run.Step("graft list", kAny, [&] {
      sgMoveTo(copy, SG_MOVE_BASE);
      return Num(sgInsertTree(b, copy, SG_INSERT_APPEND));
    });
    run.Step("render b", kPartial, [&] {
      sgMoveTo(dup, SG_MOVE_BASE);
      return TakeOuter(sgGetOuterXMLW(dup));
    });
    run.Step("render b narrow", kPartial, [&] { return TakeOuter(sgGetOuterXMLA(dup, 932)); });
    run.Step("render b utf-7", kPartial, [&] { return TakeOuter(sgGetOuterXMLA(dup, SG_ENC_UTF7)); });
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
    run.Step("sgToMBStr", kNull, [&] { return Str(sgToMBStr(Utf16("a\xe3\x81\x82").c_str())); });
    run.Step("sgToWCStr", kNull, [&] { return Str(sgToWCStr("b\x82\xa0")); });
    run.Step("sgToNormalStrTemp16W", kEmpty, [&] { return Str(sgToNormalStrTemp16W(Utf16("&lt;x&AMP;\t").c_str())); });
    run.Step("sgToNormalStrTemp16A", kEmpty, [&] { return Str(sgToNormalStrTemp16A("&nbsp;&quot;")); });
    run.Step("sgToQuoteStrTemp16W", kEmpty, [&] { return Str(sgToQuoteStrTemp16W(Utf16("a <b>").c_str())); });
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
