# Queries: CSS select and find scoped to the element they are called on,
# cursor equality, decoded and raw text, selects on several threads, the
# Dask example against a single-process run, the tool's JSON read back, and
# the case folding of names against the fold table's generator.
import glob
import json
import os
import shutil
import subprocess
import sys
from concurrent.futures import ThreadPoolExecutor

import pytest

import sprig
from conftest import CORPUS, REPO

SOURCE = "<r><a id=1><b id=2/><c><b id=3/></c></a><b id=4/><a id=5><b id=6/></a></r>"


@pytest.mark.parametrize("scope, method, query, ids", [
    ("doc", "select", "b", "2346"), ("doc", "find", "b", "2346"),
    ("a", "select", "b", "23"), ("a", "find", "b", "23"), ("a", "find", "c/b", "3"),
    ("doc", "find", "r/a/b", "26"), ("doc", "select", "a > b, c b", "236"),
    ("c", "select", "a b", "3"), ("c", "select", "r > a b", "3"), ("b", "find", "b", ""),
    ("doc", "select", 'b:not([id="3"]):nth-of-type(1)', "246"), ("doc", "select", '[id="4"] ~ a > b', "6"),
])
def test_select_and_find_are_scoped_to_their_element(scope, method, query, ids):
    with sprig.Document.parse(SOURCE) as doc:
        where = doc if scope == "doc" else doc.find_one(scope)
        assert "".join(e.attrs["id"] for e in getattr(where, method)(query)) == ids
        if method == "select":
            assert where.count(query) == len(ids)
            assert (where.select_one(query) or doc).attrs.get("id", "") == ids[:1]


@pytest.mark.parametrize("css, column", [("a[", 3), ("", 1), ("a >", 4), ("p:nosuch", 2), ("##x", 2)])
def test_invalid_selectors_raise_with_their_column(css, column):
    with sprig.Document.parse("<r/>") as doc:
        with pytest.raises(sprig.SelectorError) as raised:
            doc.select(css)
        assert isinstance(raised.value, ValueError) and raised.value.column == column


def test_names_fold_case_as_the_fold_table_generator_says():
    # The generator of the fold table, over Python's Unicode tables, says what
    # every unit of the plane folds to; name lookups must agree, both ways.
    sys.path.insert(0, os.path.join(REPO, "src", "platform"))
    import gen_case_fold
    folded = dict(gen_case_fold.folds())
    element = sprig.Document.parse("<r/>").find_one("r")
    apart = [(chr(c), chr(gen_case_fold.simple_fold(c))) for a, b in gen_case_fold.NOT_FOLDED
             for c in range(a, b + 1) if gen_case_fold.simple_fold(c) != c]
    for c, delta in folded.items():
        element.attrs["a" + chr(c)] = chr(c + delta)
    for unit, other in apart:
        element.attrs["b" + unit] = unit
    assert len(folded) > 1000 and len(apart) > 50
    assert [hex(c) for c, d in folded.items() if element.attrs.get("a" + chr(c + d)) != chr(c + d)] == []
    assert [hex(ord(u)) for u, other in apart if element.attrs.get("b" + other) is not None] == []


def test_cursors_on_one_node_are_equal_and_hash_alike():
    with sprig.Document.parse(SOURCE) as doc, sprig.Document.parse(SOURCE) as twin:
        by_find, by_select = doc.find_one("b"), doc.select_one('[id="2"]')
        assert by_find == by_select and hash(by_find) == hash(by_select) and by_find is not by_select
        assert len({*doc.find("b"), *doc.select("b"), *doc.select("c b")}) == 4
        moved = by_find.dup()
        assert moved.move_next() and moved == doc.find_one("c") and moved != by_find
        assert twin.find_one("b") != by_find
        by_select.close()
        assert by_find != by_select and by_select == by_select


