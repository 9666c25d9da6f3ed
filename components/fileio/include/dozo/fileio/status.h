#pragma once

namespace dozo::fileio {

// What went wrong, in the order a transform meets it. Libraries map these to
// their own published result codes.
enum class Status {
    ok = 0,
    sourceOpen,           // the source cannot be opened for reading
    workCreate,           // the work file cannot be created
    read,                 // reading the source failed part-way
    write,                // writing the result failed (disk full, quota, I/O error)
    destinationReadOnly,  // the destination exists and may not be written
    destinationCreate,    // no result file can be created beside the destination
    replace,              // flushing or renaming the result into place failed
    sourceChanged,        // the source is no longer the file that was read
};

const char* describe(Status status);

}  // namespace dozo::fileio
