#pragma once

#include <sys/types.h>
#include <time.h>

#include <string>
#include <string_view>

namespace dozo::fileio {

// Every writer of ours that has to give a temporary a name uses
// ".NAME.<tag>-PID-N": NAME is the destination's (shortened when long), PID
// the writing process, N a counter. The tag says which writer left it.
inline constexpr const char* kTagDozo = "dozo";
inline constexpr const char* kTagUnlha = "unlha";

struct PlacementOptions {
    const char* tag = kTagDozo;  // at most 15 characters
    mode_t mode = 0600;          // creation mode; the umask applies
    // Remove, before anything is written, the leftovers of dead processes in
    // the folder. A folder this process placed into before is swept again only
    // when something else has changed it since.
    bool sweep = true;
};

// A file written beside its destination and put in place only when complete.
// The content lives in an unnamed temporary (O_TMPFILE) where the file system
// has one, so a process killed mid-write leaves nothing; elsewhere, and for the
// instant before a replacing rename, it has a recognisable hidden name that
// removeNamedTemporaries() and the leftover sweep know how to clean up.
//
// Functions returning int give 0 on success, else an errno value.
class Placement {
public:
    enum class Existing { replace, keep };

    Placement() = default;
    Placement(const Placement&) = delete;
    Placement& operator=(const Placement&) = delete;
    ~Placement();

    // Creates the empty temporary for the entry `name` of the folder dirFd
    // (which the caller may close afterwards). Nothing at `name` is touched.
    int create(int dirFd, std::string_view name, const PlacementOptions& options = {});
    // Takes the caller's complete file open at `fd`, instead of a new
    // temporary, as the content to put under `name` of the folder dirFd
    // (on the same file system): place() gives it that name as one more
    // link, by the steps a temporary takes, so that the name is swapped
    // atomically. Meanwhile the file carries the mark and a hidden name, which
    // the signal handler removes; after a kill the hidden name is a second
    // link that no sweep takes while the file has another name.
    int adopt(int dirFd, std::string_view name, int fd);
    int fd() const { return fd_; }

    // Owner first when asked (a change of owner clears set-id bits), then the
    // mode. Either failing is an error: a file with the wrong owner or more
    // open than asked must not be placed.
    int setPermissions(mode_t mode, uid_t owner = static_cast<uid_t>(-1),
                       gid_t group = static_cast<gid_t>(-1));
    // Gives the temporary the extended attributes of the file at `path`, its
    // access ACL included, and takes away an access ACL the new file got from
    // its folder that the file at `path` does not have: the result grants
    // exactly what that file granted. File capabilities never pass to new
    // content, as set-id bits do not. Call it after setPermissions (a mode
    // set later would change the ACL's mask).
    int copyAttributes(const char* path);
    // Makes the content durable; after it, place() makes the new name durable
    // too (a failed folder fsync after the rename is not reported: the file is
    // in place and complete).
    int flush();
    // Gives the temporary its name. Existing::replace swaps it atomically for
    // whatever entry has that name (a symbolic link itself, not its target);
    // Existing::keep never clobbers and returns EEXIST when the name is taken.
    int place(Existing existing);
    // Drops the temporary unless it was placed.
    void discard();

private:
    int created();  // the temporary exists: lock it, note the folder's state
    int placeAs(Existing existing);
    int nameTemporary();  // gives an unnamed temporary its hidden name
    void forgetTemporary();

    int dirFd_ = -1;
    int fd_ = -1;
    int slot_ = -1;  // entry in the signal-safe list of named temporaries
    bool flushed_ = false;
    bool underWay_ = false;     // counted among this process's placements under way
    bool folderKnown_ = false;  // folderChanged_ was read after the temporary was made
    timespec folderChanged_{};
    std::string name_;
    std::string temporary_;  // hidden name, empty while unnamed
    std::string tag_;
};

// Removes the named temporaries of this process's live Placements. Safe to
// call from a signal handler, for a program ended by SIGINT or SIGTERM.
void removeNamedTemporaries() noexcept;

// Removes from the folder the leftovers of processes that no longer exist:
// temporaries our writers made (named exactly like them, either tag, and
// carrying the mark only our writer gives a named temporary: its own inode
// and name), owned by this user, with no other name, whose PID is gone and
// that no writer holds (each Placement locks its temporary). Anything else is
// left, whatever its name. `keep` names an entry of the caller's that is never
// touched. Returns how many were removed.
int sweepLeftovers(int dirFd, std::string_view keep = {});

// Whether the entry `name` of the folder dirFd is a temporary or scratch file
// of ours: named like one and carrying the mark our writers give one, whether
// its writer still runs or not. Never a user's file, so a walk over the
// user's files passes it over.
bool isOurTemporary(int dirFd, std::string_view name);

// A scratch file that a caller names and a library fills and removes (the
// extra work files, a run's list file) is named for `stem` like a temporary
// of ours, ".STEM.dozo-PID-N", so that the sweep knows it after a kill.
std::string scratchName(std::string_view stem);
// Creates the scratch file `path` (a name scratchName gave this process) when
// it is missing, private to the user, and marks it as a named temporary is
// marked, so that sweepLeftovers removes it once this process is gone; a
// library that truncates it keeps the mark. 0 or an errno value (EINVAL for a
// name that is not this process's scratch name: nothing else is marked).
int markScratch(const char* path);

// The work file of a library call under a fixed name (Temp.$$$), which a
// library truncates and removes: created when missing, private to the user,
// and marked as a scratch file is, so that removeLeftoverWorkFile() knows it
// after a kill. 0 when it is ours to hand over (made now, or by a run of
// ours before); EEXIST when a file of that name is there that is not ours (a
// user's own, never to be truncated or removed); else an errno value.
int markWorkFile(const char* path);
// Removes the entry `name` of the folder when it is a work file that
// markWorkFile() made and a killed call left: empty, this user's, one name,
// still marked, and held by no writer. Whether it removed it.
bool removeLeftoverWorkFile(int dirFd, std::string_view name);

// The mode a file restored from stored permission bits gets: the process's
// umask applied, set-user-ID, set-group-ID and sticky bits never granted.
mode_t restoredMode(mode_t stored);

}  // namespace dozo::fileio
