#pragma once

// The name a stored name is restored under on Windows. Pure text, no system
// calls, so the rules are the same wherever they run.

#include <string>
#include <string_view>

namespace dozo::rivo {

// The stored name (UTF-8 as written on the maker's system) made a name that
// Windows holds as it is and takes for a plain file in the folder: bytes that
// are not UTF-8 become %XX; < > : " / \ | ? * and control characters become
// _, so no name reaches another folder or a file's alternate data stream;
// dots and spaces at the end, which Windows drops, become _; a device name
// (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9, also with an extension, and
// CONIN$, CONOUT$, CLOCK$) gets a _ in front. Empty input, or nothing left, gives fallback.
std::string windowsName(std::string_view stored, const std::string& fallback);

}  // namespace dozo::rivo
