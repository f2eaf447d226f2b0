"""The Pythonic layer: Document, Cursor, attribute mappings, notes and errors.

Every object here wraps a handle of the flat API and checks, before each call,
that the handle is still alive: a closed cursor, a note of a closed cursor and
a cursor whose element was deleted through another cursor raise
SprigClosedError instead of reaching freed memory. Text is copied out of the
library at once. Cursors made from a document (dup, iteration, insertion,
note references) are closed with it.

Files are read, and written, only through the editing layer (sxOpen, sxSave):
closing never writes; a with block saves a changed document when it ends
without an exception, with the layer's verified, atomic save.
"""

import ctypes
import errno
import functools
import os
import weakref
from collections.abc import MutableMapping

from . import _native
from ._native import (SxError, to_wide, wide_length, from_wide, from_wide_list, from_narrow,
                      path_bytes, to_utf8)

# Constants of sprig.h and sprig_exact.h used below.
_NONE = 0xFFFFFFFF
_MOVE_BASE, _MOVE_PARENT, _MOVE_INTO = 1, 3, 4
_MOVE_FIRST_CHILD, _MOVE_LAST_CHILD, _MOVE_LIST_HEAD = 5, 6, 7
_MOVE_FIRST, _MOVE_PREV, _MOVE_NEXT, _MOVE_LAST = 8, 9, 10, 11
_MOVE_PREV_IN_ORDER, _MOVE_NEXT_IN_ORDER = 12, 13
_SEARCH_FIRST, _SEARCH_NEXT = 1, 2
_SEARCH_PATH_FIRST, _SEARCH_PATH_NEXT = 10, 11
_ENC_UTF8 = 65001
_SX_ERR_MEMORY, _SX_ERR_IO, _SX_ERR_NOT_FOUND, _SX_ERR_NOT_REGULAR = 1, 2, 3, 4
_SX_ERR_ENCODING, _SX_ERR_LOSSY, _SX_ERR_SELECTOR = 5, 6, 7
_SX_SAVE_FORCE = 1
_SX_SAVE_NO_SYNC = 2
_SX_SELECT_FIRST, _SX_SELECT_NEXT, _SX_SELECT_DOCUMENT = 1, 2, 0x10
_SOURCES = {1: "bom", 2: "caller", 3: "declaration", 4: "meta", 5: "utf-8", 6: "default"}

_PLACES = {"end": 0, "before": 1, "after": 2, "child": 3}

_REFERENCE_MODES = {"at": 0, "after": 1, "before": 2, "at_or_after": 3}


class SprigError(Exception):
    """A call of the library failed (refused, or memory ran out)."""


class SprigClosedError(SprigError):
    """The cursor or note was closed, or its element was deleted elsewhere."""


class SprigIOError(SprigError, OSError):
    """A read, write, sync or rename failed; errno and filename say which."""


class LossyWriteError(SprigError):
    """A save was refused: the piece at line/column (1-based) cannot be
    written exactly in the target encoding. save(force=True) writes anyway."""

    def __init__(self, message, line, column):
        SprigError.__init__(self, message)
        self.line, self.column = line, column


class SelectorError(SprigError, ValueError):
    """An invalid CSS selector; column (1-based) points at the offending character."""

    def __init__(self, message, selector, column):
        SprigError.__init__(self, message)
        self.selector, self.column = selector, column


def _raise(error, filename=None):
    """Raises the Python exception for a filled SX_ERROR.

    I/O failures are OSError subclasses, as Python's own open() raises them:
    FileNotFoundError, PermissionError, IsADirectoryError, else SprigIOError."""
    code, os_error = error.code, error.osError
    message = error.message.decode("utf-8", "replace") or "Sprig error %d" % code
    if isinstance(filename, bytes):
        filename = os.fsdecode(filename)
    if code == _SX_ERR_MEMORY:
        raise MemoryError(message)
    if code == _SX_ERR_NOT_FOUND:
        raise FileNotFoundError(errno.ENOENT, message, filename)
    if code == _SX_ERR_NOT_REGULAR:
        if filename is not None and os.path.isdir(filename):
            raise IsADirectoryError(errno.EISDIR, message, filename)
        raise SprigIOError(os_error or errno.EINVAL, message, filename)
    if code == _SX_ERR_IO:
        # errno on POSIX; on Windows GetLastError, where 5 is "access denied".
        denied = (5,) if os.name == "nt" else (errno.EACCES, errno.EPERM)
        if os_error in denied:
            raise PermissionError(errno.EACCES, message, filename)
        raise SprigIOError(os_error, message, filename)
    if code == _SX_ERR_ENCODING:
        raise LookupError(message)
    if code == _SX_ERR_LOSSY:
        raise LossyWriteError(message, error.line, error.column)
    raise SprigError(message)


def _label(lib, encoding):
    """The UTF-8 label of `encoding` (a name or a code-page number), or None;
    LookupError, as Python's codecs raise it, when the library cannot convert it."""
    if encoding is None:
        return None
    label = to_utf8(str(encoding))
    if lib.sxCodePageOfLabel(label) == _NONE:
        raise LookupError("unknown encoding: %s" % encoding)
    return label


def encoding_code(encoding, library=None):
    """Code-page number for an int, or for a label such as "utf-8",
    "shift_jis", "euc-kr" or "cp1252". Raises LookupError for an unknown one."""
    if isinstance(encoding, int):
        if not 0 <= encoding <= 0xFFFFFFFF:
            raise ValueError("code page out of range: %r" % encoding)
        return encoding
    lib = library or _native.default_library()
    return lib.sxCodePageOfLabel(_label(lib, encoding))


def decode_text(text, library=None):
    """`text` with its character references (&amp; &#38; &#x26; and the HTML
    named ones) decoded, as el.text gives it."""
    if text is None or "&" not in text:
        return text
    lib = library or _native.default_library()
    encoded = to_wide(text)
    length = wide_length(encoded)
    out = ctypes.create_string_buffer(2 * (length + 1))
    units = lib.sxDecodeText(encoded, length, out, length + 1)
    return out.raw[:2 * units].decode("utf-16-le", "surrogatepass")


