#include "command/progress.h"

#include "dozo/fileio/by_thread.h"

namespace unlha32 {
namespace {

// The callbacks each thread registered for its calls.
struct Callbacks {
    UnlhaProgressCallback* progress = nullptr;
    void* progressContext = nullptr;
    UnlhaFailureCallback* failure = nullptr;
    void* failureContext = nullptr;
    bool operator==(const Callbacks&) const = default;
};
dozo::fileio::ByThread<Callbacks> registered;

}  // namespace

Progress::Progress(std::int64_t entriesTotal, std::int64_t bytesTotal)
    : entriesTotal_(entriesTotal), bytesTotal_(bytesTotal) {
    const Callbacks mine = registered.mine();
    callback_ = mine.progress;
    context_ = mine.progressContext;
}

void Progress::entryDone(std::int64_t bytes) {
    ++entries_;
    bytes_ += bytes;
    partTold_ = 0;
    tell();
}

bool Progress::partDone(std::int64_t bytes) {
    constexpr std::int64_t kStep = 1 << 20;
    if (bytes - partTold_ >= kStep) {
        partTold_ = bytes;
        tell(bytes);
    }
    return !stop_;
}

void Progress::tell(std::int64_t part) {
    // Once asked to stop, the answer stands: the caller may not be asked again.
    if (callback_ != nullptr && !stop_)
        stop_ = callback_(context_, entries_, entriesTotal_, bytes_ + part, bytesTotal_) != 0;
}

void tellFailure(const Outcome& outcome) {
    const Callbacks mine = registered.mine();
    if (mine.failure == nullptr || !outcome.failed()) return;
    mine.failure(mine.failureContext, outcome.code, outcome.fault.cause, outcome.fault.name.c_str(),
                 outcome.fault.error);
}

}  // namespace unlha32

extern "C" UNLHA_API void UnlhaSetProgress(UnlhaProgressCallback* callback, void* context) {
    unlha32::registered.update([&](unlha32::Callbacks& mine) {
        mine.progress = callback;
        mine.progressContext = callback != nullptr ? context : nullptr;
    });
}

extern "C" UNLHA_API void UnlhaSetFailureReport(UnlhaFailureCallback* callback, void* context) {
    unlha32::registered.update([&](unlha32::Callbacks& mine) {
        mine.failure = callback;
        mine.failureContext = callback != nullptr ? context : nullptr;
    });
}
