#include "progress.h"

#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <vector>

namespace unlha32 {
namespace {

// Each thread's callback, found by thread. Not thread_local: a library loaded
// by dlopen keeps that in dynamic TLS, which LeakSanitizer misreads at exit.
// A thread is known by its handle and its kernel id together, since glibc
// gives a finished thread's handle to the next one at once: a registration a
// thread left behind must not reach a later thread.
struct Registration {
    pthread_t thread;
    pid_t id;
    UnlhaProgressCallback* callback;
    void* context;

    bool isCaller() const {
        return ::pthread_equal(thread, ::pthread_self()) != 0 && id == ::gettid();
    }
};
std::mutex registrationsMutex;
std::vector<Registration> registrations;

Registration callerRegistration() {
    const std::lock_guard<std::mutex> lock(registrationsMutex);
    for (const Registration& r : registrations)
        if (r.isCaller()) return r;
    return {};
}

}  // namespace

Progress::Progress(std::int64_t entriesTotal, std::int64_t bytesTotal)
    : entriesTotal_(entriesTotal), bytesTotal_(bytesTotal) {
    const Registration mine = callerRegistration();
    callback_ = mine.callback;
    context_ = mine.context;
}

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
    using unlha32::Registration;
    const std::lock_guard<std::mutex> lock(unlha32::registrationsMutex);
    auto& all = unlha32::registrations;
    all.erase(
        std::remove_if(all.begin(), all.end(), [](const Registration& r) { return r.isCaller(); }),
        all.end());
    if (callback != nullptr) all.push_back({::pthread_self(), ::gettid(), callback, context});
}
