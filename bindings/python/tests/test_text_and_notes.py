# Text crossing the boundary exactly (surrogate pairs and lone surrogates,
# non-ASCII file names), the attribute mapping, insertion, and notes with
# their pieces, attributes and references.
import os

import pytest

import sprig

ODD = "x\U0001F600y\ud800z\udfff\u00e9\u3042"   # a pair, two lone surrogates


def test_surrogates_round_trip_through_every_text_field(tmp_path):
    with sprig.Document.parse("<r k='%s'>%s<e/>%s</r>" % (ODD, ODD, ODD)) as doc:
        assert doc.inner == ODD
        assert doc.attrs["k"] == ODD
        e = doc.find_one("e")
        assert e.after == ODD
        assert doc.text == ODD + ODD
        e.inner = ODD
        e.attrs[ODD] = ODD
        assert e.inner == ODD and e.attrs[ODD] == ODD
        assert e.outer_xml() == '<e %s="%s">%s</e>%s' % (ODD, ODD, ODD, ODD)
        named = doc.insert(ODD, where="child")
        assert named.name == ODD
        assert doc.find_one(ODD).node_id == named.node_id
        note = doc.create_note(ODD)
        note.add(ODD, name=ODD)
        assert note.text == ODD and note.strings() == [ODD]
        assert doc.note(ODD) is note


def test_non_ascii_file_names(tmp_path):
    path = tmp_path / "\u65e5\u672c\u00e9.xml"
    with sprig.Document.create(path, encoding="utf-8") as doc:
        doc.insert("r", where="end").inner = "\u3042"
    assert "<r>\u3042</r>".encode("utf-8") in path.read_bytes()
    with sprig.Document.open(path) as doc:
        assert doc.find_one("r").inner == "\u3042"


def test_attribute_mapping():
    with sprig.Document.parse('<r><input Type=text disabled value="a b" type=dup></r>') as doc:
        attrs = doc.find_one("input").attrs
        assert list(attrs) == ["Type", "disabled", "value", "type"]
        assert len(attrs) == 4
        assert attrs["TYPE"] == "text", "names match in any case; the first wins"
        assert attrs["disabled"] is None and "disabled" in attrs
        assert attrs.items()[3] == ("type", "dup")
        assert "missing" not in attrs and 3 not in attrs
        with pytest.raises(KeyError):
            attrs["missing"]
        assert attrs.get("missing", "d") == "d"
        attrs["value"] = 42
        attrs["new"] = None
        del attrs["type"]
        assert attrs.items() == [("disabled", None), ("value", "42"), ("type", "dup"), ("new", None)]
        with pytest.raises(KeyError):
            del attrs["missing"]
        with pytest.raises(ValueError):
            attrs[""] = "x"
        assert doc.find_one("input").outer_xml() == '<input disabled value="42" type=dup new>'
        at_head = doc.dup()
        at_head.move_base()
        assert len(at_head.attrs) == 0
        with pytest.raises(sprig.SprigError):
            at_head.attrs["x"] = "1"


def test_insert_places_and_copies():
    with sprig.Document.parse("<r><b/></r>") as doc, sprig.Document.parse("<s><t>1</t></s>") as other:
        b = doc.find_one("b")
        assert b.insert("a", where="before").name == "a"
        assert b.insert("c", where="after").name == "c"
        assert b.name == "b", "the caller's cursor stays"
        r = doc.find_one("r")
        r.insert("z")
        r.insert(other.find_one("t"), where="child")
        assert [c.name for c in r.children()] == ["a", "b", "c", "z", "t"]
        comment = r.insert(None, where="end", kind=sprig.KIND_PLAIN)
        assert comment.name is None
        with pytest.raises(ValueError):
            b.insert("x", where="before", kind=sprig.KIND_VOID)
        with pytest.raises(ValueError):
            b.insert("x", where="inside")
        leaf = doc.insert_path("r/p/q", enter=False)
        assert leaf.name == "q" and leaf.level == 2
        assert doc.find_one("r/p/q").node_id == leaf.node_id
        other.find_one("t").inner = "2"
        assert doc.find_one("t").inner == "1", "an inserted tree is a copy"
        with pytest.raises(sprig.SprigError):
            _at_head(doc).insert("x", where="child")


def _at_head(doc):
    head = doc.dup()
    head.move_base()
    return head


