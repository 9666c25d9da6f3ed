#pragma once

// An update's copy of the old archive: each entry kept byte for byte, or a
// newer input written in its place.

#include <cstdint>
#include <string>

#include "command/outcome.h"
#include "command/progress.h"
#include "writing/lha/archive_writer.h"
#include "writing/pack_inputs.h"

namespace unlha32 {

// Walks the old archive in order: each entry is copied as it is, or replaced
// in its place by a newer input of the same name. Headers come through the
// checked reader, and each entry must end where the next one (or the end
// mark) starts, so nothing unread is ever carried over or dropped.
// endAt: where what follows the old archive's end mark starts.
Outcome rewriteExisting(const std::string& archivePath, Inputs& inputs,
                        unlha::ArchiveWriter& writer, unlha::Method method, Progress& progress,
                        std::int64_t& endAt);

}  // namespace unlha32
