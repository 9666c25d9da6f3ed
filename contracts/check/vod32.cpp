// Fails the build when keyed/include/vod32.h and the contract drift apart.
#include <dozo/contracts/vod32.h>
#include <vod32.h>

#include <string_view>
#include <type_traits>

namespace c = dozo::contracts;

static_assert(std::is_same_v<decltype(VovGetVersion), VovGetVersionFn>);
static_assert(std::is_same_v<decltype(VovBCMKC), VovBCMKCFn>);
static_assert(std::is_same_v<decltype(VovBCMKCL), VovBCMKCLFn>);

static_assert(std::string_view(c::kVovGetVersion) == "VovGetVersion");
static_assert(std::string_view(c::kVovBCMKC) == "VovBCMKC");
static_assert(std::string_view(c::kVovBCMKCL) == "VovBCMKCL");

static_assert(c::vod32::kOk == VOD32_OK);
static_assert(c::vod32::kSource == VOD32_E_SOURCE);
static_assert(c::vod32::kWorkFile == VOD32_E_WORK_FILE);
static_assert(c::vod32::kKeyTooLong == VOD32_E_KEY_TOO_LONG);
static_assert(c::vod32::kKeyEmpty == VOD32_E_KEY_EMPTY);
static_assert(c::vod32::kRead == VOD32_E_READ);
static_assert(c::vod32::kWrite == VOD32_E_WRITE);
static_assert(c::vod32::kReadOnly == VOD32_E_DESTINATION_READ_ONLY);
static_assert(c::vod32::kReplace == VOD32_E_REPLACE);