class _Selector:
    """A compiled selector list, freed when no longer referenced."""

    def __init__(self, lib, css):
        error = SxError()
        self._lib = lib
        self.handle = lib.sxCompileSelector(to_utf8(css), ctypes.byref(error))
        if not self.handle:
            if error.code == _SX_ERR_SELECTOR:
                raise SelectorError(error.message.decode("utf-8", "replace") or
                                    "invalid selector %r" % css, css, error.column)
            _raise(error)

    def __del__(self):
        try:
            if self.handle:
                self._lib.sxFreeSelector(self.handle)
        except Exception:       # a failed compile, or the interpreter shutting down
            pass


@functools.lru_cache(maxsize=128)
def _compiled(lib, css):
    if not isinstance(css, str):
        raise TypeError("a selector is a str, not %s" % type(css).__name__)
    return _Selector(lib, css)


def _node_id(lib, handle):
    value = ctypes.c_uint32()
    if not lib.sgGetNodeID(handle, ctypes.byref(value)):
        return None
    return value.value


class _WeakIdentitySet:
    """A set of objects by identity, holding them weakly. (weakref.WeakSet
    compares by ==, and two cursors on one node are equal.)"""

    def __init__(self):
        self._refs = {}

    def add(self, item):
        key = id(item)
        self._refs[key] = weakref.ref(item, lambda _, refs=self._refs, key=key: refs.pop(key, None))

    def discard(self, item):
        self._refs.pop(id(item), None)

    def __iter__(self):
        return iter([item for item in (ref() for ref in list(self._refs.values())) if item is not None])


class _DocGroup:
    """The live Python cursors of one library document, keyed by the node id
    of its root (node ids are never reused within a process)."""

    _by_root = weakref.WeakValueDictionary()

    def __init__(self):
        self.cursors = _WeakIdentitySet()

    @classmethod
    def of(cls, lib, handle):
        """The group of the document `handle` stands in (made on first need)."""
        probe = lib.sgDupXML(handle)
        if not probe:
            raise MemoryError("out of memory in the Sprig library")
        try:
            lib.sgSetBase(probe, 0)
            lib.sgMoveTo(probe, _MOVE_BASE)
            key = (id(lib), _node_id(lib, probe))
        finally:
            lib.sgCloseXML(probe)
        group = cls._by_root.get(key)
        if group is None:
            group = cls()
            cls._by_root[key] = group
        return group


