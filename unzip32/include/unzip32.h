/*
 * unzip32: the records, callbacks, flags and result codes shared by the
 * extraction library and the programs that drive it.
 *
 * On 32-bit Windows every record has the classic byte layout (checked by the
 * static assertions at the end): little-endian 32-bit integers, texts as
 * 32-bit pointers to zero-terminated ANSI strings, every callback and export
 * __stdcall with each argument in one 32-bit slot. Elsewhere the same
 * declarations compile with native pointer sizes, for tests and tools.
 */
#ifndef UNZIP32_H
#define UNZIP32_H

#include <stdint.h>

#if defined(_WIN32)
#define UZ_CALL __stdcall
#else
#define UZ_CALL
#endif

/* On Windows the exports are named by unzip32.def (undecorated); elsewhere
 * the shared library exports only these two symbols. */
#if defined(_WIN32)
#define UZ_EXPORT
#elif defined(UNZIP32_BUILDING)
#define UZ_EXPORT __attribute__((visibility("default")))
#else
#define UZ_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Callbacks ---------------------------------------------------------- */

/* All callbacks are called on the thread that called Wiz_SingleEntryUnzip,
 * one at a time, in the same order and with the same texts whether or not
 * the library uses worker threads. Texts handed to them are zero-terminated, in the ANSI code page on Windows
 * (UTF-8 with flag 15, and elsewhere); a character the code page lacks
 * arrives as '?', never as a look-alike of it. Names are cut to 255 bytes
 * for the callback only, never inside a character. */

/* A piece of text the library prints; length counts its bytes (at most
 * 32800), and the text is also zero-terminated. Each message is one call and
 * ends with a line feed. Result ignored. */
typedef int32_t(UZ_CALL *UzPrintFn)(const char *text, int32_t length);

/* Unused by this library; the slot may be null. */
typedef int32_t(UZ_CALL *UzSoundFn)(void);

/* An existing file would be overwritten: name is the target path relative to
 * the extraction folder, with the platform's separators. Answer one of
 * UZ_REPLACE_*; any other answer counts as UZ_REPLACE_NO. A null slot means
 * existing files are always left untouched. */
typedef int32_t(UZ_CALL *UzReplaceFn)(char *name);

/* The password for an encrypted entry: write a zero-terminated password into
 * buffer (size bytes; size is 256, and the buffer has one byte more). Answer 0
 * when a password was written, 1 to cancel. Cancelling (or a null slot) stops
 * all further requests in this extraction: the remaining encrypted entries are
 * skipped and reported. A password is tried on later entries before asking
 * again. A wrong password is asked for again, at most three times per entry. */
typedef int32_t(UZ_CALL *UzPasswordFn)(char *buffer, int32_t size, const char *prompt,
                                       const char *entry_name);

/* One entry of a listing (flag 7), in central directory order: uncompressed
 * and compressed size (low 32 bits), compression in permille saved, month
 * (1-12), day, year (four digits), hour, minute (local time of the entry),
 * '*' when encrypted else ' ', name, method text, CRC-32, 1 when encrypted.
 * Arguments 4 to 8 carry 16-bit values in the low half of their slot. */
typedef void(UZ_CALL *UzMessageFn)(int32_t size, int32_t packed_size, int32_t ratio_permille,
                                   int32_t month, int32_t day, int32_t year, int32_t hour,
                                   int32_t minute, int32_t encrypted_mark, const char *name,
                                   const char *method, uint32_t crc, int32_t encrypted);

/* Called before each entry is written with its target path and uncompressed
 * size (low 32 bits). A non-zero answer stops the extraction (UZ_ABORTED). */
typedef int32_t(UZ_CALL *UzServiceFn)(const char *name, int32_t size);

/* Answers of the replace callback. */
enum {
    UZ_REPLACE_NO = 100,  /* leave the existing file untouched */
    UZ_REPLACE_YES = 102, /* replace it */
    UZ_REPLACE_STOP = 104 /* stop the whole extraction */
};

/* ---- Records ------------------------------------------------------------ */

