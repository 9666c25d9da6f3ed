#include "reading/check.h"

#include <archive.h>

#include <string>

#include "reading/archive_reader.h"

namespace unlha32 {

bool checkArchive(const char* path) {
    ArchiveReader reader;
    std::string reason;
    if (!reader.openFile(path, reason)) return false;
    int entries = 0;
    for (;;) {
        archive_entry* entry = nullptr;
        const int r = reader.next(entry);
        if (r == ARCHIVE_EOF) return entries > 0;
        // A warning is a name that does not convert; the header itself is sound.
        if (r != ARCHIVE_OK && r != ARCHIVE_WARN) return false;
        ++entries;
        if (reader.skipData() != ARCHIVE_OK) return false;
    }
}

}  // namespace unlha32