class Cursor:
    """A position in a document: an element, or the head of a list when no
    element is selected.

    Reading never moves the cursor. The move_* methods, seek, search and
    delete move it; iterators and insert work on duplicates and leave it
    where it is. Cursors standing on the same node are equal and hash
    alike. Close it (or use it in a with block) when done; a cursor made
    from a Document is also closed when that Document closes.
    """

    def __init__(self, lib, handle, owner, group=None):
        if not handle:
            raise MemoryError("out of memory in the Sprig library")
        self._lib = lib
        self._handle = handle
        self._stale = None          # why the position was lost, if it was
        self._notes = {}            # note handle -> Note
        self._ancestry = (None, frozenset())
        self._owner_doc = owner     # None for a Document (no cycle to itself)
        self._derived = _WeakIdentitySet() if owner is None else None
        if owner is not None:
            owner._derived.add(self)
        self._group = group
        if group is None:
            try:
                self._group = _DocGroup.of(lib, handle)
            except MemoryError:
                self._handle = None
                lib.sgCloseXML(handle)
                raise
        self._group.cursors.add(self)

    # ---- lifetime -------------------------------------------------------

    @property
    def closed(self):
        """True once the cursor was closed (or its document closed)."""
        return self._handle is None

    def _h(self):
        """The live handle; raises SprigClosedError when there is none."""
        if self._handle is None:
            raise SprigClosedError("the cursor is closed")
        if self._stale:
            raise SprigClosedError(self._stale)
        return self._handle

    def _release(self, function):
        handle = self._handle
        if handle is None:
            return
        for note in list(self._notes.values()):
            note._handle = None
        self._notes.clear()
        self._handle = None
        self._group.cursors.discard(self)
        function(handle)

    def close(self):
        """Releases the cursor; never writes. Closing twice does nothing."""
        self._close_derived()
        self._release(self._lib.sgCloseXML)

    def _close_derived(self):
        if self._derived is not None:
            for derived in list(self._derived):
                derived.close()

    def __enter__(self):
        self._h()
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    def __del__(self):
        try:
            if self._handle is not None:
                self._release(self._lib.sgCloseXML)
        except Exception:
            pass

    def __eq__(self, other):
        """Cursors standing on the same node are equal (and hash alike)."""
        if not isinstance(other, Cursor):
            return NotImplemented
        if self is other:
            return True
        try:
            return self._lib is other._lib and self.node_id == other.node_id
        except SprigClosedError:
            return False

    def __hash__(self):
        # Node ids are unique in a process. The hash follows the cursor: a
        # cursor moved after it went into a set or dict is no longer found.
        try:
            return hash(self.node_id)
        except SprigClosedError:
            return id(self)

    def __repr__(self):
        if self._handle is None:
            return "<sprig.Cursor closed>"
        if self._stale:
            return "<sprig.Cursor stale>"
        return "<sprig.Cursor %s>" % (repr(self.name) if self.selected else "at a list head")

    @property
    def _owner(self):
        """The Document whose close closes this cursor."""
        return self._owner_doc if self._owner_doc is not None else self

    def _derive(self, handle):
        """Wraps a new handle on the same document, owned like this cursor."""
        return Cursor(self._lib, handle, self._owner, self._group)

    def dup(self):
        """A new cursor at the same position (without notes)."""
        return self._derive(self._lib.sgDupXML(self._h()))

    # ---- position -------------------------------------------------------

    @property
    def selected(self):
        """True when an element is selected (the cursor is not at a list head)."""
        return self._lib.sgIsEmptyList(self._h()) == 0

    def _need_element(self):
        handle = self._h()
        if self._lib.sgIsEmptyList(handle):
            raise SprigError("no element is selected")
        return handle

    @property
    def node_id(self):
        """The current node's id (of the list head when no element is selected)."""
        return _node_id(self._lib, self._h())

    @property
    def level(self):
        """Depth below the base (top level 0), or None."""
        return _none_if_all_ones(self._lib.sgGetLevel(self._h()))

    @property
    def index(self):
        """0-based position in the list, or None at a list head."""
        return _none_if_all_ones(self._lib.sgGetIndex(self._h()))

    @property
    def child_count(self):
        """Number of elements in the current element's child list."""
        return self._lib.sgGetChildCount(self._h())

    @property
    def tag_index(self):
        """Number of same-named elements before this one in document order."""
        return _none_if_all_ones(self._lib.sgTagIndex(self._h()))

    def tag_pos(self, selector=0):
        """Source position: 0 the '<' of the start tag, 1 behind the start
        tag, 2 behind the element. None when unknown."""
        return _none_if_all_ones(self._lib.sgGetTagPos(self._h(), selector))

    @property
    def tag_source(self):
        """The start tag as written in the source, or None."""
        handle = self._h()
        length = ctypes.c_uint32()
        address = self._lib.sgGetTagSrc(handle, ctypes.byref(length))
        if not address:
            return None
        return ctypes.string_at(address, 2 * length.value).decode("utf-16-le", "surrogatepass")

    def _move(self, code):
        return self._lib.sgMoveTo(self._h(), code) == 1

    def move_parent(self):
        """To the owner of the current list. False at the base."""
        return self._move(_MOVE_PARENT)

    def move_first_child(self):
        """To the first child. False (not moved) when there is none."""
        return self._move(_MOVE_FIRST_CHILD)

    def move_last_child(self):
        """To the last child. False (not moved) when there is none."""
        return self._move(_MOVE_LAST_CHILD)

    def move_into(self):
        """Into the current element's child list, selecting no element."""
        return self._move(_MOVE_INTO)

    def move_next(self):
        """To the next sibling; False leaves the cursor at the list head."""
        return self._move(_MOVE_NEXT)

    def move_prev(self):
        """To the previous sibling; False leaves the cursor at the list head."""
        return self._move(_MOVE_PREV)

    def move_first(self):
        """To the first element of the list (False: the list is empty)."""
        return self._move(_MOVE_FIRST)

    def move_last(self):
        """To the last element of the list (False: the list is empty)."""
        return self._move(_MOVE_LAST)

    def move_base(self):
        """To the head of the base list, selecting no element."""
        return self._move(_MOVE_BASE)

    def move_list_head(self):
        """To the head of the current list, selecting no element."""
        return self._move(_MOVE_LIST_HEAD)

    def move_next_in_order(self):
        """To the next element in document order (False at the end)."""
        return self._move(_MOVE_NEXT_IN_ORDER)

    def move_prev_in_order(self):
        """To the previous element in document order."""
        return self._move(_MOVE_PREV_IN_ORDER)

    def seek(self, node_id):
        """To the element with that node id below the base; False if none."""
        return self._lib.sgSeek(self._h(), node_id) == 1

    def search(self, name, mode=_SEARCH_FIRST, index=0):
        """One search of the flat API (mode: an SG_SEARCH_* value); moves this
        cursor as that mode does. `name` is a name, or a list of names for
        the path modes. True when found."""
        return self._lib.sgSearchIndexW(self._h(), _search_key(name, mode), mode, index) == 1

    def set_base(self, narrow=True):
        """Narrows the base to the current element's children (or, with
        narrow False, widens it back to the document root). True when done."""
        return self._lib.sgSetBase(self._h(), 1 if narrow else 0) == 1

    # ---- name and text --------------------------------------------------

    @property
    def name(self):
        """The element's name, or None (nameless, or no element selected)."""
        return from_wide(self._lib.sgGetNameW(self._h()))

    def _get_text(self, getter):
        return from_wide(getter(self._h()))

    def _set_text(self, setter, value, what):
        handle = self._need_element()
        encoded = to_wide(value)
        length = -1 if encoded is None else wide_length(encoded)
        if length > 0x7FFFFFFF:
            raise ValueError("text too long")
        if setter(handle, encoded, length) != 1:
            raise MemoryError("out of memory setting the %s text" % what)
        self._lib.sgSetUpdateFlag(handle, 1)

    @property
    def inner(self):
        """Text between the start tag and the first child or end tag (None if
        absent). Setting it (None: absent) gives the element an end tag and,
        unlike the flat setter, marks the document changed."""
        return self._get_text(self._lib.sgGetInnerStrW)

    @inner.setter
    def inner(self, value):
        self._set_text(self._lib.sgSetInnerStrW, value, "inner")

    @property
    def after(self):
        """Text after the element up to the next tag (None if absent). Setting
        it marks the document changed."""
        return self._get_text(self._lib.sgGetAfterStrW)

    @after.setter
    def after(self, value):
        self._set_text(self._lib.sgSetAfterStrW, value, "after")

    @property
    def raw_text(self):
        """The element's inner text with that of all its descendants, without
        markup, exactly as written (character references kept); None when no
        element is selected."""
        return self._get_text(self._lib.sgGetInnerTextW)

    @property
    def text(self):
        """raw_text with its character references decoded (&amp; gives &)."""
        return decode_text(self.raw_text, self._lib)

    @text.setter
    def text(self, value):
        """Replaces the element's content, child elements included, by the
        text `value` (written with & < > escaped); marks the document changed."""
        self._need_element()
        for child in list(self.children()):
            child.delete()
            child.close()
        self.inner = value.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")

    @property
    def line_column(self):
        """(line, column) of the element's '<' in the file as read (1-based,
        columns in characters), or None (made by an edit, or not read by sx)."""
        line, column = ctypes.c_uint32(), ctypes.c_uint32()
        if self._lib.sxGetLineColumn(self._h(), ctypes.byref(line), ctypes.byref(column)) != 1:
            return None
        return line.value, column.value

    @property
    def attrs(self):
        """The current element's attributes as a mutable mapping (names match
        in any letter case; iteration in document order). The mapping follows
        the cursor: it always works on the element selected at the time."""
        return Attributes(self)

    # ---- iteration ------------------------------------------------------

    def children(self):
        """Iterator over cursors on the child elements of the current element
        (or, at a list head, on the elements of that list). This cursor does
        not move; each yielded cursor is new. Deleting the yielded element
        through the yielded cursor is allowed."""
        walker = _Walker(self, resumable=False)
        try:
            lib = self._lib
            if walker.selected:
                found = lib.sgMoveTo(walker._h(), _MOVE_FIRST_CHILD) == 1
            else:
                found = lib.sgMoveTo(walker._h(), _MOVE_FIRST) == 1
            while found:
                item = walker.dup()
                found = lib.sgMoveTo(walker._h(), _MOVE_NEXT) == 1
                yield item
        finally:
            walker.close()

    def find(self, name_or_path):
        """Iterator over cursors on the matching elements in document order.

        On an element the search covers its descendants; on a Document (or a
        cursor at a list head) the whole tree below the base (the whole
        document unless set_base narrowed it). A name ("a", any letter case)
        matches elements of that name at any depth; a path ("ul/li/a", or a
        list of names) matches elements whose names from the top of the
        searched tree (an element's children) down are those names. This
        cursor does not move; each yielded cursor is new."""
        names, path = _split_path(name_or_path)
        walker = _Walker(self, resumable=not path)
        try:
            lib = self._lib
            if not isinstance(self, Document) and self.selected:
                if lib.sgSetBase(walker._h(), 1) != 1:
                    return      # no child list: nothing below
            if path:
                key, first, then = to_wide("\0".join(names) + "\0"), _SEARCH_PATH_FIRST, _SEARCH_PATH_NEXT
            else:
                key, first, then = to_wide(names[0]), _SEARCH_FIRST, _SEARCH_NEXT
            found = lib.sgSearchIndexW(walker._h(), key, first, 0) == 1
            while found:
                if walker._pending:
                    # Stepped back after a delete: search again from there.
                    walker._pending = False
                    found = lib.sgSearchIndexW(walker._h(), key, then, 0) == 1
                    continue
                item = walker.dup()
                found = lib.sgSearchIndexW(walker._h(), key, then, 0) == 1
                yield item
        finally:
            walker.close()

    def find_one(self, name_or_path):
        """A cursor on the first match of find(), or None."""
        return next(self.find(name_or_path), None)

    def _scope(self, css):
        mode = _SX_SELECT_DOCUMENT if isinstance(self, Document) else 0
        return _compiled(self._lib, css), mode

    def select(self, css):
        """Iterator over cursors on the elements matching the CSS selector
        list, in document order: on an element its descendants, on a
        Document the whole document (combinators may look outside, as
        querySelectorAll does). SelectorError for an invalid selector.
        This cursor does not move; each yielded cursor is new."""
        selector, mode = self._scope(css)     # compiled now: errors raise here
        return self._select(selector, mode)

    def _select(self, selector, mode):
        lib = self._lib
        scope = self.dup()
        walker = _Walker(self, resumable=True)
        try:
            found = lib.sxSelect(scope._h(), selector.handle, walker._h(), _SX_SELECT_FIRST | mode)
            while found:
                if walker._pending:
                    # Stepped back after a delete: select again from there.
                    walker._pending = False
                    step = _SX_SELECT_NEXT if walker.selected else _SX_SELECT_FIRST
                    found = lib.sxSelect(scope._h(), selector.handle, walker._h(), step | mode)
                    continue
                item = walker.dup()
                found = lib.sxSelect(scope._h(), selector.handle, walker._h(), _SX_SELECT_NEXT | mode)
                yield item
        finally:
            walker.close()
            scope.close()

    def select_one(self, css):
        """A cursor on the first match of select(), or None."""
        return next(self.select(css), None)

    def count(self, css):
        """The number of elements select(css) would yield, without cursors."""
        selector, mode = self._scope(css)
        return self._lib.sxSelectCount(self._h(), selector.handle, mode)

    # ---- editing --------------------------------------------------------

    def insert(self, what, where="child", children=False, kind=None):
        """Inserts a new element and returns a new cursor on it; this cursor
        does not move.

        `what` is a name (str or None for a nameless element) or a Cursor,
        whose element (or, at a list head, whose whole list) is copied.
        `where`: "child" (last child of the current element), "before" or
        "after" the current element, "end" (end of the current list).
        `children` gives a new element an empty child list; `kind` (an
        SG_KIND_* value) is accepted with where="end" only.
        """
        if where not in _PLACES:
            raise ValueError("where must be one of %s" % ", ".join(sorted(_PLACES)))
        target = self.dup()
        try:
            lib = self._lib
            if isinstance(what, Cursor):
                if kind is not None:
                    raise ValueError("kind applies to new elements only")
                if what._lib is not lib:
                    raise ValueError("the source cursor belongs to another library")
                done = lib.sgInsertTree(target._h(), what._h(), _PLACES[where])
            else:
                name = to_wide(what)
                flag = 1 if children else 0
                if kind is not None:
                    if where != "end":
                        raise ValueError("kind is accepted with where='end' only")
                    done = lib.sgAddNode2W(target._h(), name, flag, kind)
                else:
                    function = {"end": lib.sgAddNodeW, "before": lib.sgInsertNodeBeforeW,
                                "after": lib.sgInsertNodeAfterW, "child": lib.sgAddChildNodeW}[where]
                    done = function(target._h(), name, flag)
            if done != 1:
                raise SprigError("the element could not be inserted here")
        except BaseException:
            target.close()
            raise
        return target

    def insert_path(self, path, enter=False):
        """Finds or creates each name of `path` ("a/b/c" or a list of names),
        one level deeper each, from the current list; returns a new cursor on
        the last element (inside its child list when `enter`)."""
        names, _ = _split_path(path, always_path=True)
        target = self.dup()
        try:
            key = to_wide("\0".join(names) + "\0")
            if self._lib.sgAddNodePathW(target._h(), key, 1 if enter else 0) != 1:
                raise SprigError("the path could not be made")
        except BaseException:
            target.close()
            raise
        return target

    def delete(self):
        """Deletes the current element with its subtree. This cursor moves to
        the next element, else the previous one, else the owner. Other
        cursors standing in the deleted subtree become unusable
        (SprigClosedError); iterators step past the deleted element."""
        handle = self._need_element()
        gone = _node_id(self._lib, handle)
        for other in list(self._group.cursors):
            if other is not self and other._handle is not None and not other._stale:
                if gone in other._ancestor_ids():
                    other._lose_position(self)
        if self._lib.sgDeleteNode(handle) != 1:
            raise SprigError("the element could not be deleted")

    def move_node(self, to_front=True):
        """Moves the current element to the start (or end) of its list; it
        stays current."""
        if self._lib.sgMoveNode(self._need_element(), 1 if to_front else 2) != 1:
            raise SprigError("the element could not be moved")

    def _ancestor_ids(self):
        """Ids of the current node and everything above it up to the root.

        An element never changes its ancestors (edits delete, reorder within
        a list or copy), so the set is cached per current node."""
        lib = self._lib
        current = _node_id(lib, self._handle)
        if self._ancestry[0] == current:
            return self._ancestry[1]
        ids = set()
        probe = lib.sgDupXML(self._handle)
        if not probe:
            raise MemoryError("out of memory in the Sprig library")
        try:
            while True:
                ids.add(_node_id(lib, probe))
                if lib.sgMoveTo(probe, _MOVE_PARENT) != 1 and lib.sgSetBase(probe, 0) != 1:
                    break
        finally:
            lib.sgCloseXML(probe)
        self._ancestry = (current, frozenset(ids))
        return self._ancestry[1]

    def _lose_position(self, deleter):
        """Called before `deleter` deletes an element this cursor stands in:
        parks the cursor at the document root, where it is safe to release."""
        lib = self._lib
        lib.sgSetBase(self._handle, 0)
        lib.sgMoveTo(self._handle, _MOVE_BASE)
        self._stale = "the element this cursor stood on was deleted"

    # ---- rendering ------------------------------------------------------

    def outer_xml(self):
        """The current element with its subtree and after text (at a list
        head: every element of the list) rendered as a str."""
        lib = self._lib
        address = lib.sgGetOuterXMLW(self._h())
        if not address:
            raise MemoryError("out of memory rendering the element")
        try:
            return from_wide(address)
        finally:
            lib.free_global(address)

    def outer_xml_bytes(self, encoding=_ENC_UTF8):
        """As outer_xml, converted to `encoding` (code page or name)."""
        lib = self._lib
        address = lib.sgGetOuterXMLA(self._h(), encoding_code(encoding, lib))
        if not address:
            raise MemoryError("out of memory rendering the element")
        try:
            return from_narrow(address)
        finally:
            lib.free_global(address)

    # ---- notes ----------------------------------------------------------

    def _note(self, handle, name=None):
        if not handle:
            return None
        note = self._notes.get(handle)
        if note is None:
            note = Note(self, handle, name)
            self._notes[handle] = note
        return note

    def create_note(self, name=None):
        """A new note of this cursor; notes die with the cursor."""
        handle = self._lib.sgCreateNoteW(self._h(), to_wide(name))
        if not handle:
            raise MemoryError("out of memory creating a note")
        return self._note(handle, name)

    @property
    def notes(self):
        """The cursor's notes, oldest first (a new list each time)."""
        handle = self._h()
        count = self._lib.sgNoteGetCount(handle)
        return [self._note(self._lib.sgNoteGetByIndex(handle, i)) for i in range(count)]

    def note(self, name):
        """The oldest note of that name (any letter case), or None."""
        return self._note(self._lib.sgNoteGetByNameW(self._h(), to_wide(name)))


