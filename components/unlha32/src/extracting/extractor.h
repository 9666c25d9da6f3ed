#pragma once

#include <archive.h>
#include <sys/types.h>

#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "command/outcome.h"
#include "extracting/destination.h"

struct archive_entry;

namespace unlha32 {

class Progress;

class ArchiveReader;

// One extraction run: entries are vetted in extract.cpp and files written in
// extract_file.cpp.
class Extractor {
public:
    Extractor(ArchiveReader& reader, bool overwrite) : reader_(reader), overwrite_(overwrite) {}

    Outcome run(const std::string& destination);

    enum class Step { next, stop };

private:
    Step extractEntry(archive_entry* entry);
    Step extractFile(archive_entry* entry, const std::vector<std::string>& parts,
                     const std::string& name);
    // `name` as shown, `path` where it goes.
    Step writeData(int fd, la_int64_t declared, const std::string& name, const std::string& path);
    int openFolders(const std::vector<std::string>& parts, std::size_t count,
                    Destination::Made& made, const std::string& name);
    void problem(int code, Fault fault, const std::string& line);
    // A detail lost that loses no data (a time or mode not restored): the run
    // still succeeds, with the line in its output.
    void notice(const std::string& line);
    bool skipData();

    ArchiveReader& reader_;
    const bool overwrite_;
    Progress* progress_ = nullptr;  // of the run under way
    Destination destination_;
    static constexpr std::size_t kChunk = 64 * 1024;
    std::unique_ptr<char[]> buffer_ = std::make_unique<char[]>(kChunk);
    Outcome first_;          // the first problem other than a kept file
    Outcome firstSkipped_;   // the first kept file
    std::string lastName_;   // of the entry read last, shown
    std::string stored_;     // of the entry under way, as stored
    std::string stoppedIn_;  // the file a stop came inside, not placed; shown
    std::string notices_;
    int problems_ = 0;
    int skipped_ = 0;
};

}  // namespace unlha32
