#pragma once

#include <QtGlobal>
#include <atomic>
#include <functional>
#include <utility>

namespace dozo {

// How a front end follows a job and stops it. The job reports from the thread
// it runs on (the worker of a long run); cancel() may come from any thread (a
// signal handler too: it is one lock-free store). An in-place rewrite honours
// it between files; a pack, an unpack and a package, whose results are
// written beside their destination, also inside a file, within a mebibyte,
// dropping the result under way. Every file is left whole: done, or as it
// was.
class JobControl {
public:
    // `done` of `total`, in the unit the job names (files, entries or bytes);
    // `total` is never below `done`.
    using Report = std::function<void(qint64 done, qint64 total)>;

    JobControl() = default;
    explicit JobControl(Report report) : m_report(std::move(report)) {}
    JobControl(const JobControl&) = delete;
    // Set before the job starts: reports are not synchronised with it.
    void setReport(Report report) { m_report = std::move(report); }
    JobControl& operator=(const JobControl&) = delete;

    void report(qint64 done, qint64 total) const {
        if (m_report) m_report(done, total);
    }
    void cancel() { m_cancelled.store(true, std::memory_order_relaxed); }
    bool cancelled() const { return m_cancelled.load(std::memory_order_relaxed); }

private:
    Report m_report;
    std::atomic<bool> m_cancelled{false};
};

}  // namespace dozo