@pytest.mark.parametrize("source, text, raw", [
    ("<p>a &amp; b</p>", "a & b", "a &amp; b"),
    ("<p>&lt;x&gt; &#233;&#x41;</p>", "<x> \u00e9A", None),
    ("<p>&nbsp;&copy;&hellip;</p>", "\u00a0\u00a9\u2026", None),
    ("<p>x<b>&amp;</b>y &nosuch; &</p>", "x&y &nosuch; &", "x&amp;y &nosuch; &"),
    ("<p>\U0001F600&#x1F600;</p>", "\U0001F600\U0001F600", None),
])
def test_text_is_decoded_and_raw_text_is_as_written(source, text, raw):
    for parsed in (source, source.encode()):
        with sprig.Document.parse(parsed) as doc:
            p = doc.select_one("p")
            assert (p.text, p.raw_text) == (text, raw or source[3:-4])
    assert sprig.decode_text(raw or source[3:-4]) == text
    with sprig.Document.parse(b"<r><p>x<b>y</b>z</p></r>") as doc:
        doc.select_one("p").text = text
        assert doc.select_one("p").text == text and doc.count("b") == 0 and doc.modified
        escaped = text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")
        assert doc.render() == ("<r><p>%s</p></r>" % escaped).encode()


def _links(page):
    with sprig.Document.open(page) as doc:
        return [(e.line_column, e.attrs.get("href"), e.text) for e in doc.select("a[href]")], \
            doc.count("p, li")


def test_selects_on_threads_agree_with_one_thread():
    pages = sorted(glob.glob(os.path.join(CORPUS, "html", "*.html")))[:16]
    expected = [_links(page) for page in pages]
    with ThreadPoolExecutor(4) as pool:
        for _ in range(2):
            assert list(pool.map(_links, pages)) == expected


EXAMPLE = os.path.join(REPO, "examples", "dask_query.py")
TOOL = os.environ.get("SPRIG_TOOL")


sys.path.insert(0, os.path.dirname(EXAMPLE))
import dask_query as example  # noqa: E402  (the example's own functions, run in one process)


def _lines(command, json_lines=True):
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(
        [os.path.dirname(os.path.dirname(sprig.__file__)), os.environ.get("PYTHONPATH", "")]))
    done = subprocess.run(command, env=env, capture_output=True, timeout=120)
    assert done.returncode in (0, 1), done.stderr     # 1: the tool found nothing
    lines = done.stdout.decode("utf-8").splitlines()
    return [json.loads(line) for line in lines] if json_lines else lines


def _reference(root, selector, count=False):
    """The tool's output (else one process's) for `find ROOT SELECTOR`."""
    if TOOL:
        return _lines([TOOL, "find", root, selector, "--count" if count else "--json"], not count)
    if count:
        return ["%s:%d" % (f, example.count_file(f, selector)) for f in example.list_files(root)]
    return [r for f in example.list_files(root) for r in example.query_file(f, selector)]


def test_dask_example_matches_a_single_process_run(tmp_path):
    pytest.importorskip("distributed")
    root = os.path.join(CORPUS, "html")
    found = _lines([sys.executable, EXAMPLE, root, "a[href]", "--workers", "2"])
    assert len(found) > 1000 and found == _reference(root, "a[href]")
    counts = _lines([sys.executable, EXAMPLE, root, "a[href]", "--count"], json_lines=False)
    assert counts == _reference(root, "a[href]", count=True)
    pages = [shutil.copy(os.path.join(root, page), tmp_path) for page in ("001.html", "aclu.html")]
    _lines([sys.executable, EXAMPLE, str(tmp_path), "a[href]", "--set", "rel=nofollow"])
    for page in pages:
        with sprig.Document.open(page) as doc:
            assert doc.count('a[href][rel="nofollow"]') == doc.count("a[href]") > 0


@pytest.mark.skipif(not TOOL, reason="SPRIG_TOOL (the sprig tool to compare with) is not set")
def test_tool_json_reads_back_as_the_binding_sees_the_page():
    page = os.path.join(CORPUS, "html", "aclu.html")
    records = _lines([TOOL, "find", page, "a[href]", "--json"])
    assert records and set(records[0]) == {"file", "line", "column", "name", "attributes", "text"}
    assert records == example.query_file(page, "a[href]")
