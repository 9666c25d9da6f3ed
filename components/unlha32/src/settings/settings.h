#pragma once

#include <string>

namespace unlha32 {

enum class Compression { lh5, lh6, lh7 };

// How hard a pack looks for the smallest archive: 標準 (normal) is several
// times quicker, 最大 (max) a few per cent smaller.
enum class Level { normal, max };

struct Settings {
    Compression method = Compression::lh5;
    Level level = Level::normal;
    bool overwrite = false;  // extraction replaces existing files
};

const char* methodName(Compression method);  // "lh5", "lh6", "lh7"
const char* levelName(Level level);          // "normal", "max"

// $XDG_CONFIG_HOME/dozo/unlha32.conf, or ~/.config/dozo/unlha32.conf.
std::string settingsPath();

// Defaults for a missing file; unknown keys and unreadable values are ignored,
// so a damaged file never stops packing or extraction. Only a regular file is
// read, and only its first 64 KiB.
Settings loadSettings();

// Writes the file as a whole (creating its folder), never leaving it half
// written, and only into a folder and file of the user's own (a link only when
// it and what it leads to are). False with a reason when it cannot be written.
bool saveSettings(const Settings& settings, std::string& reason);

}  // namespace unlha32
