#pragma once

#include <cstdint>

#include "command/outcome.h"
#include "unlha32.h"

namespace unlha32 {

// The progress of one pack or extraction, told to the callback the calling
// thread registered with UnlhaSetProgress (nothing is told without one).
// Entries are counted as they are finished; the command asks stopRequested()
// before it starts the next one, and inside a file as its bytes go by: a
// file stopped inside is dropped whole (a pack commits nothing, an
// extraction does not place it), never left half done.
class Progress {
public:
    // Takes the thread's registration as it is now; -1 for a total not known.
    Progress(std::int64_t entriesTotal, std::int64_t bytesTotal);

    // Tells the callback where the command stands (0 done before the first).
    void start() { tell(); }
    // One entry finished, holding `bytes` bytes of file data.
    void entryDone(std::int64_t bytes);
    // `bytes` of the entry under way are done. Told once a mebibyte or so,
    // so that one large file moves the caller's bar as well. False once the
    // caller asked to stop.
    bool partDone(std::int64_t bytes);
    bool stopRequested() const { return stop_; }
    std::int64_t entriesDone() const { return entries_; }

private:
    void tell(std::int64_t part = 0);

    UnlhaProgressCallback* callback_;
    void* context_;
    std::int64_t entriesTotal_;
    std::int64_t bytesTotal_;
    std::int64_t entries_ = 0;
    std::int64_t bytes_ = 0;
    std::int64_t partTold_ = 0;  // of the entry under way
    bool stop_ = false;
};

// Tells a failed outcome's parts to the callback the calling thread
// registered with UnlhaSetFailureReport, if any.
void tellFailure(const Outcome& outcome);

}  // namespace unlha32