/* Options record. Each flag is a 32-bit integer; only flags 4, 7, 10 and 15
 * have a meaning, the others are accepted and ignored.
 *
 * Names of entries (this is not configurable): a name is UTF-8 when the
 * entry says so, or when a Unicode path field (0x7075) matches it, or when a
 * Unix writer stored valid UTF-8; otherwise it is code page 437. Entries are
 * never written outside the extraction folder: leading separators are
 * removed (with a warning); names with a ".." part, a drive letter, a
 * network or device prefix, a ':' stream, a device name (CON, NUL, COM1,
 * nul.txt...), a part ending in a dot or space, reserved or control
 * characters are skipped with a warning (UZ_WARNING). Symbolic links are
 * never created; such entries are skipped with a warning. */
typedef struct UzOptions {
    int32_t flag1;
    int32_t flag2;
    int32_t flag3;
    int32_t message_level; /* flag 4: 0 a line per entry plus warnings and errors,
                              1 warnings and errors only, 2 (or more) nothing */
    int32_t flag5;
    int32_t flag6;
    int32_t list_only;     /* flag 7: non-zero lists the entries through the message
                              callback and writes nothing */
    int32_t flag8;
    int32_t flag9;
    int32_t keep_folders;  /* flag 10: non-zero re-creates the entries' folders below
                              the extraction folder; zero writes every file
                              directly into it and skips folder entries */
    int32_t flag11;
    int32_t flag12;
    int32_t flag13;
    int32_t flag14;
    int32_t utf8;          /* flag 15: non-zero: the two paths below and every text
                              handed to the callbacks are UTF-8, whatever the code
                              page (a path that is not valid UTF-8 is refused);
                              zero: the ANSI code page (Windows) */
    const char *archive;   /* path of the archive */
    const char *folder;    /* extraction folder, created when missing; null or empty
                              means the current folder */
} UzOptions;

/* Totals the library fills in after an extraction (or listing). */
typedef struct UzStatistics {
    uint32_t total_size;        /* uncompressed bytes of the entries processed */
    uint32_t total_packed_size; /* compressed bytes of the entries processed */
    uint32_t entry_count;       /* entries processed */
    uint32_t ratio_permille;    /* overall compression ratio */
    uint32_t reserved;
} UzStatistics;

/* Table of callbacks. */
typedef struct UzCallbacks {
    UzPrintFn print;
    UzSoundFn sound;
    UzReplaceFn replace;
    UzPasswordFn password;
    UzMessageFn message;
    UzServiceFn service;
    UzStatistics statistics;
} UzCallbacks;

/* Version record; the caller sets length to sizeof(UzVersion). zlib.h
 * defines zlib_version as a macro; it is set aside here so that both headers
 * can be included in any order (use zlib's zlibVersion() for the function). */
#pragma push_macro("zlib_version")
#undef zlib_version
typedef struct UzVersion {
    uint32_t length;
    uint32_t flags;
    char beta_level[10];
    char date[20];
    char zlib_version[10];
    uint8_t unzip[4];   /* major, minor, patch, 0 */
    uint8_t zipinfo[4];
    uint8_t os2dll[4];
    uint8_t windll[4];
} UzVersion;
#pragma pop_macro("zlib_version")

/* Name list: 100 pointers to zero-terminated names. The first include_count
 * (exclude_count) are wildcard patterns ('*' any run of characters, '?' one)
 * matched against whole entry names: with includes, only matching entries
 * are processed; matching excludes are skipped. */
#define UZ_NAME_LIST_SIZE 100
typedef const char *UzNameList[UZ_NAME_LIST_SIZE];

/* ---- Results ------------------------------------------------------------ */

/* When several things go wrong, the result is the gravest: bad archive and
 * disk errors outrank unsupported entries, which outrank bad passwords,
 * which outrank warnings. Every failure is also printed (flag 4 below 2). */
