#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace unlha32 {

// Splits a stored name into the path components it is extracted under. Both '/'
// and '\' separate (archives from DOS-family systems use '\'); empty and "."
// components are dropped. False with a reason for a name that could lead
// outside the destination: absolute, UNC-like ("//host", "\\host"), with a drive
// letter ("C:") or a ".." component, or empty.
bool splitEntryName(std::string_view name, std::vector<std::string>& parts, std::string& reason);

// Whether a name stands for the top of the archive itself ("./", "."): a
// folder entry so named is the destination, nothing to make or refuse.
bool namesTheTop(std::string_view name);

// How extraction takes the name of an entry it has read: a name that did not
// decode (not UTF-8) is placed with each stray byte spelled out
// (fileio::diskName), and that spelling, the one put on disk, is what the
// rules of splitEntryName() judge. An update keeps only entries whose names
// pass the same rules.
struct PlacedName {
    std::string placed;              // the name as it goes on disk
    bool renamed = false;            // placed differs from the name as stored
    bool top = false;                // a folder entry that is the destination itself
    std::vector<std::string> parts;  // its components (none for the top)
};

// False, with the reason (the words before "は展開しません"), for a name
// extraction refuses.
bool placeEntryName(const char* storedName, bool folder, PlacedName& out, std::string& reason);

// The path a stored name is extracted under, its components joined by '/'
// ("sub\f.txt" and "./sub//f.txt" are both "sub/f.txt"); false, with joined
// left as it was, for a name splitEntryName() refuses.
bool extractedName(std::string_view name, std::string& joined);

}  // namespace unlha32
