# Cursors and notes: lifetimes (objects that outlive their cursor, note or
# element raise SprigClosedError instead of touching freed memory; deletes
# during iteration; closing never writes), text crossing the boundary exactly,
# the attribute mapping, insertion and navigation, notes and references.
import gc

import pytest

import sprig

SOURCE = "<r><a id='1'><b/></a><a id='2'/><c><a id='3'><a id='4'/></a></c></r>"
ODD = "x\U0001F600y\ud800z\udfff\u00e9\u3042"   # a pair, two lone surrogates


def test_closed_cursors_notes_and_iterators_raise():
    doc = sprig.Document.parse(SOURCE)
    a, other = doc.find_one("a"), doc.dup()
    attrs, found, children, names = a.attrs, doc.find("a"), doc.children(), iter(a.attrs)
    note = other.create_note("n")
    note.add("x", refer_to=a)
    assert next(found) == a and next(children) == a and next(names) == "id"
    other.close()
    assert note.deleted and doc.name == "r", "a note dies with its cursor, not the document"
    doc.close()
    assert doc.closed and a.closed
    for action in (lambda: doc.name, lambda: a.inner, lambda: attrs["id"], lambda: len(attrs),
                   lambda: a.outer_xml(), lambda: a.dup(), lambda: list(a.children()),
                   lambda: a.delete(), lambda: doc.save("x.xml"), lambda: a.move_next(),
                   lambda: next(found), lambda: next(children), lambda: next(names),
                   lambda: note.text, lambda: note.add("y"), lambda: note.attrs["k"],
                   lambda: note.reference(0), lambda: note.delete()):
        with pytest.raises(sprig.SprigClosedError):
            action()
    doc.close()  # closing twice does nothing


def test_cursor_inside_a_deleted_subtree_is_stale_not_dangling():
    with sprig.Document.parse(SOURCE) as doc:
        c, inner = doc.find_one("c"), doc.find_one("r/c/a")
        deepest, head, sibling = inner.find_one("a"), c.dup(), doc.find_one("a")
        assert deepest.attrs["id"] == "4" and head.move_into() and not head.selected
        c.delete()
        for stale in (inner, deepest, head):
            with pytest.raises(sprig.SprigClosedError, match="deleted"):
                stale.name
        assert sibling.attrs["id"] == "1" and [a.attrs["id"] for a in doc.find("a")] == ["1", "2"]
    with sprig.Document.parse("<r><a><b/></a><a><b/></a></r>") as doc:
        found = doc.find("r/a/b")
        assert next(found).name == "b"
        list(doc.find("r/a"))[1].delete()      # holds the path iterator's next match
        with pytest.raises(sprig.SprigClosedError):
            next(found)


@pytest.mark.parametrize("method", ["find", "select"])
def test_deleting_while_iterating(method):
    with sprig.Document.parse(SOURCE) as doc:
        # Ids 3 and 4 are nested: the search resumes after the deleted subtree.
        seen = []
        for a in getattr(doc, method)("a"):
            seen.append(a.attrs["id"])
            a.delete()
        assert seen == ["1", "2", "3"] and doc.outer_xml() == "<r><c></c></r>"
    with sprig.Document.parse("<r><p/><q/><p/><p/></r>") as doc:
        for child in doc.find_one("r").children():
            if child.name == "p":
                child.delete()
        assert doc.outer_xml() == "<r><q/></r>"


def test_derived_cursors_close_with_their_document_and_closing_never_writes(tmp_path):
    path = tmp_path / "doc.xml"
    path.write_bytes(b"<r><a/></r>")
    for close in (sprig.Document.close, sprig.Document.discard, None):   # None: collected
        doc = sprig.Document.open(path)
        kept = doc.find_one("a")
        kept.attrs["x"] = "1"
        if close:
            close(doc)
            assert kept.closed
        del doc, kept
        gc.collect()
        assert path.read_bytes() == b"<r><a/></r>"


def test_surrogates_and_long_strings_round_trip(tmp_path):
    with sprig.Document.parse("<r k='%s'>%s<e/>%s</r>" % (ODD, ODD, ODD)) as doc:
        e = doc.find_one("e")
        assert (doc.inner, doc.attrs["k"], e.after, doc.text) == (ODD, ODD, ODD, ODD + ODD)
        e.inner = ODD
        e.attrs[ODD] = ODD
        assert e.outer_xml() == '<e %s="%s">%s</e>%s' % (ODD, ODD, ODD, ODD)
        named = doc.insert(ODD, where="child")
        assert named.name == ODD and doc.find_one(ODD) == named
        note = doc.create_note(ODD)
        note.add(ODD, name=ODD)
        assert note.text == ODD and note.strings() == [ODD] and doc.note(ODD) is note
    big = "<r>" + "<p>\u3042</p>" * 20000 + "</r>"
    with sprig.Document.parse(big) as doc:
        assert doc.outer_xml() == big, "strings longer than a page are read whole"


