#pragma once

namespace unlha32 {

// True for an LHA archive with at least one entry whose every header is valid
// and whose entries' data are all present (the data itself is not decoded).
bool checkArchive(const char* path);

}  // namespace unlha32
