#pragma once

#include <string>
#include <vector>

#include "command/outcome.h"
#include "settings/settings.h"

namespace unlha32 {

// Creates archivePath or updates it: inputs whose stored name is new are added,
// an entry whose input is newer than it is replaced, every other entry is kept.
// A plain file is stored under its own name; with recurse a folder is stored
// with everything under it, named relative to the folder's parent, one entry per
// folder. Kept entries are copied as they are. The result is written beside
// the archive and renamed into place, so on any failure an existing archive
// stays as it was; concurrent calls for one archive (in any process) take
// turns, each reading what the one before it wrote. New files are compressed
// with `method` at `level`.
Outcome packArchive(const std::string& archivePath, const std::vector<std::string>& inputs,
                    bool recurse, Compression method, Level level);

}  // namespace unlha32