class _Walker(Cursor):
    """The hidden cursor of an iterator, standing on the next item to yield.

    When the element it stands on is deleted, a resumable walker (document
    order by name) steps back to the element before the deleted subtree,
    from where the next search continues; any other walker is lost."""

    def __init__(self, cursor, resumable):
        Cursor.__init__(self, cursor._lib, cursor._lib.sgDupXML(cursor._h()),
                        cursor._owner, cursor._group)
        self._resumable = resumable
        self._pending = False

    def _lose_position(self, deleter):
        lib = self._lib
        if self._resumable and _base_id(lib, deleter._handle) == _base_id(lib, self._handle):
            probe = lib.sgDupXML(deleter._handle)
            if probe:
                try:
                    if lib.sgMoveTo(probe, _MOVE_PREV_IN_ORDER) == 1:
                        if lib.sgSeek(self._handle, _node_id(lib, probe)) == 1:
                            self._pending = True
                            return
                    else:
                        lib.sgMoveTo(self._handle, _MOVE_BASE)
                        self._pending = True
                        return
                finally:
                    lib.sgCloseXML(probe)
        Cursor._lose_position(self, deleter)
        self._stale = "an iterator's element was deleted"


def _base_id(lib, handle):
    """Node id of the head of the cursor's base list."""
    probe = lib.sgDupXML(handle)
    if not probe:
        return None
    try:
        lib.sgMoveTo(probe, _MOVE_BASE)
        return _node_id(lib, probe)
    finally:
        lib.sgCloseXML(probe)


