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

static_assert(std::string_view(c::kUnlhaGetVersion) == "UnlhaGetVersion");
static_assert(std::string_view(c::kUnlha) == "Unlha");
static_assert(std::string_view(c::kUnlhaCheckArchive) == "UnlhaCheckArchive");
static_assert(std::string_view(c::kUnlhaConfigDialog) == "UnlhaConfigDialog");
static_assert(std::string_view(c::kUnlhaSetProgress) == "UnlhaSetProgress");

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