enum {
    UZ_OK = 0,           /* every entry extracted */
    UZ_WARNING = 1,      /* finished, but some entries were skipped (unsafe name, symbolic
                            link), names were changed, the archive is empty or its
                            entry count is wrong */
    UZ_BAD_ARCHIVE = 2,  /* the archive is damaged (some entries may have been
                            extracted; a damaged entry leaves no file), or its
                            entries overlap, in which case nothing was written */
    UZ_FATAL = 3,        /* the archive could not be read at all */
    UZ_NO_MEMORY = 4,    /* out of memory */
    UZ_NOT_ZIP = 9,      /* no archive at that path, or not a zip archive (or cut short) */
    UZ_BAD_PARAMS = 10,  /* a record or pointer given to the library is invalid */
    UZ_DISK = 50,        /* a file or folder could not be written */
    UZ_ABORTED = 80,     /* stopped by the replace (UZ_REPLACE_STOP) or service callback;
                            nothing was written after that */
    UZ_UNSUPPORTED = 81, /* an entry uses a method (only stored and deflate are known) or
                            an encryption this library does not handle, or the archive
                            spans several disks; the other entries were extracted */
    UZ_BAD_PASSWORD = 82 /* an encrypted entry was skipped: no password given, or none
                            of those given was right */
};

/* ---- Exports ------------------------------------------------------------ */

/* Fills in the version record. Answers 0, or UZ_BAD_PARAMS when the record is
 * null or its length is not sizeof(UzVersion). */
#define UNZIP32_VERSION_MAJOR 1
#define UNZIP32_VERSION_MINOR 0
#define UNZIP32_VERSION_PATCH 0
#define UNZIP32_DATE "2026-12-07"
UZ_EXPORT int32_t UZ_CALL UzpVersion2(UzVersion *version);

/* Extracts (or lists) the archive named in the options into the folder named
 * there. Null options or callbacks, a null or empty archive path, a count
 * outside 0..100 or a null name within the count give UZ_BAD_PARAMS.
 * Entries may be decoded ahead by worker threads of the library (one per
 * processor, at most 8), started and joined within the call, into files
 * under temporary names that are removed unless moved to their names. Every
 * callback, every folder and every file under its own name still comes from
 * the calling thread, entry by entry, exactly as without them: a callback is
 * never made before the messages of the entries before it. */
UZ_EXPORT int32_t UZ_CALL Wiz_SingleEntryUnzip(int32_t include_count, UzNameList *include,
                                               int32_t exclude_count, UzNameList *exclude,
                                               UzOptions *options, UzCallbacks *callbacks);

/* One entry of UzListEntries, in the archive's order. path: where an
 * extraction that keeps folders (flag 10) writes it, relative to the
 * extraction folder, with the platform's separators, whole; a folder's ends
 * with a separator, "." is the extraction folder itself (nothing is written),
 * null when the name rules refuse the entry (or it is a symbolic link).
 * name: the entry's name as the archive holds it. size: uncompressed, all 64
 * bits. Both texts are UTF-8. A non-zero answer stops the listing. */
typedef int32_t(UZ_CALL *UzEntryFn)(void *context, const char *path, const char *name, uint64_t size);

/* Lists the archive (a UTF-8 path) entry by entry, writing nothing: the
 * paths the extraction would write, exactly as it would write them, and the
 * sizes it would write there. held is set to the number of entries the
 * archive holds (0 when it cannot be read); print gets what the extraction
 * would print about the archive (UTF-8; may be null). Answers UZ_OK,
 * UZ_WARNING (the archive's entry count is wrong, or it holds none), the
 * extraction's code for an archive it cannot read, UZ_ABORTED when entry
 * answered non-zero, or UZ_BAD_PARAMS. */
UZ_EXPORT int32_t UZ_CALL UzListEntries(const char *archive, UzPrintFn print, UzEntryFn entry, void *context,
                                        uint64_t *held);

typedef int32_t(UZ_CALL *UzpVersion2Fn)(UzVersion *version);
typedef int32_t(UZ_CALL *UzListEntriesFn)(const char *, UzPrintFn, UzEntryFn, void *, uint64_t *);
typedef int32_t(UZ_CALL *Wiz_SingleEntryUnzipFn)(int32_t, UzNameList *, int32_t, UzNameList *,
                                                 UzOptions *, UzCallbacks *);

#if defined(_WIN32) && !defined(_WIN64)
#ifdef __cplusplus
static_assert(sizeof(UzOptions) == 68, "options record is 68 bytes");
static_assert(sizeof(UzCallbacks) == 44, "callbacks table is 44 bytes");
static_assert(sizeof(UzVersion) == 64, "version record is 64 bytes");
static_assert(sizeof(UzNameList) == 400, "name list is 100 pointers");
#endif
#endif

#ifdef __cplusplus
}
#endif

#endif