class Document(Cursor):
    """The first cursor on a document, made by open, parse, create or copy.

    Use it in a with block: leaving the block closes it and every cursor made
    from it. When the block ends without an exception, a changed document
    read from a file (or made by create with a path) is saved first, with
    the verified save of save(); when it ends with an exception nothing is
    written. close() and discard() never write.
    """

    _exact = False      # read by the editing layer (sxSave and sxRender work on it)
    _target = None      # where the with block saves: b"" the file read, else a path

    @classmethod
    def _make(cls, lib, handle, exact=False, target=None):
        if not handle:
            raise MemoryError("out of memory in the Sprig library")
        doc = cls(lib, handle, None)
        doc._exact, doc._target = exact, target
        return doc

    @classmethod
    def _read(cls, lib, reader, encoding, filename=None):
        error = SxError()
        handle = reader(_label(lib, encoding), ctypes.byref(error))
        if not handle:
            _raise(error, filename)
        return cls._make(lib, handle, exact=True, target=b"" if filename is not None else None)

    @classmethod
    def open(cls, path, encoding=None, library=None):
        """Reads a file whole and parses it. `encoding`: a label ("euc-kr",
        "windows-1252", "932") that overrides everything but a byte-order
        mark; None detects it. FileNotFoundError, PermissionError,
        IsADirectoryError or SprigIOError when it cannot be read; LookupError
        for an unknown encoding."""
        lib = library or _native.default_library()
        name = path_bytes(path)
        return cls._read(lib, lambda label, error: lib.sxOpen(name, label, error), encoding, name)

    @classmethod
    def parse(cls, source, encoding=None, library=None):
        """Parses a document in memory: bytes as a file's bytes (encoding
        detected as open() does, or given), a str as text (no encoding: it
        saves as UTF-8 unless told otherwise)."""
        lib = library or _native.default_library()
        if isinstance(source, str):
            if encoding is not None:
                raise TypeError("a str has no encoding: pass bytes to parse with one")
            encoded = to_wide(source)
            length = wide_length(encoded)
            if length >= 0x80000000:
                raise ValueError("text too long")
            return cls._make(lib, lib.sgParseXMLW(encoded, length))
        if not isinstance(source, (bytes, bytearray, memoryview)):
            raise TypeError("parse() takes str or bytes, not %s" % type(source).__name__)
        data = bytes(source)
        return cls._read(lib, lambda label, error: lib.sxParse(data, len(data), label, error),
                         encoding)

    @classmethod
    def create(cls, path=None, encoding="utf-8", declaration=True, library=None):
        """A new empty document in `encoding`, saved to `path` (if given) when
        its with block ends cleanly; `declaration` starts it with an XML
        declaration and makes it an XML document (line-broken output)."""
        lib = library or _native.default_library()
        head = ""
        if declaration:
            head = '<?xml version="1.0" encoding="%s"?>' % str(encoding).upper()
        try:
            data = head.encode(str(encoding))
        except LookupError:
            data = head.encode("ascii")
        doc = cls.parse(data, encoding=encoding, library=lib)
        doc._target = None if path is None else path_bytes(path)
        if declaration:
            doc.xml_flag = 1
        doc.modified = path is not None
        return doc

    def __exit__(self, exc_type, exc, traceback):
        try:
            if exc_type is None and self._target is not None and not self.closed and self.modified:
                self.save(self._target or None)
        finally:
            self.close()
        return False

    def __repr__(self):
        if self._handle is None:
            return "<sprig.Document closed>"
        return "<sprig.Document encoding=%r>" % self.encoding

    def discard(self):
        """Closes without writing (as close() does) and frees the whole
        document even while other cursors hold it."""
        self._close_derived()
        self._release(self._lib.sgDeleteXML)

    def copy(self):
        """A new, independent Document on a copy of the whole tree; it has
        no file and no encoding (it saves as UTF-8 unless told otherwise)."""
        return Document._make(self._lib, self._lib.sgCopyTree(self._h()))

    def _exact_handle(self):
        """(handle the sx writer accepts, temporary handle to close or None).
        A document not read by sx (a parsed str, a copy) is rendered to UTF-8
        and read back by sx, so that every write goes through sxSave."""
        if self._exact:
            return self._h(), None
        top = self.dup()
        try:
            top.move_base()
            data = top.outer_xml().encode("utf-8")
        finally:
            top.close()
        error = SxError()
        handle = self._lib.sxParse(data, len(data), b"utf-8", ctypes.byref(error))
        if not handle:
            _raise(error)
        return handle, handle

    def save(self, path=None, encoding=None, force=False, sync=True):
        """Writes the document with every unedited byte as read: over its own
        file (path None), or to `path`; `encoding` re-encodes the whole file
        and relabels its declaration or meta charset. The result is verified
        before anything is written, then replaces the target atomically.
        LossyWriteError when a piece cannot be written exactly (force=True
        writes it anyway); OSError subclasses for I/O failures; the target is
        untouched on any failure. sync=False skips waiting for the disk: the
        replacement still survives a crash of the program, not of the system."""
        lib = self._lib
        label = _label(lib, encoding)
        name = None if path is None else path_bytes(path)
        handle, temporary = self._exact_handle()
        try:
            error = SxError()
            flags = (_SX_SAVE_FORCE if force else 0) | (0 if sync else _SX_SAVE_NO_SYNC)
            if not lib.sxSave(handle, name, label, flags, ctypes.byref(error)):
                _raise(error, name if name is not None else self._target)
        finally:
            if temporary:
                lib.sgDeleteXML(temporary)
        if path is None or (self._target and name == self._target):
            self.modified = False

    def render(self, encoding=None, force=False):
        """The bytes save() would write, as bytes."""
        lib = self._lib
        label = _label(lib, encoding)
        handle, temporary = self._exact_handle()
        block, size, error = ctypes.c_void_p(), ctypes.c_size_t(), SxError()
        try:
            if not lib.sxRender(handle, label, _SX_SAVE_FORCE if force else 0, ctypes.byref(block),
                                ctypes.byref(size), ctypes.byref(error)):
                _raise(error)
            try:
                return ctypes.string_at(block.value, size.value) if size.value else b""
            finally:
                lib.sxFree(block)
        finally:
            if temporary:
                lib.sgDeleteXML(temporary)

    @property
    def encoding(self):
        """The canonical name of the document's encoding ("utf-8", "euc-kr",
        "utf-16le", ...); None for a parsed str or a copy."""
        name = self._lib.sxGetEncodingName(self._h())
        return None if name is None else name.decode("ascii")

    @property
    def encoding_source(self):
        """How the encoding was decided: "bom", "caller", "declaration",
        "meta", "utf-8" (valid UTF-8, no label) or "default" (the ANSI code
        page); None as for encoding."""
        return _SOURCES.get(self._lib.sxGetEncodingSource(self._h()))

    @property
    def code_page(self):
        """The document's code page (65001 UTF-8, 949 EUC-KR, ...)."""
        code = self._lib.sxGetCodePage(self._h())
        return self._lib.sgGetEncoding(self._h()) if code == _NONE else code

    @property
    def invalid_count(self):
        """How many byte sequences of the input were invalid in its encoding
        (each read as U+FFFD, and written back as it was while not edited)."""
        return self._lib.sxGetInvalidCount(self._h(), None, None)

    @property
    def first_invalid(self):
        """(line, column) of the first invalid byte sequence, or None."""
        line, column = ctypes.c_uint32(), ctypes.c_uint32()
        if not self._lib.sxGetInvalidCount(self._h(), ctypes.byref(line), ctypes.byref(column)):
            return None
        return line.value, column.value

    @property
    def xml_flag(self):
        """Non-zero for an XML document (output gets line breaks and tabs)."""
        return self._lib.sgGetXMLFlag(self._h())

    @xml_flag.setter
    def xml_flag(self, value):
        self._lib.sgSetXMLFlag(self._h(), int(value))

    @property
    def modified(self):
        """Whether the document changed since it was read or saved to its file."""
        return self._lib.sgGetUpdateFlag(self._h()) != 0

    @modified.setter
    def modified(self, value):
        self._lib.sgSetUpdateFlag(self._h(), 1 if value else 0)

    @property
    def source(self):
        """The decoded text the document was parsed from, or None."""
        return from_wide(self._lib.sgGetSrcXML(self._h()))


