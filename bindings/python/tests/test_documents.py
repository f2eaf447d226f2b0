# Documents read and written through the editing layer: encodings detected,
# edited, saved and read back with Python's codecs; the with block's
# write-back rule; failures as Python exceptions; corpus pages kept byte for
# byte.
import contextlib
import glob
import os
import re
import shutil

import pytest

import sprig
from conftest import CORPUS

PAGES = {
    "meta": '<html><head><meta charset="{label}">\n<title>{text}</title></head>\n'
            '<body><p class=x>{text} &amp; more</p></body></html>\n',
    "declaration": '<?xml version="1.0" encoding="{label}"?>\n<doc><title>{text}</title>\n'
                   '<p class="x">{text} &amp; more</p></doc>\n',
    "bom": '\ufeff<html><head><title>{text}</title></head>\n<body><p>{text} &amp; more</p></body></html>',
}

# (label the file carries, Python codec, where the label is, text)
ENCODINGS = [
    ("euc-kr", "euc_kr", "meta", "\ud55c\uad6d\uc5b4 \ubb38\uc11c"),
    ("big5", "big5", "meta", "\u7e41\u9ad4\u4e2d\u6587"),
    ("gbk", "gbk", "declaration", "\u7b80\u4f53\u4e2d\u6587"),
    ("windows-1251", "cp1251", "meta", "\u041f\u0440\u0438\u0432\u0435\u0442"),
    ("windows-1252", "cp1252", "declaration", "caf\u00e9 \u20ac"),
    ("iso-8859-2", "iso8859_2", "meta", "\u0141\u00f3d\u017a"),
    ("utf-16le", "utf-16-le", "bom", "\u65e5\u672c\u8a9e"),
    ("utf-16be", "utf-16-be", "bom", "\u65e5\u672c\u8a9e"),
]


@pytest.mark.parametrize("label, codec, where, text", ENCODINGS, ids=[e[0] for e in ENCODINGS])
def test_encodings_detected_edited_saved_and_read_back(tmp_path, label, codec, where, text):
    page = PAGES[where].format(label=label, text=text)
    path = tmp_path / "page.html"
    path.write_bytes(page.encode(codec))
    with sprig.Document.open(path) as doc:
        assert (doc.encoding, doc.encoding_source, doc.invalid_count) == (label, where, 0)
        p = doc.select_one("p")
        assert (p.text, p.raw_text) == (text + " & more", text + " &amp; more")
        doc.select_one("title").inner = text[::-1]
        as_utf8 = doc.render("utf-8").decode("utf-8")
    edited = page.replace("<title>%s<" % text, "<title>%s<" % text[::-1])
    assert path.read_bytes().decode(codec) == edited, "only the edited text changed"
    assert text[::-1] in as_utf8 and text + " &amp; more" in as_utf8
    assert where == "bom" or re.search(r'(?i)charset="?utf-8|encoding="utf-8"', as_utf8)


@pytest.mark.parametrize("data, encoding, source, name", [
    ("<p>\u00e9</p>".encode(), None, "utf-8", "utf-8"),
    ("<p>\u0416</p>".encode("cp1251"), "windows-1251", "caller", "windows-1251"),
    ("<p>\u0416</p>".encode("cp1251"), 1251, "caller", "windows-1251"),
    (b"\xef\xbb\xbf<p>x</p>", "windows-1251", "bom", "utf-8"),
    ('<?xml version="1.0" encoding="Shift_JIS"?><r>\u65e5</r>'.encode("cp932"), None, "declaration",
     "shift_jis"),
    (b"<p>\xe9t\xe9</p>", None, "default", None),
])
def test_detection_order(data, encoding, source, name):
    with sprig.Document.parse(data, encoding=encoding) as doc:
        assert doc.encoding_source == source
        assert name is None or doc.encoding == name
        assert doc.render() == data


INVALID = b'<meta charset="euc-kr">\n<p>' + "\ud55c".encode("euc_kr") + b"\xff</p><b>x</b>"


def test_invalid_bytes_are_counted_and_written_back_as_read(tmp_path):
    path = tmp_path / "bad.html"
    path.write_bytes(INVALID)
    with sprig.Document.open(path) as doc:
        assert doc.invalid_count == 1
        doc.select_one("b").attrs["k"] = "v"
    assert path.read_bytes() == INVALID.replace(b"<b>", b'<b k="v">')


def test_invalid_bytes_place_and_replacement():
    with sprig.Document.parse(INVALID) as doc:
        assert (doc.first_invalid, doc.select_one("p").text) == ((2, 5), "\ud55c\ufffd")


@pytest.mark.parametrize("edit, fail, written", [(True, False, True), (True, True, False),
                                                 (False, False, False)])
def test_with_block_saves_only_a_changed_document_on_a_clean_exit(tmp_path, edit, fail, written):
    path = tmp_path / "page.html"
    path.write_bytes(b"<p><a href=x>1</a></p>")
    inode = os.stat(path).st_ino
    with pytest.raises(KeyError) if fail else contextlib.nullcontext():
        with sprig.Document.open(path) as doc:
            if edit:
                doc.select_one("a").attrs["href"] = "y"
            if fail:
                raise KeyError("the block failed")
    assert path.read_bytes() == (b'<p><a href="y">1</a></p>' if written else b"<p><a href=x>1</a></p>")
    assert (os.stat(path).st_ino != inode) == written, "replaced atomically, or not touched"


def test_a_lossy_save_is_refused_unless_forced(tmp_path):
    path, refused = tmp_path / "k.html", []
    path.write_bytes(b'<meta charset="euc-kr">\n<title>\xc7\xd1</title>')
    for force in (False, True):
        try:
            with sprig.Document.open(path) as doc:
                doc.select_one("title").inner = "\U0001F600"
                doc.save(force=force)
        except sprig.LossyWriteError as error:
            refused.append((force, error.line, error.column))
        assert (path.read_bytes() == b'<meta charset="euc-kr">\n<title>\xc7\xd1</title>') != force
    assert refused == [(False, 2, 8)]


