// The six exports of the LHA archiver library (libunlha32.so) as its callers
// reach them: bound by name at run time, never linked.
// contracts/check/unlha32.cpp ties every type, name and number here to
// components/unlha32/include/unlha32.h.
#pragma once

extern "C" {

// Version in hundredths (2.55 is 255); callers keep only the low 16 bits,
// taken as signed.
using UnlhaGetVersionFn = int(void);

// Runs one archiver command line and returns one of the codes below. For a
// failure the archiver writes a one-line reason into `output` (NUL-terminated,
// cut to fit `outputSize`), which callers show to the user; the `l` command
// writes its listing there instead. Callers pass a buffer of their own size
// (never 0, or the reason is lost). The archiver prints nothing: lines about
// files it left out or details it could not restore come back in `output` on
// success ("警告: ..." one a line), and the reason is the caller's to show.
using UnlhaFn = int(void* owner, const char* commandLine, char* output, unsigned long outputSize);

// Nonzero when the file at `path` is an archive whose every header is valid;
// callers pass mode 1.
using UnlhaCheckArchiveFn = int(const char* path, int mode);

// Progress of a pack or an extraction: entries finished and their total,
// bytes of file data in them and their total (a total is -1 when not known: an
// extraction does not read ahead). Called on the thread that calls Unlha,
// before the first entry, after each and about once a mebibyte inside a file;
// non-zero stops the command within that mebibyte with kCancelled (a pack
// leaves the archive as it was, an extraction keeps what it placed, each file
// whole, and does not place the file it was writing).
using UnlhaProgressCallback = int(void* context, long long entriesDone, long long entriesTotal,
                                  long long bytesDone, long long bytesTotal);
// Registers the callback for the calling thread's later calls; nullptr removes it.
using UnlhaSetProgressFn = void(UnlhaProgressCallback* callback, void* context);

// What a failed call failed on, told on the calling thread just before Unlha
// returns anything but kOk: the result, a cause (contracts::unlhaCause), the
// file it is about and the errno (0 when none). The name is a path for causes
// about files and folders (an extracted file: the destination and its
// name), an entry's stored name for those about an entry, and empty when the
// failure is about the call's archive. Valid during the call only. The
// reason in `output` stays as it is, for callers that show it.
using UnlhaFailureCallback = void(void* context, int code, int cause, const char* name,
                                  int systemError);
// Registers the callback for the calling thread's later calls; nullptr removes it.
using UnlhaSetFailureReportFn = void(UnlhaFailureCallback* callback, void* context);

// Shows the archiver's own settings; callers pass an empty option text and
// mode 0. The dialog is a library of its own beside the archiver, loaded by
// this call alone: kNoDialog when it is missing.
using UnlhaConfigDialogFn = int(void* owner, char* options, int mode);
}

