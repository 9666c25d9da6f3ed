#pragma once

#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <vector>

namespace dozo::fileio {

// What each thread registered with a library of ours (the callbacks of its
// later calls), found by thread. Not thread_local: a library loaded by
// dlopen keeps that in dynamic TLS, which LeakSanitizer misreads at exit. A
// thread is known by its handle and its kernel id together, since glibc
// gives a finished thread's handle to the next one at once: a registration a
// thread left behind must not reach a later thread.
//
// T is a plain value whose default stands for "nothing registered".
template <typename T>
class ByThread {
public:
    // The calling thread's value, or T{}.
    T mine() const {
        const std::lock_guard<std::mutex> lock(mutex_);
        for (const Entry& e : entries_)
            if (e.isCaller()) return e.value;
        return T{};
    }

    // Changes the calling thread's value with `change(T&)`; a value that
    // comes back to T{} is forgotten.
    template <typename Change>
    void update(Change change) {
        const std::lock_guard<std::mutex> lock(mutex_);
        auto it = std::find_if(entries_.begin(), entries_.end(),
                               [](const Entry& e) { return e.isCaller(); });
        if (it == entries_.end())
            it = entries_.insert(entries_.end(), {::pthread_self(), ::gettid(), T{}});
        change(it->value);
        if (it->value == T{}) entries_.erase(it);
    }

private:
    struct Entry {
        pthread_t thread;
        pid_t id;
        T value;
        bool isCaller() const {
            return ::pthread_equal(thread, ::pthread_self()) != 0 && id == ::gettid();
        }
    };
    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
};

}  // namespace dozo::fileio
