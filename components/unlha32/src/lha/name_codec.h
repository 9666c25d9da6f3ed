#pragma once

#include <optional>
#include <string>

namespace unlha {

// Code page 932 bytes for a UTF-8 name, or nothing when some character has no
// exact round trip through code page 932 (or the name is not valid UTF-8).
std::optional<std::string> toCp932(const std::string& utf8);

}  // namespace unlha