class Attributes(MutableMapping):
    """The attributes of a cursor's current element.

    A value is a str, or None for an attribute written without value
    (``<input disabled>``); assigning None creates such an attribute (or
    keeps the value of an existing one). Values set here are written
    double-quoted.
    """

    def __init__(self, cursor):
        self._cursor = cursor

    def _lib_handle(self):
        return self._cursor._lib, self._cursor._h()

    def __getitem__(self, name):
        lib, handle = self._lib_handle()
        key = to_wide(name)
        if not lib.sgDoesAttribExistW(handle, key):
            raise KeyError(name)
        return from_wide(lib.sgGetAttribW(handle, key))

    def __setitem__(self, name, value):
        if not name:
            raise ValueError("attribute names must not be empty")
        handle = self._cursor._need_element()
        if value is not None and not isinstance(value, str):
            value = str(value)
        if self._cursor._lib.sgSetAttribW(handle, to_wide(name), to_wide(value)) != 1:
            raise MemoryError("out of memory setting attribute %r" % name)

    def __delitem__(self, name):
        lib, handle = self._lib_handle()
        if lib.sgDeleteAttribW(handle, to_wide(name)) != 1:
            raise KeyError(name)

    def __contains__(self, name):
        if not isinstance(name, str):
            return False
        lib, handle = self._lib_handle()
        return lib.sgDoesAttribExistW(handle, to_wide(name)) == 1

    def __len__(self):
        lib, handle = self._lib_handle()
        return lib.sgGetAttribCount(handle)

    def __iter__(self):
        # Re-checks the cursor at each step: a cursor closed while iterating
        # raises rather than reading freed attributes.
        index = 0
        while True:
            lib, handle = self._lib_handle()
            if index >= lib.sgGetAttribCount(handle):
                return
            name = from_wide(lib.sgGetAttribNameW(handle, index))
            yield "" if name is None else name
            index += 1

    def items(self):
        """(name, value) pairs in document order, duplicates included."""
        lib, handle = self._lib_handle()
        return [("" if n is None else n, v) for n, v in (
            (from_wide(lib.sgGetAttribNameW(handle, i)), from_wide(lib.sgGetAttribValueW(handle, i)))
            for i in range(lib.sgGetAttribCount(handle)))]

    def __repr__(self):
        try:
            return "Attributes(%r)" % dict(self.items())
        except SprigError:
            return "Attributes(<closed>)"


