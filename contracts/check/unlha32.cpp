// Fails the build when components/unlha32/include/unlha32.h and the contract
// drift apart.
#include <dozo/contracts/unlha32.h>
#include <unlha32.h>

#include <string_view>
#include <type_traits>

namespace c = dozo::contracts;

static_assert(std::is_same_v<decltype(UnlhaGetVersion), UnlhaGetVersionFn>);
static_assert(std::is_same_v<decltype(Unlha), UnlhaFn>);
static_assert(std::is_same_v<decltype(UnlhaCheckArchive), UnlhaCheckArchiveFn>);
static_assert(std::is_same_v<decltype(UnlhaConfigDialog), UnlhaConfigDialogFn>);
static_assert(std::is_same_v<decltype(UnlhaSetProgress), UnlhaSetProgressFn>);
static_assert(std::is_same_v<decltype(UnlhaSetFailureReport), UnlhaSetFailureReportFn>);

static_assert(std::string_view(c::kUnlhaGetVersion) == "UnlhaGetVersion");
static_assert(std::string_view(c::kUnlha) == "Unlha");
static_assert(std::string_view(c::kUnlhaCheckArchive) == "UnlhaCheckArchive");
static_assert(std::string_view(c::kUnlhaConfigDialog) == "UnlhaConfigDialog");
static_assert(std::string_view(c::kUnlhaSetProgress) == "UnlhaSetProgress");
static_assert(std::string_view(c::kUnlhaSetFailureReport) == "UnlhaSetFailureReport");