@pytest.fixture
def places(tmp_path):
    os.mkfifo(tmp_path / "fifo")
    (tmp_path / "ok.xml").write_bytes(b"<r/>")
    (tmp_path / "locked").mkdir(mode=0o500)
    return tmp_path


# A folder that refuses new files: sysfs refuses even root.
LOCKED = "/sys/x.xml" if getattr(os, "geteuid", lambda: 1)() == 0 else None
FAILURES = [
    (lambda t: sprig.Document.open(t / "missing.xml"), FileNotFoundError, "missing.xml"),
    (lambda t: sprig.Document.open(t), IsADirectoryError, ""),
    (lambda t: sprig.Document.open(t / "fifo"), sprig.SprigIOError, "fifo"),
    (lambda t: sprig.Document.open(t / "ok.xml").save(t / "no" / "x.xml"), FileNotFoundError, "x.xml"),
    (lambda t: sprig.Document.open(t / "ok.xml").save(t / "fifo"), sprig.SprigIOError, "fifo"),
    (lambda t: sprig.Document.open(t / "ok.xml").save(LOCKED or t / "locked" / "x.xml"),
     PermissionError, "x.xml"),
    (lambda t: sprig.Document.open(t / "ok.xml", encoding="no-such"), LookupError, None),
    (lambda t: sprig.Document.parse("<r/>").save(t / "x.xml", encoding="no-such"), LookupError, None),
    (lambda t: sprig.Document.parse(b"<r/>").save(), sprig.SprigError, None),
    (lambda t: sprig.Document.parse(42), TypeError, None),
]


@pytest.mark.parametrize("action, error, filename", FAILURES)
def test_failures_raise_python_exceptions(places, action, error, filename):
    with pytest.raises(error) as raised:
        action(places)
    if filename is not None:
        assert isinstance(raised.value, OSError) and raised.value.filename.endswith(filename)
        assert raised.value.errno and str(raised.value)
    assert (places / "ok.xml").read_bytes() == b"<r/>" and not os.path.exists(places / "x.xml")


def test_every_corpus_page_renders_byte_for_byte():
    pages = sorted(glob.glob(os.path.join(CORPUS, "html", "*.html")))
    assert len(pages) > 100
    for page in pages:
        with sprig.Document.open(page) as doc, open(page, "rb") as f:
            assert doc.render() == f.read(), page


@pytest.mark.parametrize("page", ["001.html", "aclu.html", "ars-1.html"])
def test_corpus_page_edit_changes_one_line(page, tmp_path):
    path = shutil.copy(os.path.join(CORPUS, "html", page), tmp_path)
    raw = open(path, "rb").read()
    with sprig.Document.open(path) as doc:
        links = [link.attrs["href"] for link in doc.select("a[href]")]
        first = doc.select_one("a[href]")
        line = first.line_column[0]
        first.attrs["href"] = "https://example.invalid/edited"
        doc.save(tmp_path / "saved.html", sync=False)
        doc.discard()
    assert open(path, "rb").read() == raw, "discard keeps the original"
    saved = (tmp_path / "saved.html").read_bytes()
    changed = [i for i, (a, b) in enumerate(zip(raw.split(b"\n"), saved.split(b"\n"))) if a != b]
    assert changed == [line - 1] and saved.count(b"\n") == raw.count(b"\n")
    with sprig.Document.open(tmp_path / "saved.html") as again:
        assert [link.attrs["href"] for link in again.select("a[href]")] == \
            ["https://example.invalid/edited"] + links[1:]


def test_shift_jis_feed_reads_as_japanese():
    path = os.path.join(CORPUS, "feeds", "SHIFT_JIS", "10e.org.xml")
    expected = re.findall(r"<title>(.*?)</title>", open(path, "rb").read().decode("cp932"))
    with sprig.Document.open(path) as doc:
        assert (doc.encoding, doc.encoding_source) == ("shift_jis", "declaration")
        assert [t.text for t in doc.find("title")] == expected and len(expected) > 2
        assert doc.find_one("rdf:RDF/channel/title").text == "\u30a8\u30eb\u30a8\u30eb"


def test_create_copy_and_str_documents_save_through_the_editing_layer(tmp_path):
    path, items = tmp_path / "n\u00e9w \u65e5.xml", ["\u00e9l\u00e9ment %d" % n for n in range(3)]
    with sprig.Document.create(path, encoding="utf-8", declaration=True) as doc:
        root = doc.insert("catalog", where="end", children=True)
        for n, text in enumerate(items):
            item = root.insert("item")
            item.attrs["n"], item.text = n, text
    assert path.read_bytes().startswith(b'<?xml version="1.0" encoding="UTF-8"?>')
    with sprig.Document.open(path) as doc, doc.copy() as copy:
        assert [(i.attrs["n"], i.text.strip()) for i in doc.find("catalog/item")] == \
            [(str(n), t) for n, t in enumerate(items)]
        assert copy.encoding is None and items[2].encode() in copy.render()
    with sprig.Document.parse("<r>\u00e9\u20ac</r>") as doc:
        doc.save(tmp_path / "str.xml", encoding="windows-1252")
    assert (tmp_path / "str.xml").read_bytes() == "<r>\u00e9\u20ac</r>".encode("cp1252")


def test_the_load_error_says_where_the_library_comes_from(tmp_path):
    with pytest.raises(OSError, match="SPRIG_LIBRARY.*load_library"):
        sprig.load_library(tmp_path / "libsprig-exact.so")
