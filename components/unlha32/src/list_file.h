#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace unlha32 {

// Names of a list file. The application writes every name on one line, joined
// by single spaces with no quoting, so a name may itself hold spaces: where
// a piece up to a space names no existing file, the piece is extended to the
// next space until it does. Quoted names and one name per line are read too.
std::vector<std::string> parseListText(std::string_view text);

// False with a reason when the list file cannot be read.
bool readListFile(const std::string& path, std::vector<std::string>& names, std::string& reason);

}  // namespace unlha32
