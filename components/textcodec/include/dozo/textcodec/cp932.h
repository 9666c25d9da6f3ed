#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace dozo::textcodec {

// Code page 932 bytes (with the vendor extensions Windows uses) for UTF-8
// text, or nothing when the text is not valid UTF-8 or some character has no
// exact round trip: several characters fold onto one byte pair (U+301C and
// U+FF5E, U+00A5 and the backslash), and a name or key converted so would come
// back as something the user did not type. Never substitutes.
std::optional<std::string> toCp932(std::string_view utf8);

// The same for UTF-16 text (a QString's), which refuses a lone surrogate
// rather than letting it become a "?" on the way to UTF-8.
std::optional<std::string> toCp932(std::u16string_view utf16);

}  // namespace dozo::textcodec
