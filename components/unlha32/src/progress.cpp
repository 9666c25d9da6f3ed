#include "progress.h"

namespace unlha32 {
namespace {

// Trivially destructible on purpose: nothing runs at thread exit, so a thread
// may outlive the library being unloaded.
struct Registration {
    UnlhaProgressCallback* callback = nullptr;
    void* context = nullptr;
};
thread_local Registration registration;

}  // namespace

Progress::Progress(std::int64_t entriesTotal, std::int64_t bytesTotal)
    : callback_(registration.callback),
      context_(registration.context),
      entriesTotal_(entriesTotal),
      bytesTotal_(bytesTotal) {}

void Progress::entryDone(std::int64_t bytes) {
    ++entries_;
    bytes_ += bytes;
    partTold_ = 0;
    tell();
}

void Progress::partDone(std::int64_t bytes) {
    constexpr std::int64_t kStep = 1 << 20;
    if (bytes - partTold_ < kStep) return;
    partTold_ = bytes;
    tell(bytes);
}

void Progress::tell(std::int64_t part) {
    // Once asked to stop, the answer stands: the caller may not be asked again.
    if (callback_ != nullptr && !stop_)
        stop_ = callback_(context_, entries_, entriesTotal_, bytes_ + part, bytesTotal_) != 0;
}

}  // namespace unlha32

extern "C" UNLHA_API void UnlhaSetProgress(UnlhaProgressCallback* callback, void* context) {
    unlha32::registration = {callback, callback != nullptr ? context : nullptr};
}