def test_attribute_mapping():
    with sprig.Document.parse('<r><input Type=text disabled value="a b" type=dup></r>') as doc:
        attrs = doc.find_one("input").attrs
        assert list(attrs) == ["Type", "disabled", "value", "type"] and len(attrs) == 4
        assert attrs["TYPE"] == "text", "names match in any case; the first wins"
        assert attrs["disabled"] is None and "disabled" in attrs and attrs.get("missing", "d") == "d"
        assert "missing" not in attrs and 3 not in attrs
        attrs["value"] = 42
        attrs["new"] = None
        del attrs["type"]
        assert attrs.items() == [("disabled", None), ("value", "42"), ("type", "dup"), ("new", None)]
        for action, error in ((lambda: attrs["missing"], KeyError),
                              (lambda: attrs.__delitem__("x"), KeyError),
                              (lambda: attrs.__setitem__("", "x"), ValueError),
                              (lambda: _at_head(doc).attrs.__setitem__("x", "1"), sprig.SprigError)):
            with pytest.raises(error):
                action()
        assert doc.find_one("input").outer_xml() == '<input disabled value="42" type=dup new>'


def _at_head(doc):
    head = doc.dup()
    head.move_base()
    return head


def test_insert_and_navigation():
    with sprig.Document.parse("<r><b/></r>") as doc, sprig.Document.parse("<s><t>1</t></s>") as other:
        b, r = doc.find_one("b"), doc.find_one("r")
        assert b.insert("a", where="before").name == "a" and b.insert("c", where="after").name == "c"
        r.insert("z")
        r.insert(other.find_one("t"), where="child")
        assert [c.name for c in r.children()] == ["a", "b", "c", "z", "t"]
        assert r.insert(None, where="end", kind=sprig.KIND_PLAIN).name is None
        for action, error in ((lambda: b.insert("x", where="before", kind=sprig.KIND_VOID), ValueError),
                              (lambda: b.insert("x", where="inside"), ValueError),
                              (lambda: _at_head(doc).insert("x", where="child"), sprig.SprigError)):
            with pytest.raises(error):
                action()
        leaf = doc.insert_path("r/p/q")
        assert leaf.name == "q" and leaf.level == 2 and doc.find_one("r/p/q") == leaf
        other.find_one("t").inner = "\u65e5"
        assert doc.find_one("t").inner == "1", "an inserted tree is a copy"
        assert other.find_one("t").outer_xml_bytes("shift_jis") == "<t>\u65e5</t>".encode("cp932")
        walker = doc.find_one("a")
        assert walker.move_next() and walker.name == "b" and walker.index == 1
        assert walker.move_parent() and walker.name == "r" and not walker.move_parent()
        assert doc.search("B", sprig.SEARCH_FIRST) and doc.name == "b"


def test_notes_pieces_attributes_and_positions():
    with sprig.Document.parse("<r/>") as doc:
        note = doc.create_note("log")
        assert note.text == "" and note.strings() == []
        note.add("ab", name="first")
        note.add("cd", name="second", line=True)
        note.add("\U0001F600f", name="third")
        assert note.text == "abcd\n\U0001F600f" and note.strings() == ["abcd", "\U0001F600f"]
        assert (note.position("SECOND"), note.position("third"), note.position("none")) == (2, 5, None)
        attrs = note.attrs
        attrs["Key"], attrs["flag"] = "v", None
        assert attrs["key"] == "v" and attrs["flag"] is None and "FLAG" in attrs
        del attrs["key"]
        assert "key" not in attrs and attrs.get("key") is None
        for action, error in ((lambda: attrs.__delitem__("key"), KeyError), (lambda: list(attrs), TypeError)):
            with pytest.raises(error):
                action()
        first, second = doc.create_note("one"), doc.create_note("two")
        first.delete()
        assert doc.notes == [note, second] and doc.note("one") is None


def test_note_references_across_documents():
    with sprig.Document.parse("<a>1</a><b>2</b><c>3</c>") as doc:
        with sprig.Document.parse("<x>other</x>") as other:
            note = doc.create_note("refs")
            a, b, c = doc.find_one("a"), doc.find_one("b"), doc.find_one("c")
            note.add("\U0001F600a", refer_to=a)
            note.add("bb", refer_to=b)
            note.add("plain")
            note.add("xx", refer_to=other.find_one("x"))
            assert note.text == "\U0001F600abbplainxx"
            assert (note.find_reference(b), note.find_reference(c)) == (2, None)
            assert [note.reference(i).name for i in (0, 1, 2)] == ["a", "a", "b"]
            assert note.reference(5) is None
            assert [note.reference(i, mode=m).name for i, m in ((3, "at_or_after"), (5, "at_or_after"),
                    (20, "at_or_after"), (5, "before"), (5, "after"))] == ["b", "x", "x", "b", "x"]
            with pytest.raises(ValueError):
                note.reference(0, mode="nearest")
            far = note.reference(9)
        assert far.name == "x" and far.inner == "other", "the reference keeps the other document alive"
        b.delete()
        assert note.reference(2) is None, "a deleted element is referred to no more"
    assert far.closed, "reference cursors close with the document of the note"