class NoteAttributes:
    """A note's attributes: get, set, delete and test by name (any letter
    case). The library cannot list them, so there is no iteration."""

    def __init__(self, note):
        self._note = note

    def __getitem__(self, name):
        lib, handle = self._note._lib_handle()
        key = to_wide(name)
        if not lib.sgNoteDoesAttribExistW(handle, key):
            raise KeyError(name)
        return from_wide(lib.sgNoteGetAttribW(handle, key))

    def get(self, name, default=None):
        try:
            return self[name]
        except KeyError:
            return default

    def __setitem__(self, name, value):
        lib, handle = self._note._lib_handle()
        if value is not None and not isinstance(value, str):
            value = str(value)
        if lib.sgNoteSetAttribW(handle, to_wide(name), to_wide(value)) != 1:
            raise MemoryError("out of memory setting note attribute %r" % name)

    def __delitem__(self, name):
        lib, handle = self._note._lib_handle()
        if lib.sgNoteDeleteAttribW(handle, to_wide(name)) != 1:
            raise KeyError(name)

    def __contains__(self, name):
        lib, handle = self._note._lib_handle()
        return lib.sgNoteDoesAttribExistW(handle, to_wide(name)) == 1

    def __iter__(self):
        raise TypeError("note attributes cannot be listed")


