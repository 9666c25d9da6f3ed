// Fails the build when transform/include/rozu32.h and the contract drift apart.
#include <dozo/contracts/rozu32.h>
#include <rozu32.h>

#include <string_view>
#include <type_traits>

namespace c = dozo::contracts;

static_assert(std::is_same_v<decltype(RazuGetVersion), RazuGetVersionFn>);
static_assert(std::is_same_v<decltype(FileEncryptionA), FileEncryptionFn>);
static_assert(std::is_same_v<decltype(FileEncryptionC), FileEncryptionFn>);
static_assert(std::is_same_v<decltype(FileEncryptionLC), FileEncryptionFn>);
static_assert(std::is_same_v<decltype(FileEncryptionLCR), FileEncryptionFn>);
static_assert(std::is_same_v<decltype(FileEncryptionLCB), FileEncryptionFn>);
static_assert(std::is_same_v<decltype(FileEncryptionLCRB), FileEncryptionFn>);
static_assert(std::is_same_v<decltype(i_CLOL), FileEncryptionFn>);

// The names callers look up are the names the header declares.
#define DOZO_SAME_NAME(contractName, symbol) \
    static_assert(std::string_view(contractName) == std::string_view(#symbol))
DOZO_SAME_NAME(c::kRazuGetVersion, RazuGetVersion);
DOZO_SAME_NAME(c::kTransformMethods[0], FileEncryptionA);
DOZO_SAME_NAME(c::kTransformMethods[1], FileEncryptionC);
DOZO_SAME_NAME(c::kTransformMethods[2], FileEncryptionLC);
DOZO_SAME_NAME(c::kTransformMethods[3], FileEncryptionLCR);
DOZO_SAME_NAME(c::kTransformMethods[4], FileEncryptionLCB);
DOZO_SAME_NAME(c::kTransformMethods[5], FileEncryptionLCRB);
DOZO_SAME_NAME(c::kTransformMethods[6], i_CLOL);

static_assert(c::rozu32::kOk == ROZU32_OK);
static_assert(c::rozu32::kSource == ROZU32_E_SOURCE);
static_assert(c::rozu32::kWorkFile == ROZU32_E_WORK_FILE);
static_assert(c::rozu32::kRead == ROZU32_E_READ);
static_assert(c::rozu32::kWrite == ROZU32_E_WRITE);
static_assert(c::rozu32::kReadOnly == ROZU32_E_DESTINATION_READ_ONLY);
static_assert(c::rozu32::kReplace == ROZU32_E_REPLACE);