static_assert(c::unlha::kOk == UNLHA_OK);
static_assert(c::unlha::kCommand == UNLHA_ERROR_COMMAND);
static_assert(c::unlha::kArchiveOpen == UNLHA_ERROR_ARCHIVE_OPEN);
static_assert(c::unlha::kNotArchive == UNLHA_ERROR_NOT_ARCHIVE);
static_assert(c::unlha::kData == UNLHA_ERROR_DATA);
static_assert(c::unlha::kUnsafeEntry == UNLHA_ERROR_UNSAFE_ENTRY);
static_assert(c::unlha::kSkipped == UNLHA_ERROR_SKIPPED);
static_assert(c::unlha::kInput == UNLHA_ERROR_INPUT);
static_assert(c::unlha::kWrite == UNLHA_ERROR_WRITE);
static_assert(c::unlha::kNoGui == UNLHA_ERROR_NO_GUI);
static_assert(c::unlha::kCancelled == UNLHA_CANCELLED);
static_assert(c::unlha::kInternal == UNLHA_ERROR_INTERNAL);
static_assert(c::unlha::kSettings == UNLHA_ERROR_SETTINGS);
static_assert(c::unlha::kOutput == UNLHA_ERROR_OUTPUT);
static_assert(c::unlha::kNoDialog == UNLHA_ERROR_NO_DIALOG);
static_assert(c::kUnlhaNeededSizeRoom == UNLHA_NEEDED_SIZE_ROOM);
static_assert(c::unlhaCause::kNone == UNLHA_CAUSE_NONE);
static_assert(c::unlhaCause::kCommand == UNLHA_CAUSE_COMMAND);
static_assert(c::unlhaCause::kListFile == UNLHA_CAUSE_LIST_FILE);
static_assert(c::unlhaCause::kNothingToPack == UNLHA_CAUSE_NOTHING_TO_PACK);
static_assert(c::unlhaCause::kNoMemory == UNLHA_CAUSE_NO_MEMORY);
static_assert(c::unlhaCause::kInternal == UNLHA_CAUSE_INTERNAL);
static_assert(c::unlhaCause::kCancelled == UNLHA_CAUSE_CANCELLED);
static_assert(c::unlhaCause::kMiscoded == UNLHA_CAUSE_MISCODED);
static_assert(c::unlhaCause::kInputOpen == UNLHA_CAUSE_INPUT_OPEN);
static_assert(c::unlhaCause::kInputRead == UNLHA_CAUSE_INPUT_READ);
static_assert(c::unlhaCause::kInputChanged == UNLHA_CAUSE_INPUT_CHANGED);
static_assert(c::unlhaCause::kInputNotFile == UNLHA_CAUSE_INPUT_NOT_FILE);
static_assert(c::unlhaCause::kFolderRead == UNLHA_CAUSE_FOLDER_READ);
static_assert(c::unlhaCause::kFolderReplaced == UNLHA_CAUSE_FOLDER_REPLACED);
static_assert(c::unlhaCause::kNameNone == UNLHA_CAUSE_NAME_NONE);
static_assert(c::unlhaCause::kNameNotUtf8 == UNLHA_CAUSE_NAME_NOT_UTF8);
static_assert(c::unlhaCause::kNameBackslash == UNLHA_CAUSE_NAME_BACKSLASH);
static_assert(c::unlhaCause::kNameTwice == UNLHA_CAUSE_NAME_TWICE);
static_assert(c::unlhaCause::kNameKind == UNLHA_CAUSE_NAME_KIND);
static_assert(c::unlhaCause::kArchiveOpen == UNLHA_CAUSE_ARCHIVE_OPEN);
static_assert(c::unlhaCause::kNotArchive == UNLHA_CAUSE_NOT_ARCHIVE);
static_assert(c::unlhaCause::kArchiveDamaged == UNLHA_CAUSE_ARCHIVE_DAMAGED);
static_assert(c::unlhaCause::kArchiveCut == UNLHA_CAUSE_ARCHIVE_CUT);
static_assert(c::unlhaCause::kArchiveEmpty == UNLHA_CAUSE_ARCHIVE_EMPTY);
static_assert(c::unlhaCause::kArchiveRead == UNLHA_CAUSE_ARCHIVE_READ);
static_assert(c::unlhaCause::kArchiveWrite == UNLHA_CAUSE_ARCHIVE_WRITE);
static_assert(c::unlhaCause::kArchiveReplace == UNLHA_CAUSE_ARCHIVE_REPLACE);
static_assert(c::unlhaCause::kArchiveChanged == UNLHA_CAUSE_ARCHIVE_CHANGED);
static_assert(c::unlhaCause::kArchiveNotFile == UNLHA_CAUSE_ARCHIVE_NOT_FILE);
static_assert(c::unlhaCause::kEntryData == UNLHA_CAUSE_ENTRY_DATA);
static_assert(c::unlhaCause::kEntryUnsafe == UNLHA_CAUSE_ENTRY_UNSAFE);
static_assert(c::unlhaCause::kEntryLink == UNLHA_CAUSE_ENTRY_LINK);
static_assert(c::unlhaCause::kEntrySpecial == UNLHA_CAUSE_ENTRY_SPECIAL);
static_assert(c::unlhaCause::kEntryNoSize == UNLHA_CAUSE_ENTRY_NO_SIZE);
static_assert(c::unlhaCause::kEntryNotKept == UNLHA_CAUSE_ENTRY_NOT_KEPT);
static_assert(c::unlhaCause::kFileKept == UNLHA_CAUSE_FILE_KEPT);
static_assert(c::unlhaCause::kFileFolder == UNLHA_CAUSE_FILE_FOLDER);
static_assert(c::unlhaCause::kFileNoSpace == UNLHA_CAUSE_FILE_NO_SPACE);
static_assert(c::unlhaCause::kFileCreate == UNLHA_CAUSE_FILE_CREATE);
static_assert(c::unlhaCause::kFileWrite == UNLHA_CAUSE_FILE_WRITE);
static_assert(c::unlhaCause::kFilePlace == UNLHA_CAUSE_FILE_PLACE);
static_assert(c::unlhaCause::kFolderCreate == UNLHA_CAUSE_FOLDER_CREATE);
static_assert(c::unlhaCause::kFolderLink == UNLHA_CAUSE_FOLDER_LINK);
static_assert(c::unlhaCause::kFlush == UNLHA_CAUSE_FLUSH);
