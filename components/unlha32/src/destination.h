#pragma once

#include <sys/types.h>
#include <time.h>

#include <set>
#include <string>
#include <vector>

#include "dozo/fileio/io.h"

namespace unlha32 {

// The folder an archive is extracted into, reached only through descriptors:
// every component below it is opened without following symbolic links, and
// folders made for a failed entry are removed relative to the folder they were
// made in, so nothing swapped in meanwhile redirects us outside.
class Destination {
public:
    // A folder made for the entry at hand, with the folder it was made in.
    struct Made {
        dozo::fileio::Fd parent;
        std::string name;
        std::string path;  // below the destination, for messages and bookkeeping
    };
    struct Failure {
        std::string path;          // the component that could not be opened
        int error = 0;             // its errno
        bool throughLink = false;  // it is a symbolic link
    };

    // Creates rawPath (and missing parents) and opens it; a trailing '/' or
    // '\' belongs to the path. False with a reason.
    bool open(const std::string& rawPath, std::string& reason);

    // Opens the folder parts[0..count), making what is missing (recorded in
    // made); -1 with failure filled in.
    int openFolders(const std::vector<std::string>& parts, std::size_t count,
                    std::vector<Made>& made, Failure& failure);
    // Removes the folders in made, newest first; those that are not empty stay.
    void removeMade(std::vector<Made>& made);

    // A folder entry: its time and mode are set once nothing more is written
    // below it, and only for a folder this run made.
    void rememberFolder(const std::vector<std::string>& parts, mode_t mode, time_t mtime);
    // Sets the remembered times and modes; one line per folder where that failed.
    std::vector<std::string> applyFolderTimes();

private:
    struct FolderTimes {
        std::vector<std::string> parts;
        mode_t mode;
        time_t mtime;
    };

    dozo::fileio::Fd root_;
    std::set<std::string> made_;  // folders this run made and kept, by path
    std::vector<FolderTimes> times_;
};

}  // namespace unlha32
