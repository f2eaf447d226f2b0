# Lifetimes: objects that outlive their cursor, note or element raise
# SprigClosedError instead of touching freed memory; deletes during
# iteration; cursors made from a document close with it; closing never writes.
import gc

import pytest

import sprig

SOURCE = "<r><a id='1'><b/></a><a id='2'/><c><a id='3'><a id='4'/></a></c></r>"


def test_closed_cursor_raises_everywhere():
    doc = sprig.Document.parse(SOURCE)
    a = doc.find_one("a")
    attrs = a.attrs
    doc.close()
    assert doc.closed and a.closed
    for action in (lambda: doc.name, lambda: a.inner, lambda: attrs["id"], lambda: len(attrs),
                   lambda: a.outer_xml(), lambda: a.dup(), lambda: list(a.children()),
                   lambda: a.delete(), lambda: doc.save("x.xml"), lambda: a.move_next()):
        with pytest.raises(sprig.SprigClosedError):
            action()
    doc.close()  # closing twice does nothing


def test_iterators_stop_with_a_clear_error_when_the_document_closes():
    doc = sprig.Document.parse(SOURCE)
    found = doc.find("a")
    children = doc.find_one("r").children()
    assert next(found).attrs["id"] == "1"
    assert next(children).name == "a"
    names = iter(doc.find_one("a").attrs)
    assert next(names) == "id"
    doc.close()
    with pytest.raises(sprig.SprigClosedError):
        next(found)
    with pytest.raises(sprig.SprigClosedError):
        next(children)
    with pytest.raises(sprig.SprigClosedError):
        next(names)


def test_notes_die_with_their_cursor():
    doc = sprig.Document.parse(SOURCE)
    other = doc.dup()
    note = other.create_note("n")
    note.add("x", refer_to=doc.find_one("b"))
    note.attrs["k"] = "v"
    assert other.note("N") is note
    other.close()
    assert note.deleted
    for action in (lambda: note.text, lambda: note.add("y"), lambda: note.attrs["k"],
                   lambda: note.reference(0), lambda: note.delete()):
        with pytest.raises(sprig.SprigClosedError):
            action()
    assert doc.name == "r", "the document lives on with its first cursor"
    doc.close()


def test_deleted_note_raises_and_is_gone_from_its_cursor():
    with sprig.Document.parse(SOURCE) as doc:
        first, second = doc.create_note("one"), doc.create_note("two")
        first.delete()
        with pytest.raises(sprig.SprigClosedError):
            first.add("x")
        assert doc.notes == [second]
        assert doc.note("one") is None


def test_cursor_inside_a_deleted_subtree_is_stale_not_dangling():
    with sprig.Document.parse(SOURCE) as doc:
        c = doc.find_one("c")
        inner = doc.find_one("r/c/a")    # id 3, inside c
        deepest = inner.find_one("a")
        assert deepest.attrs["id"] == "4"
        head = c.dup()
        assert head.move_into() and not head.selected
        sibling = doc.find_one("a")      # id 1, outside c
        c.delete()
        for stale in (inner, deepest, head):
            with pytest.raises(sprig.SprigClosedError, match="deleted"):
                stale.name
            stale.close()
        assert sibling.attrs["id"] == "1"
        assert [a.attrs["id"] for a in doc.find("a")] == ["1", "2"]


@pytest.mark.parametrize("method", ["find", "select"])
def test_deleting_while_iterating(method):
    with sprig.Document.parse(SOURCE) as doc:
        # Each match contains the next one for ids 3 and 4: the search resumes
        # after the deleted subtree.
        seen = []
        for a in getattr(doc, method)("a"):
            seen.append(a.attrs["id"])
            a.delete()
        assert seen == ["1", "2", "3"]
        assert doc.find_one("a") is None
        assert doc.outer_xml() == "<r><c></c></r>"
    with sprig.Document.parse("<r><p/><q/><p/><p/></r>") as doc:
        for child in doc.find_one("r").children():
            if child.name == "p":
                child.delete()
        assert doc.outer_xml() == "<r><q/></r>"


def test_path_iterator_loses_its_place_clearly():
    with sprig.Document.parse("<r><a><b/></a><a><b/></a></r>") as doc:
        found = doc.find("r/a/b")
        first = next(found)
        assert first.name == "b"
        doc.find_one("a").move_next()
        second_a = list(doc.find("r/a"))[1]
        second_a.delete()                # holds the iterator's next match
        with pytest.raises(sprig.SprigClosedError):
            next(found)


def test_derived_cursors_close_with_their_document_and_closing_never_writes(tmp_path):
    path = tmp_path / "doc.xml"
    path.write_bytes(b"<r><a/></r>")
    doc = sprig.Document.open(path)
    kept = doc.find_one("a")
    kept.attrs["x"] = "1"
    dropped = doc.dup()
    del dropped
    gc.collect()
    doc.close()
    assert kept.closed
    doc = sprig.Document.open(path)
    doc.find_one("a").attrs["y"] = "2"
    del doc
    gc.collect()
    with sprig.Document.open(path) as doc:
        doc.find_one("a").attrs["z"] = "3"
        doc.discard()
    assert path.read_bytes() == b"<r><a/></r>", "only a with block that ends cleanly saves"