namespace dozo::contracts {
inline constexpr const char* kUnlhaLibraryName = "unlha32";
inline constexpr const char* kUnlhaGetVersion = "UnlhaGetVersion";
inline constexpr const char* kUnlha = "Unlha";
inline constexpr const char* kUnlhaCheckArchive = "UnlhaCheckArchive";
inline constexpr const char* kUnlhaConfigDialog = "UnlhaConfigDialog";
inline constexpr const char* kUnlhaSetProgress = "UnlhaSetProgress";
inline constexpr const char* kUnlhaSetFailureReport = "UnlhaSetFailureReport";

// Command-line pieces sent through Unlha; each is followed by the quoted
// archive and, for the first three, a quoted second argument.
inline constexpr const char* kUnlhaPackListPrefix = "u -a1 -r2 ";
inline constexpr const char* kUnlhaExtractPrefix = "x -a1 ";
inline constexpr const char* kUnlhaPackFilePrefix = "u -a1 ";
// Read-only: `l` lists every entry into the output buffer, one line each:
// size TAB packed size TAB method TAB crc (4 lowercase hex digits) TAB
// date TAB name LF. `t` decodes every entry and checks its size and CRC.
// Switches that stand right after a prefix and replace the user's settings for
// that one command: the method and level of a pack, whether an extraction
// replaces existing files.
inline constexpr const char* kUnlhaMethodLh5 = "-m5 ";
inline constexpr const char* kUnlhaMethodLh6 = "-m6 ";
inline constexpr const char* kUnlhaMethodLh7 = "-m7 ";
inline constexpr const char* kUnlhaLevelNormal = "-e1 ";  // 標準: quick
inline constexpr const char* kUnlhaLevelMax = "-e2 ";     // 最大: smallest
inline constexpr const char* kUnlhaReplaceExisting = "-o1 ";
inline constexpr const char* kUnlhaKeepExisting = "-o0 ";
inline constexpr const char* kUnlhaListPrefix = "l -a1 ";
inline constexpr const char* kUnlhaTestPrefix = "t -a1 ";

// Results of Unlha.
namespace unlha {
inline constexpr int kOk = 0;
inline constexpr int kCommand = 1;      // not an accepted command line
inline constexpr int kArchiveOpen = 2;  // the archive is missing or cannot be opened
inline constexpr int kNotArchive = 3;   // not an LHA archive, or a damaged header
inline constexpr int kData = 4;         // damaged entry data (CRC, size, truncation)
inline constexpr int kUnsafeEntry = 5;  // an entry was refused; the others extracted
inline constexpr int kSkipped = 6;      // existing files were kept, as the settings say
inline constexpr int kInput = 7;        // a file to pack is missing or unreadable
inline constexpr int kWrite = 8;        // the archive or an extracted file cannot be written
inline constexpr int kNoGui = 9;        // the settings dialog needs a QApplication
inline constexpr int kCancelled = 10;   // the settings dialog was closed without saving,
                                        // or a pack or extraction stopped as asked
inline constexpr int kInternal = 11;    // out of memory or another unexpected failure
inline constexpr int kSettings = 12;    // the settings file cannot be written
inline constexpr int kOutput = 13;      // the listing does not fit the output buffer
inline constexpr int kNoDialog = 14;    // the settings dialog library cannot be loaded
}  // namespace unlha

// Causes told to UnlhaFailureCallback; the numbers are the archiver's
// UNLHA_CAUSE_* (see its header for what each name holds).
namespace unlhaCause {
inline constexpr int kNone = 0;
inline constexpr int kCommand = 1;
inline constexpr int kListFile = 2;
inline constexpr int kNothingToPack = 3;
inline constexpr int kNoMemory = 4;
inline constexpr int kInternal = 5;
inline constexpr int kCancelled = 6;
inline constexpr int kMiscoded = 7;
inline constexpr int kInputOpen = 10;
inline constexpr int kInputRead = 11;
inline constexpr int kInputChanged = 12;
inline constexpr int kInputNotFile = 13;
inline constexpr int kFolderRead = 14;
inline constexpr int kFolderReplaced = 15;
inline constexpr int kNameNone = 16;
inline constexpr int kNameNotUtf8 = 17;
inline constexpr int kNameBackslash = 18;
inline constexpr int kNameTwice = 19;
inline constexpr int kNameKind = 20;
inline constexpr int kArchiveOpen = 30;
inline constexpr int kNotArchive = 31;
inline constexpr int kArchiveDamaged = 32;
inline constexpr int kArchiveCut = 33;
inline constexpr int kArchiveEmpty = 34;
inline constexpr int kArchiveRead = 35;
inline constexpr int kArchiveWrite = 36;
inline constexpr int kArchiveReplace = 37;
inline constexpr int kArchiveChanged = 38;
inline constexpr int kArchiveNotFile = 39;
inline constexpr int kEntryData = 50;
inline constexpr int kEntryUnsafe = 51;
inline constexpr int kEntryLink = 52;
inline constexpr int kEntrySpecial = 53;
inline constexpr int kEntryNoSize = 54;
inline constexpr int kEntryNotKept = 55;
inline constexpr int kFileKept = 60;
inline constexpr int kFileFolder = 61;
inline constexpr int kFileNoSpace = 62;
inline constexpr int kFileCreate = 63;
inline constexpr int kFileWrite = 64;
inline constexpr int kFilePlace = 65;
inline constexpr int kFolderCreate = 66;
inline constexpr int kFolderLink = 67;
inline constexpr int kFlush = 68;
}  // namespace unlhaCause

// A listing is never cut. When `l` answers kOutput, its reason starts with the
// buffer size the listing needs (decimal, NUL included); a buffer of
// kUnlhaNeededSizeRoom bytes or more always receives the number whole. Callers
// ask once with a buffer of their own choice and, on kOutput, once more with
// unlhaNeededSize(output) bytes: the archive is read twice at most.
inline constexpr unsigned long kUnlhaNeededSizeRoom = 21;

// The size a kOutput reason asks for; 0 when it names none (a buffer smaller
// than kUnlhaNeededSizeRoom, or not a kOutput reason).
constexpr unsigned long unlhaNeededSize(const char* output) {
    unsigned long size = 0;
    int digits = 0;
    for (; output[digits] >= '0' && output[digits] <= '9'; ++digits) {
        if (size > (~0UL - 9) / 10) return 0;
        size = size * 10 + static_cast<unsigned long>(output[digits] - '0');
    }
    return digits > 0 ? size : 0;
}
}  // namespace dozo::contracts
