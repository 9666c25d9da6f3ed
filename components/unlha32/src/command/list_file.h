#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace unlha32 {

// Names of a list file, in the format of dozo/contracts/list_file.h: callers
// write one name a line, quoted where it holds a blank or a quote. Older
// callers wrote every name on one line, joined by single spaces with no
// quoting, so an unquoted name may itself hold spaces: where a piece up to a
// space names no existing file, the piece is extended to the next space until
// it does.
std::vector<std::string> parseListText(std::string_view text);

// False with a reason (and the errno, 0 when none) when the list file cannot
// be read.
bool readListFile(const std::string& path, std::vector<std::string>& names, std::string& reason,
                  int& error);

}  // namespace unlha32
