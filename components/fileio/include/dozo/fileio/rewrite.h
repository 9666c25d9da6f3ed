#pragma once

#include <cstdint>

#include "dozo/fileio/replacement.h"
#include "dozo/fileio/source.h"
#include "dozo/fileio/status.h"
#include "dozo/fileio/stream.h"

namespace dozo::fileio {

// The published result code of a library for each Status. A source that
// changed under the call was not read as one file: it counts as a read error.
struct ResultCodes {
    std::int32_t ok, sourceOpen, workCreate, read, write, destinationReadOnly, replace;

    std::int32_t operator()(Status status) const {
        switch (status) {
            case Status::ok:
                return ok;
            case Status::sourceOpen:
                return sourceOpen;
            case Status::workCreate:
                return workCreate;
            case Status::read:
            case Status::sourceChanged:
                return read;
            case Status::write:
                return write;
            case Status::destinationReadOnly:
                return destinationReadOnly;
            case Status::destinationCreate:
            case Status::replace:
                break;
        }
        return replace;
    }
};

// One call of a library that rewrites a file (in place, or into another
// destination): the source opened and held, the caller's work file made up
// front, the result streamed beside the destination in blocks and swapped in
// only while the source is still the file that was read. The libraries differ
// in the byte pass alone, and in checks of their own between the steps.
class Rewrite {
public:
    enum class Direction { forward, backward };

    Rewrite(const char* sourcePath, const char* destinationPath, const char* workPath)
        : sourcePath_(sourcePath), destinationPath_(destinationPath), workPath_(workPath) {}

    Status openSource() { return source_.open(sourcePath_); }
    // Refuses a work path that names the source or the destination.
    Status createWork() { return work_.create(workPath_, {sourcePath_, destinationPath_}); }
    // Leaves the (empty) work file behind when the call ends.
    void keepWork() { work_.keep(); }

    // The rest of the call; pass(block, n, offset) as streamForward and
    // streamBackward describe it.
    template <class Pass>
    Status run(Direction direction, Pass&& pass) {
        Replacement result;
        if (Status s = result.open(destinationPath_); s != Status::ok) return s;
        const Status s = direction == Direction::backward ? streamBackward(source_, result, pass)
                                                          : streamForward(source_, result, pass);
        if (s != Status::ok) return s;
        return result.commit(0, &source_);
    }

private:
    const char* sourcePath_;
    const char* destinationPath_;
    const char* workPath_;
    Source source_;
    WorkFile work_;
};

}  // namespace dozo::fileio
