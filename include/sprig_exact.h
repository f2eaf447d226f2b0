/**
 * @file sprig_exact.h
 * @brief The editing layer: whole-file reading, CSS selectors, verified saves.
 *
 * sprig_exact.h - the editing layer of Sprig: read any real file whole, in
 * the encoding it declares, query it with CSS selectors, edit it through the
 * sprig.h functions and save it with every untouched byte kept.
 *
 * The layer ships as its own library (libsprig-exact.so, SprigExact.dll) that
 * contains the core too: it exports every sprig.h function and the sx
 * functions below. A program loads this library or the core library, never
 * both, so that the process-wide state of the core (result rings, node ids)
 * exists once.
 *
 * A document opened here is an ordinary core document (SG_CURSOR): every
 * sprig.h function works on it unchanged. The layer adds what the core does
 * not do by contract:
 *   - the encoding is detected in this order: byte-order mark, the caller's
 *     choice, the XML declaration, a meta charset in the first 1,024 bytes,
 *     UTF-8 when the bytes are valid UTF-8, else the ANSI code page;
 *   - the whole file is read: a stray end tag or '<' at the top level is kept
 *     in the tree and reading goes on after it;
 *   - sxSave writes the original bytes of everything that was not edited, and
 *     the edited tags, attributes and texts by the core's rules; it refuses
 *     (SX_ERR_LOSSY) a save that cannot keep every byte unless forced, and it
 *     replaces the target atomically.
 *
 * Paths and selectors are UTF-8 on every platform. Functions that can fail
 * take an optional SX_ERROR (may be null) that they fill on failure.
 *
 * Threads: separate documents may be used on separate threads at once; one
 * document (with all its cursors) is used by one thread at a time. Compiled
 * selectors are read-only and may be shared between threads.
 */
#ifndef SPRIG_EXACT_H
#define SPRIG_EXACT_H

#include "sprig.h"

