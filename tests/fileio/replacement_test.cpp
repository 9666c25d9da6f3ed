#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <utility>

#include "dozo/fileio/replacement.h"
#include "fault.h"
#include "files.h"
#include "temp_dir.h"

namespace dozo::test {
namespace {

using fileio::Replacement;
using fileio::Status;

Status replace(const std::string& path, const Bytes& content, unsigned extraModeBits = 0) {
    Replacement r;
    if (Status s = r.open(path.c_str()); s != Status::ok) return s;
    if (Status s = r.write(content.data(), content.size()); s != Status::ok) return s;
    return r.commit(extraModeBits);
}

TEST(Replacement, CreatesANewFileWithTheDefaultMode) {
    TempDir dir;
    const mode_t mask = ::umask(022);
    EXPECT_EQ(replace(dir / "new", hex("01 02")), Status::ok);
    EXPECT_EQ(replace(dir / "exe", hex("03"), 0100), Status::ok);
    ::umask(mask);
    EXPECT_EQ(readFile(dir / "new"), hex("01 02"));
    EXPECT_EQ(modeOf(dir / "new"), 0644u);
    EXPECT_EQ(modeOf(dir / "exe"), 0744u);
    EXPECT_EQ(listDir(dir.path()), (std::set<std::string>{"new", "exe"}));
}

// The ordinary bits stay; set-id bits never pass to new content.
TEST(Replacement, KeepsThePermissionBitsOfTheDestination) {
    const std::pair<mode_t, mode_t> cases[] = {{0600u, 0600u},  {0640u, 0640u},  {0755u, 0755u},
                                               {02750u, 0750u}, {04755u, 0755u}, {06711u, 0711u},
                                               {01644u, 0644u}};
    for (const auto& [mode, kept] : cases) {
        SCOPED_TRACE(mode);
        TempDir dir;
        writeFile(dir / "f", hex("00"));
        ASSERT_EQ(::chmod((dir / "f").c_str(), mode), 0);
        EXPECT_EQ(replace(dir / "f", hex("aa bb")), Status::ok);
        EXPECT_EQ(readFile(dir / "f"), hex("aa bb"));
        EXPECT_EQ(modeOf(dir / "f"), kept);
    }
}

// As root, what is written over another user's file stays that user's, and
// never becomes a set-user-ID program of theirs.
TEST(Replacement, OverAnotherUsersSetUidFileAsRoot) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a file away";
    TempDir dir;
    writeFile(dir / "f", hex("00"));
    ASSERT_EQ(::chown((dir / "f").c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chmod((dir / "f").c_str(), 04755), 0);
    EXPECT_EQ(replace(dir / "f", hex("7f 45 4c 46"), 0111), Status::ok);
    struct stat st {};
    ASSERT_EQ(::stat((dir / "f").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0755u);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
}

// Anyone but root keeps a file its owner's and in its group, or leaves it as
// it was: a group-shared file rewritten by another member must not come back
// as the writer's, in the writer's group, unreadable to its owner.
TEST(Replacement, AUserKeepsTheOwnerAndGroupOrPlacesNothing) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as two users";
    constexpr unsigned writer = 65534, other = 65533;
    struct Case {
        const char* what;
        unsigned owner, group;
        unsigned folderGroup;
        mode_t folderMode;
        Status status;
    };
    const Case cases[] = {
        {"another user's writable file", other, other, writer, 0777, Status::replace},
        {"own file in a folder that hands new files its group", writer, writer, other, 02777,
         Status::ok},
        {"own file in a group the writer is not in", writer, other, writer, 0777, Status::replace},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        ASSERT_EQ(::chown(dir.path().c_str(), 0, c.folderGroup), 0);
        ASSERT_EQ(::chmod(dir.path().c_str(), c.folderMode), 0);
        writeFile(dir / "f", hex("01"));
        ASSERT_EQ(::chown((dir / "f").c_str(), c.owner, c.group), 0);
        ASSERT_EQ(::chmod((dir / "f").c_str(), 0666), 0);
        const int status = runInChild([&] {
            if (::setgroups(0, nullptr) != 0 || ::setgid(writer) != 0 || ::setuid(writer) != 0)
                return 125;
            return static_cast<int>(replace(dir / "f", hex("02")));
        });
        EXPECT_EQ(status, static_cast<int>(c.status));
        struct stat st {};
        ASSERT_EQ(::stat((dir / "f").c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, c.owner);
        EXPECT_EQ(st.st_gid, c.group);
        EXPECT_EQ(st.st_mode & 07777, 0666u);
        EXPECT_EQ(readFile(dir / "f"), c.status == Status::ok ? hex("02") : hex("01"));
        EXPECT_EQ(listDir(dir.path()), std::set<std::string>{"f"});
    }
}

// Until it is placed the result is readable by its writer alone, whatever
// the umask, so a private file's new content is never exposed.
TEST(Replacement, ResultIsPrivateUntilPlaced) {
    TempDir dir;
    writeFile(dir / "f", hex("00"), 0600);
    const mode_t mask = ::umask(0);
    for (const char* name : {"f", "new"}) {
        SCOPED_TRACE(name);
        Replacement r;
        ASSERT_EQ(r.open((dir / name).c_str()), Status::ok);
        struct stat st {};
        ASSERT_EQ(::fstat(r.fd(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0600u);
    }
    ::umask(mask);
}

// A result whose final mode or owner cannot be set is not placed: a 0600 file
// must not come back more open, nor another user's file as root's. An owner
// the result already has is not set again: some file systems refuse any chown.
TEST(Replacement, UnsettableModeOrOwnerPlacesNothing) {
    struct Case {
        const char* what;
        void (*inject)(fileio::SysCalls&);
        bool othersFile;  // root rewrites a file of another user
        bool placed;
    };
    const Case cases[] = {
        {"mode", [](fileio::SysCalls& c) { c.fchmod = failing<EPERM>; }, false, false},
        {"owner", [](fileio::SysCalls& c) { c.fchown = failing<EPERM>; }, true, false},
        {"owner already right", [](fileio::SysCalls& c) { c.fchown = failing<EPERM>; }, false,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.othersFile && ::geteuid() != 0) continue;
        for (bool named : {false, true}) {
            TempDir dir;
            writeFile(dir / "f", hex("01 02"), 0600);
            if (c.othersFile) {
                ASSERT_EQ(::chown((dir / "f").c_str(), 65534, 65534), 0);
            }
            Fault fault;
            if (named) withoutUnnamedTemporaries(fault.calls());
            c.inject(fault.calls());
            EXPECT_EQ(replace(dir / "f", hex("03")), c.placed ? Status::ok : Status::replace);
            if (!c.othersFile && !c.placed) {
                EXPECT_EQ(replace(dir / "new", hex("03"), 0111), Status::replace);
            }
            EXPECT_EQ(readFile(dir / "f"), c.placed ? hex("03") : hex("01 02"));
            EXPECT_EQ(modeOf(dir / "f"), 0600u);
            EXPECT_EQ(listDir(dir.path()), std::set<std::string>{"f"});
        }
    }
}

// Every extended attribute of a file, by name.
std::map<std::string, std::string> attributesOf(const std::string& path) {
    std::map<std::string, std::string> found;
    char names[4096];
    const ssize_t n = ::llistxattr(path.c_str(), names, sizeof names);
    for (ssize_t at = 0; at < n; at += static_cast<ssize_t>(std::strlen(names + at)) + 1) {
        char value[4096];
        const ssize_t size = ::lgetxattr(path.c_str(), names + at, value, sizeof value);
        if (size >= 0) found[names + at] = std::string(value, static_cast<std::size_t>(size));
    }
    return found;
}

// An access or default ACL as the kernel stores it: the owner rw, the user
// nobody rw, the group r, mask rw, others nothing (ls shows 0660).
std::string aclGrantingNobody() {
    struct Entry {
        std::uint16_t tag, perm;
        std::uint32_t id;
    };
    const Entry entries[] = {
        {0x01, 6, ~0u}, {0x02, 6, 65534}, {0x04, 4, ~0u}, {0x10, 6, ~0u}, {0x20, 0, ~0u}};
    std::string acl = {2, 0, 0, 0};
    acl.append(reinterpret_cast<const char*>(entries), sizeof entries);
    return acl;
}

// Whoever the file granted access stays granted exactly that: an access ACL
// lost would give its group the mask's rights and take the named user's away.
TEST(Replacement, KeepsExtendedAttributesAndAcl) {
    const std::string acl = aclGrantingNobody();
    const struct {
        const char* what;
        const char* name;  // on the file, or the folder's default ACL if nullptr
        std::string value;
        mode_t mode;
    } cases[] = {
        {"user attribute", "user.note", "keep", 0640},
        {"access ACL", "system.posix_acl_access", acl, 0660},
        // The file predates the folder's default ACL, so it grants nobody.
        {"folder default ACL", nullptr, acl, 0640},
    };
    for (const auto& c : cases) {
        for (bool named : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (named ? " named" : ""));
            TempDir dir;
            writeFile(dir / "f", hex("01"), 0640);
            const std::string on = c.name != nullptr ? dir / "f" : dir.path();
            const char* name = c.name != nullptr ? c.name : "system.posix_acl_default";
            if (::setxattr(on.c_str(), name, c.value.data(), c.value.size(), 0) != 0)
                GTEST_SKIP() << "no " << name << " here: " << std::strerror(errno);
            Fault fault;
            if (named) withoutUnnamedTemporaries(fault.calls());
            EXPECT_EQ(replace(dir / "f", hex("02")), Status::ok);
            EXPECT_EQ(readFile(dir / "f"), hex("02"));
            using Attributes = std::map<std::string, std::string>;
            const Attributes kept =
                c.name != nullptr ? Attributes{{c.name, c.value}} : Attributes{};
            EXPECT_EQ(attributesOf(dir / "f"), kept);
            EXPECT_EQ(modeOf(dir / "f"), c.mode);

            // Not placed when an attribute cannot be given to the result.
            if (c.name == nullptr) continue;
            fault.calls().fsetxattr = failing<ENOTSUP>;
            EXPECT_EQ(replace(dir / "f", hex("03")), Status::replace);
            EXPECT_EQ(readFile(dir / "f"), hex("02"));
            EXPECT_EQ(listDir(dir.path()), std::set<std::string>{"f"});
        }
    }
}

// File capabilities grant privileges as a set-user-ID bit does.
TEST(Replacement, FileCapabilitiesNeverPassToNewContent) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a file capabilities";
    TempDir dir;
    writeFile(dir / "f", hex("01"), 0755);
    // Revision 2, effective, CAP_NET_RAW permitted.
    const std::uint32_t caps[] = {0x02000001, 1u << 13, 0, 0, 0};
    if (::setxattr((dir / "f").c_str(), "security.capability", caps, sizeof caps, 0) != 0)
        GTEST_SKIP() << "no file capabilities here: " << std::strerror(errno);
    ASSERT_EQ(::setxattr((dir / "f").c_str(), "user.note", "x", 1, 0), 0);
    EXPECT_EQ(replace(dir / "f", hex("02")), Status::ok);
    EXPECT_EQ(attributesOf(dir / "f"), (std::map<std::string, std::string>{{"user.note", "x"}}));
}

TEST(Replacement, RefusesDestinationsItMayNotWrite) {
    TempDir dir;
    writeFile(dir / "ro", hex("01"), 0444);
    ::mkdir((dir / "folder").c_str(), 0755);
    writeFile(dir / "plain", hex("02"));
    struct Case {
        std::string path;
        Status status;
    };
    const Case cases[] = {
        {dir / "ro", Status::destinationReadOnly},  // no write bit: read-only even for root
        {dir / "folder", Status::destinationReadOnly}, {dir / "none/f", Status::destinationCreate},
        {dir / "plain/f", Status::destinationCreate},  {"", Status::destinationCreate},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(replace(c.path, hex("ff")), c.status);
    }
    EXPECT_EQ(readFile(dir / "ro"), hex("01"));
    EXPECT_EQ(listDir(dir.path()), (std::set<std::string>{"ro", "folder", "plain"}));
}

TEST(Replacement, ReplacesWhatASymbolicLinkPointsAt) {
    TempDir dir;
    writeFile(dir / "target", hex("01"), 0600);
    ASSERT_EQ(::symlink("target", (dir / "link").c_str()), 0);
    EXPECT_EQ(replace(dir / "link", hex("02")), Status::ok);
    EXPECT_EQ(readFile(dir / "target"), hex("02"));
    struct stat st {};
    ASSERT_EQ(::lstat((dir / "link").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));

    ASSERT_EQ(::symlink("gone", (dir / "dangling").c_str()), 0);
    EXPECT_EQ(replace(dir / "dangling", hex("03")), Status::ok);
    EXPECT_EQ(readFile(dir / "dangling"), hex("03"));
}

TEST(Replacement, UncommittedResultLeavesNoTrace) {
    TempDir dir;
    writeFile(dir / "f", hex("01 02 03"));
    {
        Replacement r;
        ASSERT_EQ(r.open((dir / "f").c_str()), Status::ok);
        ASSERT_EQ(r.write("xyz", 3), Status::ok);
    }
    {
        Replacement r;
        ASSERT_EQ(r.open((dir / "new").c_str()), Status::ok);
        ASSERT_EQ(r.write("xyz", 3), Status::ok);
        r.discard();
        EXPECT_EQ(r.commit(), Status::replace);
    }
    EXPECT_EQ(readFile(dir / "f"), hex("01 02 03"));
    EXPECT_EQ(listDir(dir.path()), std::set<std::string>{"f"});
}

TEST(Replacement, RetriesInterruptedAndPartialWrites) {
    TempDir dir;
    const Bytes data = randomBytes(10000, 1);
    Fault fault;
    flakyCalls = 0;
    fault.calls().write = flaky<::write, 999>;
    EXPECT_EQ(replace(dir / "f", data), Status::ok);
    EXPECT_EQ(readFile(dir / "f"), data);
}

// Each failure at the last steps must leave the destination as it was and
// nothing beside it.
TEST(Replacement, FailuresLeaveTheDestinationAsItWas) {
    struct Case {
        const char* what;
        void (*inject)(fileio::SysCalls&);
        Status status;
    };
    const Case cases[] = {
        {"disk full", [](fileio::SysCalls& c) { c.write = failing<ENOSPC>; }, Status::write},
        {"write returns nothing",
         [](fileio::SysCalls& c) {
             c.write = [](int, const void*, size_t) -> ssize_t { return 0; };
         },
         Status::write},
        {"fsync fails", [](fileio::SysCalls& c) { c.fsync = failing<EIO>; }, Status::write},
        {"rename fails", [](fileio::SysCalls& c) { c.renameat = failing<EXDEV>; }, Status::replace},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const Bytes original = randomBytes(3000, 2);
        writeFile(dir / "f", original, 0640);
        {
            Fault fault;
            c.inject(fault.calls());
            EXPECT_EQ(replace(dir / "f", randomBytes(5000, 3)), c.status);
            EXPECT_EQ(replace(dir / "new", randomBytes(5000, 3)), c.status);
        }
        EXPECT_EQ(readFile(dir / "f"), original);
        EXPECT_EQ(modeOf(dir / "f"), 0640u);
        EXPECT_EQ(listDir(dir.path()), std::set<std::string>{"f"});
    }
}

TEST(Replacement, AFileMadeMeanwhileIsKeptWhenAsked) {
    for (const bool keepNewcomer : {true, false}) {
        SCOPED_TRACE(keepNewcomer);
        TempDir dir;
        const Bytes ours = randomBytes(5000, 3), theirs = randomBytes(700, 4);
        Replacement r;
        ASSERT_EQ(r.open((dir / "f").c_str(), keepNewcomer), Status::ok);
        ASSERT_EQ(r.write(ours.data(), ours.size()), Status::ok);
        writeFile(dir / "f", theirs, 0640);
        EXPECT_EQ(r.commit(), keepNewcomer ? Status::replace : Status::ok);
        EXPECT_EQ(readFile(dir / "f"), keepNewcomer ? theirs : ours);
        EXPECT_EQ(listDir(dir.path()), std::set<std::string>{"f"});
    }
}

TEST(Replacement, NamedTemporaryFallbackLeavesNothingBehind) {
    TempDir dir;
    writeFile(dir / "f", hex("01"), 0640);
    Fault fault;
    withoutUnnamedTemporaries(fault.calls());
    EXPECT_EQ(replace(dir / "f", hex("02 03")), Status::ok);
    EXPECT_EQ(readFile(dir / "f"), hex("02 03"));
    EXPECT_EQ(modeOf(dir / "f"), 0640u);
    fault.calls().renameat = failing<EIO>;
    EXPECT_EQ(replace(dir / "f", hex("04")), Status::replace);
    EXPECT_EQ(readFile(dir / "f"), hex("02 03"));
    EXPECT_EQ(listDir(dir.path()), std::set<std::string>{"f"});
}

TEST(Replacement, NamedTemporaryOfADeadProcessIsRemovedByTheNextResult) {
    TempDir dir;
    writeFile(dir / "f", hex("01"));
    Fault fault;
    withoutUnnamedTemporaries(fault.calls());
    // The child dies mid-write, as under kill -9: no destructor runs.
    runInChild([&] {
        Replacement r;
        if (r.open((dir / "f").c_str()) != Status::ok) return 1;
        (void)r.write("partial", 7);
        ::_exit(0);
        return 0;
    });
    ASSERT_EQ(listDir(dir.path()).size(), 2u);
    // Names of live processes' temporaries (init, this one), and a name with
    // a dead PID that no writer of ours made, are not ours to remove.
    const std::string live1 = ".f.dozo-1-0",
                      live2 = ".f.dozo-" + std::to_string(::getpid()) + "-99",
                      typed = ".other.dozo-999999999-0";
    writeFile(dir / live1, hex("00"));
    writeFile(dir / live2, hex("00"));
    writeFile(dir / typed, hex("00"));

    EXPECT_EQ(replace(dir / "f", hex("02")), Status::ok);
    EXPECT_EQ(readFile(dir / "f"), hex("02"));
    EXPECT_EQ(listDir(dir.path()), (std::set<std::string>{"f", live1, live2, typed}));
}

}  // namespace
}  // namespace dozo::test
