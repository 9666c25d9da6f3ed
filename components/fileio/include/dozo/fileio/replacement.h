#pragma once

#include <sys/types.h>

#include <cstddef>
#include <initializer_list>
#include <memory>
#include <string>

#include "dozo/fileio/status.h"

namespace dozo::fileio {

class Placement;
class Source;

// The result of an operation, written beside its destination and put in place
// only once it is complete and durable. Until commit() succeeds the
// destination is untouched; a Replacement destroyed without a commit leaves
// no trace.
//
// The result is a Placement beside the destination: unnamed where the file
// system allows, so a process killed mid-write leaves nothing behind.
class Replacement {
public:
    Replacement();
    Replacement(const Replacement&) = delete;
    Replacement& operator=(const Replacement&) = delete;
    ~Replacement();

    // Prepares a result for destinationPath. A destination that is a symbolic
    // link is resolved, so the file it points at is what gets replaced (not
    // through a held folder: see throughHeldFolder).
    // Status::destinationReadOnly for an existing destination without write
    // permission (also for root: a file with no write bit is read-only);
    // Status::destinationCreate when its folder takes no new file.
    // keepNewcomer: a destination missing now that exists at commit() was
    // made by another program meanwhile; it is kept, the result dropped
    // (Status::replace).
    Status open(const char* destinationPath, bool keepNewcomer = false);
#ifdef _WIN32
    // The same for a path in UTF-16, for names no ANSI code page holds.
    Status open(const std::wstring& destinationPath, bool keepNewcomer = false);
#endif

    // Status::write on any failure, including a full disk.
    Status write(const void* data, std::size_t n);

    // Makes the result durable, gives it the destination's permission bits
    // without set-user-ID and set-group-ID, its owner and group (only root
    // gives a file away: another user's file is refused), its extended
    // attributes and ACL (file capabilities excepted), or for a new file the
    // mode any new file of the user gets, plus extraModeBits; then atomically
    // renames it over the destination. Status::replace when that mode, owner
    // or an attribute cannot be set, or the rename fails (Status::write for a
    // failed flush); the destination is then as it was. With `source`, the
    // result is put in place only while the source is still the file it was
    // made from (Status::sourceChanged otherwise).
    Status commit(unsigned extraModeBits = 0, Source* source = nullptr);

    // Drops the result; the destination stays as it was.
    void discard();

    // File descriptor of the result, for callers that need to seek or use it
    // directly.
    int fd() const;

private:
#ifdef _WIN32
    int fd_ = -1;
    std::string tempName_;  // the temporary beside the destination
    std::wstring wideTarget_;
#else
    std::unique_ptr<Placement> result_;
    unsigned mode_ = 0;  // the destination's, for the result
    unsigned uid_ = 0, gid_ = 0;
#endif
    std::string target_;  // resolved destination path
    bool destinationExists_ = false;
    bool keepNewcomer_ = false;
};

// The caller-named scratch file of the library calls. It is created (or
// truncated) up front, so an unusable work path is reported before anything
// else happens, and removed when the call ends.
class WorkFile {
public:
    WorkFile() = default;
    WorkFile(const WorkFile&) = delete;
    WorkFile& operator=(const WorkFile&) = delete;
    ~WorkFile();

    // mustNotBe names the files of the call (source, destination): a work path
    // that is one of them is refused rather than truncated.
    Status create(const char* path, std::initializer_list<const char*> mustNotBe = {});
    // Keeps the (empty) work file in place when the object goes away.
    void keep() { path_.clear(); }

private:
    std::string path_;
    dev_t dev_ = 0;
    ino_t ino_ = 0;
};

}  // namespace dozo::fileio