#ifdef __cplusplus
extern "C" {
#endif

/** @defgroup sx_errors Errors
 * @brief SX_ERROR, filled by the functions that can fail, and its codes.
 * @{ */

/** A compiled CSS selector list (Selectors Level 3 plus :is() and :not()). */
typedef struct SxSelector *SX_SELECTOR;

/** @name Error codes of SX_ERROR.code */
/** @{ */
#define SX_OK               0  /**< no error */
#define SX_ERR_MEMORY       1  /**< memory ran out */
#define SX_ERR_IO           2  /**< a read, write, sync or rename failed; osError says why */
#define SX_ERR_NOT_FOUND    3  /**< the file or its folder does not exist */
#define SX_ERR_NOT_REGULAR  4  /**< a folder, FIFO, socket or device: not read, not written */
#define SX_ERR_ENCODING     5  /**< an encoding label or code page the system cannot convert */
#define SX_ERR_LOSSY        6  /**< save refused: line/column name the first piece that
                                  cannot be written exactly in the target encoding */
#define SX_ERR_SELECTOR     7  /**< invalid selector: column names the place (1-based) */
#define SX_ERR_ARGUMENT     8  /**< null or closed cursor, or a document not read by sx */
/** @} */

/** What went wrong, filled by a failing call that was given one (may be null). */
typedef struct SX_ERROR {
  int32_t code;        /**< SX_OK or SX_ERR_* */
  int32_t osError;     /**< errno (POSIX) or GetLastError (Windows); 0 when none */
  uint32_t line;       /**< 1-based place in the file or selector; 0 when none */
  uint32_t column;     /**< 1-based, in characters */
  char message[512];   /**< UTF-8, one line, names the file and the place */
} SX_ERROR;

/** @} */

/** @defgroup sx_reading Reading
 * @brief Opening and parsing with encoding detection; what was read.
 *
 * Paths and labels are UTF-8 (no A/W pairs in this layer); a document read
 * here is an ordinary SG_CURSOR, released with sgCloseXML or sgDeleteXML.
 * @{ */

/** @name How the encoding of a document was decided (sxGetEncodingSource) */
/** @{ */
#define SX_FROM_BOM          1u /**< a byte-order mark */
#define SX_FROM_CALLER       2u /**< the caller's label */
#define SX_FROM_DECLARATION  3u /**< the XML declaration */
#define SX_FROM_META         4u /**< a meta charset */
#define SX_FROM_UTF8         5u  /**< no label; the bytes are valid UTF-8 */
#define SX_FROM_DEFAULT      6u  /**< no label; the ANSI code page */
/** @} */

/** @name Flags of sxSave and sxRender */
/** @{ */
#define SX_SAVE_FORCE        1u  /**< write even where a piece cannot be kept exactly */
#define SX_SAVE_NO_SYNC      2u  /**< sxSave: no syncs; the file is replaced whole if the
                                      program stops, but not if the system does (for bulk
                                      work that can be run again) */

/** @} */

/** @name Modes of sxSelect */
/** @{ */
#define SX_SELECT_FIRST      1u  /**< the first match in document order */
#define SX_SELECT_NEXT       2u  /**< the first match after the result cursor's element */
#define SX_SELECT_DOCUMENT   0x10u /**< or-ed in: search the whole document, not only
                                      below the scope cursor's element */
/** @} */

/** Reads the file at `path` whole and parses it. `encoding` is a label
 * ("utf-8", "euc-kr", "windows-1252", "cp932", "932") or null to detect it.
 * Returns a new cursor on the first top-level node, released with
 * sgCloseXML or sgDeleteXML (a document opened here is never written back by
 * sgCloseXML: only sxSave writes). Null on failure, with `error` filled. */
SG_API SG_CURSOR SG_CALL sxOpen(const char *path, const char *encoding, SX_ERROR *error);

/** As sxOpen, from `size` bytes in memory (copied; the caller keeps its
 * buffer). The document has no file name: sxSave needs a path. */
SG_API SG_CURSOR SG_CALL sxParse(const void *bytes, size_t size, const char *encoding,
                                 SX_ERROR *error);

/** The document's code page, or 0xFFFFFFFF when `cursor` is null or its
 * document was not read by sx. */
SG_API uint32_t SG_CALL sxGetCodePage(SG_CURSOR cursor);

/** The canonical name of the document's encoding ("utf-8", "shift_jis",
 * "euc-kr", "utf-16le", ..., or "cpNNN" for a code page given by number that
 * has no name): never freed, valid while the document lives; null as above. */
SG_API const char *SG_CALL sxGetEncodingName(SG_CURSOR cursor);

/** SX_FROM_*: how the encoding was decided; 0 as above. */
SG_API uint32_t SG_CALL sxGetEncodingSource(SG_CURSOR cursor);

/** How many byte sequences of the file were invalid in its encoding (each
 * replaced by U+FFFD in the tree, and written back from the original bytes
 * while its piece is not edited). When there is one, *line and *column
 * (either may be null) receive the place of the first. */
SG_API uint32_t SG_CALL sxGetInvalidCount(SG_CURSOR cursor, uint32_t *line, uint32_t *column);

/** Line and column (1-based, columns in characters) of the '<' of the
 * cursor's element in the text as read. 1, or 0 when nothing is selected or
 * the element was made by an edit. */
SG_API int32_t SG_CALL sxGetLineColumn(SG_CURSOR cursor, uint32_t *line, uint32_t *column);

/** @} */

/** @defgroup sx_saving Saving
 * @brief Format-preserving, verified, atomic saves and renderings.
 * @{ */

/** Saves the cursor's document. `path` null saves over the file it was read
 * from. `encoding` null keeps the document's encoding; another encoding
 * re-encodes the whole file and relabels the XML declaration or meta
 * charset. Unedited bytes are written as read. The result is checked before
 * anything is written, then written to a temporary file in the target's
 * folder, synced and renamed over the target (through a symlink: over the
 * file it names), keeping the target's permission bits (POSIX: mode, owner
 * and group where allowed; Windows: the file attributes, while the access
 * list is the folder's inherited one, as for any new file); the folder is
 * synced after the rename (neither sync with SX_SAVE_NO_SYNC). 1 on success; 0 with
 * `error` filled, and the target untouched, on any failure. */
SG_API int32_t SG_CALL sxSave(SG_CURSOR cursor, const char *path, const char *encoding,
                              uint32_t flags, SX_ERROR *error);

/** The bytes that sxSave would write, in a block the caller frees with
 * sxFree; *size receives their number. 1, or 0 with `error` filled. */
SG_API int32_t SG_CALL sxRender(SG_CURSOR cursor, const char *encoding, uint32_t flags,
                                void **bytes, size_t *size, SX_ERROR *error);

/** Frees a block from sxRender. Null ignored. */
SG_API void SG_CALL sxFree(void *block);

/** @} */

/** @addtogroup sx_reading
 * @{ */

/** The code page of an encoding label (WHATWG labels, Windows names, code
 * page numbers as decimal text; case and surrounding blanks ignored), or
 * 0xFFFFFFFF when the label is unknown or the system cannot convert it. */
SG_API uint32_t SG_CALL sxCodePageOfLabel(const char *label);

/** Decodes character references (\&amp; \&\#38; \&\#x26; and the HTML named
 * references) in `length` units of `text` (negative: up to the zero) into
 * `out`, which has room for `capacity` units. Returns the number of units of
 * the decoded text (never more than the input's); writes them and a zero
 * when they fit. */
SG_API int32_t SG_CALL sxDecodeText(const SG_WCHAR *text, int32_t length, SG_WCHAR *out,
                                    int32_t capacity);

/** @} */

/** @defgroup sx_selectors Selectors
 * @brief Compiling CSS selectors and finding their matches.
 * @{ */

/** Compiles a UTF-8 selector list. Null on failure, with error->code
 * SX_ERR_SELECTOR and error->column at the offending character. Freed with
 * sxFreeSelector; usable on any document and any thread. */
SG_API SX_SELECTOR SG_CALL sxCompileSelector(const char *selector, SX_ERROR *error);
/** Frees a compiled selector. Null ignored. */
SG_API void SG_CALL sxFreeSelector(SX_SELECTOR selector);

/** Moves `result` to a match of `selector`: SX_SELECT_FIRST the first,
 * SX_SELECT_NEXT the first after result's element, in document order, among
 * the descendants of `scope`'s element (with SX_SELECT_DOCUMENT: among all
 * elements). Combinators may reach outside the scope, as querySelectorAll
 * does. Both cursors belong to one document. 1 when moved; 0 when there is
 * no further match (result unchanged). Stepping from FIRST through every
 * match with NEXT takes time linear in the elements walked: a thread's next
 * call goes on with what its last call learnt, unless a tree was edited. */
SG_API int32_t SG_CALL sxSelect(SG_CURSOR scope, SX_SELECTOR selector, SG_CURSOR result,
                                uint32_t mode);

/** The number of matches sxSelect would visit from SX_SELECT_FIRST, with
 * `mode` 0 or SX_SELECT_DOCUMENT; no cursor moves. */
SG_API uint32_t SG_CALL sxSelectCount(SG_CURSOR scope, SX_SELECTOR selector, uint32_t mode);

/** @} */

#ifdef __cplusplus
}
#endif

#endif /* SPRIG_EXACT_H */