class Note:
    """A named collection of text pieces attached to a cursor, with its own
    attributes and references from pieces to elements.

    Positions are indexes into `text` (the joined pieces, line feeds after
    pieces added with line=True). A note dies with its cursor.
    """

    def __init__(self, cursor, handle, name):
        self._cursor = cursor
        self._handle = handle
        self.name = name
        self._joined = None     # the joined text of the last W build, if current

    def _lib_handle(self):
        if self._handle is None:
            raise SprigClosedError("the note was deleted or its cursor closed")
        return self._cursor._lib, self._handle

    def __repr__(self):
        state = "deleted" if self._handle is None else "%d chars" % len(self.text)
        return "<sprig.Note %r %s>" % (self.name, state)

    def add(self, text, name=None, line=False, refer_to=None):
        """Appends a piece (name: a key for position()); `line` ends a line
        after it; `refer_to` makes the piece refer to that cursor's node."""
        lib, handle = self._lib_handle()
        function = lib.sgNoteAddStrLnW if line else lib.sgNoteAddStrW
        if function(handle, to_wide(name), to_wide(text)) != 1:
            raise MemoryError("out of memory adding to a note")
        self._joined = None
        if refer_to is not None:
            self.refer_to(refer_to)

    def refer_to(self, cursor):
        """Makes the newest piece refer to `cursor`'s current node (in any
        document; the reference keeps that document alive)."""
        lib, handle = self._lib_handle()
        if cursor._lib is not lib:
            raise ValueError("the cursor belongs to another library")
        if lib.sgNoteSetReferenceNode(handle, cursor._h()) != 1:
            raise SprigError("the note has no piece to refer from")
        self._joined = None

    @property
    def text(self):
        """All pieces joined."""
        lib, handle = self._lib_handle()
        joined = from_wide(lib.sgNoteGetStrW(handle))
        if joined is None:
            raise MemoryError("out of memory joining a note")
        self._joined = joined
        return joined

    def strings(self):
        """The pieces as strings: pieces run together until one added with
        line=True ends a string."""
        lib, handle = self._lib_handle()
        result = from_wide_list(lib.sgNoteGetStrListW(handle))
        self._joined = None     # positions now count the list, not the text
        if result is None:
            raise MemoryError("out of memory listing a note")
        return result

    def _built(self):
        return self._joined if self._joined is not None else self.text

    def position(self, name):
        """Index in `text` of the first piece of that name, or None."""
        joined = self._built()
        lib, handle = self._lib_handle()
        units = lib.sgNoteGetPosW(handle, to_wide(name))
        return None if units == _NONE else _index_of_unit(joined, units)

    def reference(self, position, mode="at", owners_only=False):
        """A new cursor on the element referred to at index `position` of
        `text`, or None. Mode "at" takes the piece holding `position`, "after"
        and "before" the nearest referring piece on that side, "at_or_after"
        the first referring piece that ends after `position` (or, past every
        piece, the last piece).
        The cursor is closed with the document of this note's cursor."""
        if mode not in _REFERENCE_MODES:
            raise ValueError("mode must be one of %s" % ", ".join(sorted(_REFERENCE_MODES)))
        joined = self._built()
        lib, handle = self._lib_handle()
        units = _unit_of_index(joined, position)
        code = _REFERENCE_MODES[mode] | (0x100 if owners_only else 0)
        found = lib.sgNoteGetReferenceNode(handle, max(-0x80000000, min(units, 0x7FFFFFFF)), code)
        if not found:
            return None
        return Cursor(lib, found, self._cursor._owner)

    def find_reference(self, cursor):
        """Index in `text` where the span of `cursor`'s element starts, or None."""
        joined = self._built()
        lib, handle = self._lib_handle()
        if cursor._lib is not lib:
            raise ValueError("the cursor belongs to another library")
        units = lib.sgNoteSearchReferenceNode(handle, cursor._h())
        return None if units == _NONE else _index_of_unit(joined, units)

    @property
    def attrs(self):
        """The note's attributes (see NoteAttributes)."""
        return NoteAttributes(self)

    def delete(self):
        """Destroys the note with its pieces, attributes and references."""
        lib, handle = self._lib_handle()
        self._handle = None
        self._cursor._notes.pop(handle, None)
        lib.sgDeleteNote(handle)

    @property
    def deleted(self):
        """True once the note was deleted or its cursor closed."""
        return self._handle is None


# ---- helpers -------------------------------------------------------------------

def _none_if_all_ones(value):
    return None if value == _NONE else value


def _split_path(name_or_path, always_path=False):
    """(names, is_path) for "a", "a/b/c" or a sequence of names."""
    if isinstance(name_or_path, str):
        is_path = always_path or "/" in name_or_path
        names = name_or_path.strip("/").split("/") if is_path else [name_or_path]
    else:
        names = list(name_or_path)
        is_path = True
    if is_path:
        if not names or any(not isinstance(n, str) or n == "" or "\0" in n for n in names):
            raise ValueError("a path needs non-empty names: %r" % (name_or_path,))
    return names, is_path


def _search_key(name, mode):
    if mode in (_SEARCH_PATH_FIRST, _SEARCH_PATH_NEXT):
        names, _ = _split_path(name, always_path=True)
        return to_wide("\0".join(names) + "\0")
    return to_wide(name)


def _is_bmp(text):
    return len(text.encode("utf-16-le", "surrogatepass")) == 2 * len(text)


def _index_of_unit(text, units):
    """Python index in `text` of UTF-16 unit offset `units`."""
    if _is_bmp(text):
        return units
    return len(text.encode("utf-16-le", "surrogatepass")[:2 * units].decode("utf-16-le", "surrogatepass"))


def _unit_of_index(text, index):
    """UTF-16 unit offset of Python index `index` in `text` (any int)."""
    if index <= 0 or _is_bmp(text):
        return index
    return len(text[:index].encode("utf-16-le", "surrogatepass")) // 2 + max(0, index - len(text))
