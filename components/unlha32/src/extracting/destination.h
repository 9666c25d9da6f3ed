#pragma once

#include <sys/types.h>
#include <time.h>

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "dozo/fileio/io.h"

namespace unlha32 {

// The folder an archive is extracted into, reached only through descriptors:
// every component below it is opened without following symbolic links, and
// folders made for a failed entry are removed relative to the folder they were
// made in, so nothing swapped in meanwhile redirects us outside.
//
// A walk holds one descriptor at a time (and keeps one for the deepest folder
// an entry made and one for where it ended, so the next entry below it goes
// on from there), and nothing kept per folder holds its whole path, so a
// tree thousands of folders deep needs a few descriptors and memory that
// grows with its depth only.
class Destination {
public:
    using FolderId = std::pair<dev_t, ino_t>;
    // The folders made for the entry at hand: ids[0] is the folder the first
    // was made in, ids[k] the folder parts[first + k - 1]; deepest is open.
    struct Made {
        std::size_t first = 0;
        std::vector<FolderId> ids;
        dozo::fileio::Fd deepest{};
    };
    struct Failure {
        std::string path;          // the component that could not be opened
        int error = 0;             // its errno
        bool throughLink = false;  // it is a symbolic link
        std::size_t count = 0;     // it is parts[0..count)
    };

    // Creates rawPath (and missing parents) and opens it; a trailing '/' or
    // '\' belongs to the path. False with a reason and its errno.
    bool open(const std::string& rawPath, std::string& reason, int& error);
    // The path of parts[0..count) below the destination, as the caller named
    // it: for a failure's name.
    std::string pathOf(const std::vector<std::string>& parts, std::size_t count) const;

    // Opens the folder parts[0..count), making what is missing (recorded in
    // made); -1 with failure filled in.
    int openFolders(const std::vector<std::string>& parts, std::size_t count, Made& made,
                    Failure& failure);
    // Removes the folders in made (parts as given to openFolders), deepest
    // first; those that are not empty stay.
    void removeMade(const std::vector<std::string>& parts, Made& made);

    // A folder entry, open as folder: its time and mode are set once nothing
    // more is written below it, and only for a folder this run made.
    void rememberFolder(int folder, const std::vector<std::string>& parts, mode_t mode,
                        time_t mtime);
    // Sets the remembered times and modes; one line per folder where that failed.
    std::vector<std::string> applyFolderTimes();
    // Makes everything written below the destination durable (its whole file
    // system, once); 0 or an errno.
    int flush() const;

private:
    // A folder below the destination, as one component under its parent.
    struct Node {
        std::size_t parent;
        std::string name;
        std::size_t depth;
        FolderId id{};
        bool timed = false;
        mode_t mode = 0;
        time_t mtime = 0;
    };

    // Opens parts[0..count) without making anything; -1 with errno.
    int walk(const std::vector<std::string>& parts, std::size_t count) const;
    std::vector<std::string> partsOf(std::size_t node) const;

    dozo::fileio::Fd root_;
    std::string rootPath_;
    dozo::fileio::Fd last_;  // the folder the last walk ended in, and its parts
    std::vector<std::string> lastParts_;
    std::set<FolderId> made_;  // folders this run made and kept
    std::vector<Node> nodes_;  // the folder entries and their parents; [0] is the root
    std::map<std::pair<std::size_t, std::string>, std::size_t> children_;
};

}  // namespace unlha32
