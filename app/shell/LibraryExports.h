// The names of the two transform libraries' contracts under the namespace
// StartUp.cpp still spells; new code includes the contracts directly.
#pragma once

#include <dozo/contracts/rozu32.h>
#include <dozo/contracts/vod32.h>

namespace dozo {
namespace exports = contracts;
}
