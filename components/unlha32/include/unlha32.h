// LHA archiver library: packs files into LHA archives and extracts them, called
// by the application through six plain C exports.
//
// Strings are NUL-terminated and owned by the caller; paths are in the file
// system's own encoding. The library allocates nothing that the caller frees
// and keeps no state between calls but the progress callback a thread
// registers (settings are re-read from the settings file on every call). Calls may come from any
// thread; the settings dialog runs on the thread of the QApplication.
//
// Command lines accepted by Unlha (Q stands for one double quote):
//
//   u -a1 -r2 Q archive Q Q @listfile Q   pack the files named in the list file
//   u -a1 Q archive Q Q file Q             pack one file
//   x -a1 Q archive Q Q destination Q      extract into destination
//   l -a1 Q archive Q                      list every entry into output
//   t -a1 Q archive Q                      test every entry (decode, check size and CRC)
//
// A trailing "\" or "/" of the destination belongs to the path and escapes
// nothing. "u" creates the archive or updates it: new names are added, an entry
// whose file on disk is newer is replaced, every other entry is kept. The new
// archive is written beside the old one and renamed into place, so a failed run
// leaves an existing archive as it was. Each file's compressed data is decoded
// and checked against the file's length and CRC before it counts as packed.
// Kept entries are copied without decoding, and only when extraction would
// take their names and their headers are sound. A file is stored under its own name;
// with -r2 a folder brings itself and everything below it, one entry per folder,
// named relative to the folder's parent (without -r2, only its own entry).
// The method and the overwrite choice come from the user's settings (see
// UnlhaConfigDialog) unless a switch gives them for this one command:
// -m5, -m6 or -m7 after "u -a1" packs with lh5, lh6 or lh7; -o1 after "x -a1"
// replaces existing files, -o0 keeps them.
// The list file holds names separated by spaces (a name with spaces is read as
// the shortest run that names an existing file), in double quotes (a quote in
// the name doubled), or one a line; no name holds CR or LF.
//
// "l" writes one line per entry, in archive order, into output (NUL-terminated):
//
//   size TAB packed size TAB method TAB crc TAB date TAB name LF
//
// sizes in decimal bytes; the five-character method id as stored ("-lh5-",
// "-lhd-" for a folder); the header's CRC-16 (poly 0xA001 reflected, init 0) as
// four lowercase hex digits, 0000 for a folder; the modification time in local
// time as "YYYY-MM-DD HH:MM:SS"; the name as extraction would give it, with '/'
// separators, in UTF-8, a folder ending in '/', control characters as \xNN.
// A listing that does not fit in outputSize bytes (NUL included) is not cut:
// the result is UNLHA_ERROR_OUTPUT and output holds the reason, which starts
// with the buffer size the listing needs in decimal digits (NUL included; the
// number is written whole or not at all, and UNLHA_NEEDED_SIZE_ROOM bytes
// always hold it). Call once more with that size; the listing is computed
// afresh, so an archive that grew in between may need a little more.
// "t" succeeds only when every entry decodes to the size and CRC its header
// declares; otherwise the reason names the first bad entry. Neither command
// depends on the settings. For every command, any error met while reading an
// archive, also where it seems to end, is a failure (3 or 4), and so is an
// archive that ends without its end mark (the zero byte after the last entry)
// (3): "x" keeps the entries it extracted before it, "u" leaves the archive as
// it was.
//
// Result codes:
//
// clang-format off
// | Code | Name                     | Meaning                                                    |
// |------|--------------------------|------------------------------------------------------------|
// |    0 | UNLHA_OK                 | success                                                    |
// |    1 | UNLHA_ERROR_COMMAND      | not one of the accepted command lines (or a NULL line)     |
// |    2 | UNLHA_ERROR_ARCHIVE_OPEN | the archive to extract is missing or cannot be opened;     |
// |      |                          | for "u" an existing archive that cannot be opened          |
// |    3 | UNLHA_ERROR_NOT_ARCHIVE  | not an LHA archive, or a damaged or unsupported header;    |
// |      |                          | for "u" also an existing file that is no archive, or an    |
// |      |                          | archive holding an entry extraction would refuse           |
// |    4 | UNLHA_ERROR_DATA         | damaged entry data: CRC mismatch, truncation, a size that  |
// |      |                          | differs from the header's                                  |
// |    5 | UNLHA_ERROR_UNSAFE_ENTRY | an entry was refused (absolute or ".." name, drive letter, |
// |      |                          | UNC-like name, link or device entry, or a path through a   |
// |      |                          | symbolic link in the destination); the others extracted    |
// |    6 | UNLHA_ERROR_SKIPPED      | existing files were kept (overwriting is off in the        |
// |      |                          | settings) and those entries not extracted; all others were |
// |    7 | UNLHA_ERROR_INPUT        | a file or list file to pack is missing or unreadable, the  |
// |      |                          | list is empty, two inputs would get the same name, or an   |
// |      |                          | update's input is a file where the archive has a folder    |
// |      |                          | (or the other way round)                                   |
// |    8 | UNLHA_ERROR_WRITE        | the archive or an extracted file cannot be written         |
// |    9 | UNLHA_ERROR_NO_GUI       | UnlhaConfigDialog called without a QApplication            |
// |   10 | UNLHA_CANCELLED          | UnlhaConfigDialog closed without saving; "u" or "x"       |
// |      |                          | stopped by its progress callback (see UnlhaSetProgress)    |
// |   11 | UNLHA_ERROR_INTERNAL     | out of memory or another unexpected failure; for "u" also  |
// |      |                          | compressed data that did not decode back (nothing written) |
// |   12 | UNLHA_ERROR_SETTINGS     | the settings file cannot be written                        |
// |   13 | UNLHA_ERROR_OUTPUT       | the output buffer is too small for the listing             |
// |   14 | UNLHA_ERROR_NO_DIALOG    | UnlhaConfigDialog cannot load the settings dialog library  |
// clang-format on
//
// "x" refuses a file whose declared size exceeds the free space of its file
// system (8) before writing any of it, and treats data beyond the declared
// size as damage (4). When an extraction meets several problems, the first
// one decides the code; kept files (6) decide it only when nothing else went
// wrong. A time or mode that cannot be restored after extraction does not
// fail the run: "x" then returns 0 with one "警告: ..." line per such file or
// folder in output; "u" likewise for each file it leaves out (the archive
// itself, a dangling link, a folder loop, a special file). For every non-zero
// result a one-line reason goes into output when outputSize > 0
// (NUL-terminated, cut to fit; names from archives with control characters as
// \xNN); on success output receives an empty string unless a command above
// says otherwise. output is never written beyond outputSize bytes, and not at
// all when outputSize is 0. The library writes nothing to standard output or
// standard error: the result code and output are all it says.
#pragma once