def test_copy_is_independent_and_navigation_moves_only_its_cursor():
    with sprig.Document.parse("<r><a>1</a><a>2</a></r>") as doc:
        with doc.copy() as copy:
            copy.find_one("a").inner = "changed"
            assert doc.find_one("a").inner == "1"
        walker = doc.find_one("a")
        assert walker.move_next() and walker.inner == "2" and walker.index == 1
        assert not walker.move_next() and not walker.selected
        assert walker.move_parent() and walker.name == "r"
        assert not walker.move_parent(), "the top level is the base"
        assert doc.name == "r" and doc.child_count == 2
        assert doc.search("A", sprig.SEARCH_FIRST, index=1) and doc.inner == "2"


def test_note_pieces_positions_and_lines():
    with sprig.Document.parse("<r/>") as doc:
        note = doc.create_note("log")
        assert note.text == "" and note.strings() == []
        note.add("ab", name="first")
        note.add("cd", name="second", line=True)
        note.add("\U0001F600f", name="third")
        assert note.text == "abcd\n\U0001F600f"
        assert note.strings() == ["abcd", "\U0001F600f"]
        assert note.position("SECOND") == 2
        assert note.position("third") == 5
        assert note.position("none") is None


def test_note_attributes():
    with sprig.Document.parse("<r/>") as doc:
        attrs = doc.create_note().attrs
        attrs["Key"] = "v"
        attrs["flag"] = None
        assert attrs["key"] == "v" and attrs["flag"] is None and "FLAG" in attrs
        attrs["flag"] = None
        assert attrs["flag"] is None
        del attrs["key"]
        assert "key" not in attrs and attrs.get("key") is None
        with pytest.raises(KeyError):
            del attrs["key"]
        with pytest.raises(TypeError):
            list(attrs)


def test_note_references_across_documents():
    with sprig.Document.parse("<a>1</a><b>2</b><c>3</c>") as doc:
        with sprig.Document.parse("<x>other</x>") as other:
            note = doc.create_note("refs")
            cursors = list(doc.find_one("b").dup().find("a")) + [doc.find_one("b"), doc.find_one("c")]
            note.add("\U0001F600a", refer_to=cursors[0])
            note.add("bb", refer_to=cursors[1])
            note.add("plain")
            note.add("xx", refer_to=other.find_one("x"))
            assert note.text == "\U0001F600abbplainxx"
            assert note.find_reference(cursors[1]) == 2
            assert note.find_reference(cursors[2]) is None
            assert note.reference(0).name == "a"
            assert note.reference(1).name == "a"
            assert note.reference(2).name == "b"
            assert note.reference(5) is None
            assert note.reference(3, mode="at_or_after").name == "b"
            assert note.reference(5, mode="at_or_after").name == "x", "after, not before"
            assert note.reference(20, mode="at_or_after").name == "x", "past the end: the last"
            assert note.reference(5, mode="before").name == "b"
            assert note.reference(5, mode="after").name == "x"
            with pytest.raises(ValueError):
                note.reference(0, mode="nearest")
            far = note.reference(9)
        # The reference keeps the other document alive after its cursor closed.
        assert far.name == "x" and far.inner == "other"
        doc.find_one("b").delete()
        assert note.reference(2) is None, "a deleted element is referred to no more"
    assert far.closed, "reference cursors close with the document of the note"


def test_every_encoding_the_library_reads_has_a_name_here():
    """The library's table of the encodings it reads by name
    (src/text/encodings.h) and the binding's names agree."""
    import re
    from sprig._dom import encoding_code
    here = os.path.dirname(os.path.abspath(__file__))
    root = os.path.join(here, "..", "..", "..")
    try:
        with open(os.path.join(root, "src", "text", "encodings.h")) as f:
            table = f.read()
        with open(os.path.join(root, "include", "sprig.h")) as f:
            header = f.read()
    except OSError:
        pytest.skip("no library sources beside this binding")
    codes = {m[0]: int(m[1]) for m in re.findall(r"#define (SG_ENC_\w+)\s+(\d+)u", header)}
    entries = re.findall(r'SPRIG_CORE_ENCODING\((SG_ENC_\w+), "([^"]+)"', table)
    assert entries
    for constant, name in entries:
        code = codes[constant]
        assert encoding_code(name) == (code or 932), name  # 0 is the ANSI code page, 932

