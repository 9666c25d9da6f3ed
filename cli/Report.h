#pragma once

#include <QString>
#include <cstdint>

namespace dozo::cli {

// Everything the program tells the user. Results and listings go to standard
// output; errors, progress and the summary to standard error, so a listing
// piped on stays clean. Progress is drawn only on a terminal; quiet keeps
// errors alone.
class Report {
public:
    explicit Report(bool quiet, bool verbose = false);
    ~Report();
    Report(const Report&) = delete;
    Report& operator=(const Report&) = delete;

    bool quiet() const { return m_quiet; }
    // Each file named as it is done (-v).
    bool verbose() const { return m_verbose && !m_quiet; }

    // A line for standard output (listings, versions); printed even when quiet,
    // since it is what the command was asked for.
    void result(const QString& line);
    // Several such lines at once, each ending in a newline.
    void results(const QString& lines);
    // A note on standard error that quiet silences.
    void note(const QString& line);
    // "<path>: <reason>" on standard error; never silenced.
    void failure(const QString& path, const QString& reason);
    // A message on standard error that is not about one path; never silenced.
    void error(const QString& text);

    // "done of total, bytes, current name", one line redrawn in place.
    void progress(int done, int total, std::int64_t bytes, const QString& current);
    // "percent done, name", for a job whose unit is its own (bytes or entries).
    void progressShare(std::int64_t done, std::int64_t total, const QString& current);
    void endProgress();

    // "done N, failed N, skipped N".
    void summary(int done, int failed, int skipped);

private:
    void writeErr(const QString& text);

    bool m_quiet;
    bool m_verbose;
    bool m_terminal;
    bool m_drawn = false;
};

// "1.5 MiB" for progress lines.
QString byteText(std::int64_t bytes);

}  // namespace dozo::cli
