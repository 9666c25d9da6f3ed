// Fails the build when components/rivo/include/rivo.h and the contract drift
// apart.
#include <dozo/contracts/rivo.h>
#include <rivo.h>

#include <string_view>
#include <type_traits>

namespace c = dozo::contracts;

static_assert(std::is_same_v<decltype(::rivo), RivoFn>);
static_assert(std::string_view(c::kRivo) == "rivo");
static_assert(std::is_same_v<decltype(::rivoSetProgress), RivoSetProgressFn>);
static_assert(std::string_view(c::kRivoSetProgress) == "rivoSetProgress");

static_assert(c::rivo::kOk == RIVO_OK);
static_assert(c::rivo::kArgument == RIVO_E_ARGUMENT);
static_assert(c::rivo::kPassword == RIVO_E_PASSWORD);
static_assert(c::rivo::kSource == RIVO_E_SOURCE);
static_assert(c::rivo::kRead == RIVO_E_READ);
static_assert(c::rivo::kDestination == RIVO_E_DESTINATION);
static_assert(c::rivo::kWrite == RIVO_E_WRITE);
static_assert(c::rivo::kReplace == RIVO_E_REPLACE);
static_assert(c::rivo::kCrypto == RIVO_E_CRYPTO);
static_assert(c::rivo::kCancelled == RIVO_E_CANCELLED);
static_assert(c::rivo::kPasswordMax == RIVO_PASSWORD_MAX);