#if defined(_WIN32)
#define UNLHA_API __declspec(dllexport)
#elif defined(__GNUC__)
#define UNLHA_API __attribute__((visibility("default")))
#else
#define UNLHA_API
#endif

enum {
    UNLHA_OK = 0,
    UNLHA_ERROR_COMMAND = 1,
    UNLHA_ERROR_ARCHIVE_OPEN = 2,
    UNLHA_ERROR_NOT_ARCHIVE = 3,
    UNLHA_ERROR_DATA = 4,
    UNLHA_ERROR_UNSAFE_ENTRY = 5,
    UNLHA_ERROR_SKIPPED = 6,
    UNLHA_ERROR_INPUT = 7,
    UNLHA_ERROR_WRITE = 8,
    UNLHA_ERROR_NO_GUI = 9,
    UNLHA_CANCELLED = 10,
    UNLHA_ERROR_INTERNAL = 11,
    UNLHA_ERROR_SETTINGS = 12,
    UNLHA_ERROR_OUTPUT = 13,
    UNLHA_ERROR_NO_DIALOG = 14,
};

// Causes told to the failure callback (see UnlhaSetFailureReport). "name" says
// what its name argument holds; "errno" marks the causes that carry one.
// clang-format off
enum {
    UNLHA_CAUSE_NONE = 0,             // nothing beyond the result code
    // The command. name: empty, or as said.
    UNLHA_CAUSE_COMMAND = 1,          // not an accepted command line
    UNLHA_CAUSE_LIST_FILE = 2,        // name: the list file; it cannot be read (errno)
    UNLHA_CAUSE_NOTHING_TO_PACK = 3,  // the list names no file
    UNLHA_CAUSE_NO_MEMORY = 4,
    UNLHA_CAUSE_INTERNAL = 5,
    UNLHA_CAUSE_CANCELLED = 6,        // stopped by the progress callback; name: the file
    UNLHA_CAUSE_MISCODED = 7,         // name: the file; its compressed data did not decode
                                      // back to it (the archiver's fault): nothing written
                                      // "x" was writing, not placed; empty between entries
    // A file or folder to pack. name: its path.
    UNLHA_CAUSE_INPUT_OPEN = 10,      // cannot be found or opened (errno)
    UNLHA_CAUSE_INPUT_READ = 11,      // reading it failed (errno)
    UNLHA_CAUSE_INPUT_CHANGED = 12,   // written to, or cut short, while it was packed
    UNLHA_CAUSE_INPUT_NOT_FILE = 13,  // neither a regular file nor a folder
    UNLHA_CAUSE_FOLDER_READ = 14,     // a folder cannot be listed (errno)
    UNLHA_CAUSE_FOLDER_REPLACED = 15, // a folder was swapped for another while packed
    UNLHA_CAUSE_NAME_NONE = 16,       // no name to store it under
    UNLHA_CAUSE_NAME_NOT_UTF8 = 17,   // its name is not UTF-8
    UNLHA_CAUSE_NAME_BACKSLASH = 18,  // its name holds '\'
    UNLHA_CAUSE_NAME_TWICE = 19,      // name: the stored name two inputs would share
    UNLHA_CAUSE_NAME_KIND = 20,       // name: the stored name, which the archive holds as a
                                      // folder where the input is a file, or the other way
    // The archive. name: empty (the command's archive), or as said.
    UNLHA_CAUSE_ARCHIVE_OPEN = 30,    // it cannot be found or opened (errno)
    UNLHA_CAUSE_NOT_ARCHIVE = 31,     // not an LHA archive (or not a file at all)
    UNLHA_CAUSE_ARCHIVE_DAMAGED = 32, // a damaged or unsupported header, or no end mark
    UNLHA_CAUSE_ARCHIVE_CUT = 33,     // it ends too early; name: the entry cut, or empty
    UNLHA_CAUSE_ARCHIVE_EMPTY = 34,   // it holds no entry
    UNLHA_CAUSE_ARCHIVE_READ = 35,    // reading it failed (errno)
    UNLHA_CAUSE_ARCHIVE_WRITE = 36,   // writing the new archive failed (errno)
    UNLHA_CAUSE_ARCHIVE_REPLACE = 37, // the new archive cannot be put in place (its
                                      // folder takes no file, or the old one's owner,
                                      // group or mode cannot be kept)
    UNLHA_CAUSE_ARCHIVE_CHANGED = 38, // another program wrote the archive meanwhile
    UNLHA_CAUSE_ARCHIVE_NOT_FILE = 39,// something other than a file has the archive's name
    // An entry of the archive. name: as stored.
    UNLHA_CAUSE_ENTRY_DATA = 50,      // damaged data: CRC, size, undecodable
    UNLHA_CAUSE_ENTRY_UNSAFE = 51,    // absolute, "..", drive letter, UNC-like or no name
    UNLHA_CAUSE_ENTRY_LINK = 52,      // a link
    UNLHA_CAUSE_ENTRY_SPECIAL = 53,   // neither a file nor a folder
    UNLHA_CAUSE_ENTRY_NO_SIZE = 54,   // its size is not known
    UNLHA_CAUSE_ENTRY_NOT_KEPT = 55,  // an update cannot carry it into the new archive: an
                                      // unsafe name, a header that fails its own check or
                                      // data that runs past the archive's end
    // A file or folder "x" writes. name: its path.
    UNLHA_CAUSE_FILE_KEPT = 60,       // it exists and was kept
    UNLHA_CAUSE_FILE_FOLDER = 61,     // a folder of that name is in the way
    UNLHA_CAUSE_FILE_NO_SPACE = 62,   // larger than the free space
    UNLHA_CAUSE_FILE_CREATE = 63,     // cannot be created (errno)
    UNLHA_CAUSE_FILE_WRITE = 64,      // writing it failed (errno)
    UNLHA_CAUSE_FILE_PLACE = 65,      // cannot be put at its name (errno)
    UNLHA_CAUSE_FOLDER_CREATE = 66,   // a folder (the destination too) cannot be made or
                                      // opened (errno)
    UNLHA_CAUSE_FOLDER_LINK = 67,     // a symbolic link on the way, not followed
    UNLHA_CAUSE_FLUSH = 68,           // name: the destination; what was extracted cannot be
                                      // made durable (errno)
};
// clang-format on

// Bytes of output that always hold the size a listing needs (20 digits, NUL).
#define UNLHA_NEEDED_SIZE_ROOM 21

#ifdef __cplusplus
extern "C" {
#endif

// Version in hundredths (100 is 1.00); never 0.
UNLHA_API int UnlhaGetVersion(void);

// Runs one command line; ownerWindow is accepted and ignored. Returns one of the
// codes above.
UNLHA_API int Unlha(void* ownerWindow, const char* commandLine, char* output,
                    unsigned long outputSize);

// Progress of "u" and "x": the callback gets the entries finished so far, their
// total, the bytes of file data in them and their total (-1 for a total not
// known: "x" does not read the archive ahead). A pack counts every file and
// folder it was given or found, an entry kept from the old archive too.
typedef int UnlhaProgressCallback(void* context, long long entriesDone, long long entriesTotal,
                                  long long bytesDone, long long bytesTotal);

// Registers callback (with context) for the Unlha calls the calling thread
// makes from now on; NULL removes it. Other threads keep their own. Unlha calls
// it on that thread once before the first entry, once after each finished
// entry and, inside a file, about once a mebibyte of its data (bytesDone then
// counts the part done). A non-zero return stops the command within that
// mebibyte, and Unlha returns UNLHA_CANCELLED: "u" leaves the archive as it
// was; "x" keeps the entries it extracted, each whole, and the file it was
// writing is not placed (nothing of it is left); its reason says how many
// entries and names that file.
UNLHA_API void UnlhaSetProgress(UnlhaProgressCallback* callback, void* context);

// What a failed command failed on, for a caller that words its own message
// rather than show the reason in output (which stays as it is): the result
// code, the cause (UNLHA_CAUSE_*), the file it is about and the system's
// error number (errno; 0 when the failure has none). The name is a path as
// the caller gave it or as the command found it on disk for the causes about
// files and folders (an extracted file: the destination followed by its
// name), an entry's name as stored for those about an entry, and empty when
// the failure is about the command's archive itself. It is valid during the
// call only.
typedef void UnlhaFailureCallback(void* context, int code, int cause, const char* name,
                                  int systemError);

// Registers callback (with context) for the Unlha calls the calling thread
// makes from now on; NULL removes it. Unlha calls it on that thread once,
// just before it returns any result but UNLHA_OK. When several problems met
// in one extraction, it tells the one that decided the code.
UNLHA_API void UnlhaSetFailureReport(UnlhaFailureCallback* callback, void* context);

// Non-zero when path is an LHA archive whose every header is valid (entry data
// is not decoded); 0 for a missing, empty, truncated or non-LHA file. Every mode
// performs the same full check.
UNLHA_API int UnlhaCheckArchive(const char* path, int mode);

// Shows the settings dialog (compression method, overwriting on extraction) as
// a modal window of the running QApplication and saves the choice for the
// current user in $XDG_CONFIG_HOME/dozo/unlha32.conf (default
// ~/.config/dozo/unlha32.conf). options and mode are accepted and ignored.
// UNLHA_OK when saved, UNLHA_CANCELLED when closed without saving,
// UNLHA_ERROR_NO_GUI without a QApplication, UNLHA_ERROR_SETTINGS when the file
// cannot be written. The dialog is a library of its own,
// libunlha32_settings.so in the folder of libunlha32.so, loaded by this call
// only (the other exports never bring Qt into the process);
// UNLHA_ERROR_NO_DIALOG when it is missing or cannot be loaded.
UNLHA_API int UnlhaConfigDialog(void* ownerWindow, char* options, int mode);

#ifdef __cplusplus
}
#endif
