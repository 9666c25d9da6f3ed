// rivo() itself: its result codes, and that a failure leaves nothing.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sodium.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "crypto.h"
#include "loaded_library.h"
#include "rivo.h"
#include "sanitizer.h"
#include "support.h"

using namespace dozo::test;

namespace {

class RivoLibrary : public ::testing::Test {
protected:
    void SetUp() override { writeFile(dir / "src.txt", randomBytes(100000, 1)); }
    TempDir dir;
};

// Runs rivo() as an unprivileged user when the tests run as root, so that
// permission bits mean what they mean for a user.
int rivoAsUser(const fs::path& source, const fs::path& destination) {
    if (::geteuid() != 0) return rivo(nullptr, source.c_str(), destination.c_str(), "pw");
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(100);
        ::_exit(rivo(nullptr, source.c_str(), destination.c_str(), "pw"));
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A copy of every writable private mapping of this process: heap, stack down
// to its unused end, the data of every library.
Bytes writableMemory() {
    std::vector<std::pair<std::uintptr_t, std::uintptr_t>> ranges;
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);) {
        unsigned long low = 0, high = 0;
        char perms[5] = {};
        if (std::sscanf(line.c_str(), "%lx-%lx %4s", &low, &high, perms) == 3 && perms[0] == 'r' &&
            perms[1] == 'w')
            ranges.emplace_back(low, high);
    }
    std::size_t total = 0;
    for (const auto& [low, high] : ranges) total += high - low;
    Bytes copy(total);
    const int mem = ::open("/proc/self/mem", O_RDONLY | O_CLOEXEC);
    std::size_t at = 0;
    for (const auto& [low, high] : ranges) {
        const ssize_t n = ::pread(mem, copy.data() + at, high - low, static_cast<off_t>(low));
        if (n > 0) at += static_cast<std::size_t>(n);
    }
    ::close(mem);
    copy.resize(at);
    return copy;
}

// Whether memory holds the bytes whose complement is `inverted`: the needle
// itself is kept complemented so that looking for it does not plant it.
bool holds(const Bytes& memory, const Bytes& inverted) {
    for (std::size_t i = 0; i + inverted.size() <= memory.size(); ++i) {
        std::size_t j = 0;
        while (j < inverted.size() && memory[i + j] == static_cast<unsigned char>(~inverted[j]))
            ++j;
        if (j == inverted.size()) return true;
    }
    return false;
}

TEST(RivoExports, TheShippedLibraryExportsItsThreeEntries) {
    const dozo::test::Library shipped("librivo.so");
    EXPECT_EQ(dozo::test::exportedSymbols(shipped.path()),
              (std::set<std::string>{"rivo", "rivoFor", "rivoSetProgress"}));
}

// The recipient's system chooses the program at the front; rivo() keeps
// making the Linux one. A system the library has no front for writes nothing.
TEST_F(RivoLibrary, TheRecipientsSystemChoosesTheFront) {
    const std::string src = (dir / "src.txt").string(), dst = (dir / "out.exe").string();
    const struct {
        int system;
        int want;
        std::string starts;
    } cases[] = {
        {RIVO_FOR_WINDOWS, *DOZO_RIVO_WINDOWS_MISSING ? RIVO_E_SYSTEM : RIVO_OK, "MZ"},
        {RIVO_FOR_LINUX, RIVO_OK, "\177ELF"},
        {0, RIVO_E_SYSTEM, ""},
        {3, RIVO_E_SYSTEM, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.system);
        EXPECT_EQ(rivoFor(nullptr, src.c_str(), dst.c_str(), "pw", c.system), c.want);
        if (c.want == RIVO_OK) {
            const Bytes made = readFile(dst);
            EXPECT_EQ(std::string(made.begin(), made.begin() + c.starts.size()), c.starts);
        }
        fs::remove(dst);
        EXPECT_EQ(listDir(dir), std::set<std::string>{"src.txt"});
    }
}

TEST_F(RivoLibrary, MissingArgumentsAreErrorsNotCrashes) {
    const std::string src = (dir / "src.txt").string(), dst = (dir / "out.exe").string();
    const std::string longPassword(RIVO_PASSWORD_MAX + 1, 'p');
    const struct {
        const char *source, *destination, *password;
        int want;
    } cases[] = {
        {nullptr, dst.c_str(), "pw", RIVO_E_ARGUMENT},
        {"", dst.c_str(), "pw", RIVO_E_ARGUMENT},
        {src.c_str(), nullptr, "pw", RIVO_E_ARGUMENT},
        {src.c_str(), "", "pw", RIVO_E_ARGUMENT},
        {src.c_str(), dst.c_str(), nullptr, RIVO_E_PASSWORD},
        {src.c_str(), dst.c_str(), "", RIVO_E_PASSWORD},
        {src.c_str(), dst.c_str(), "two\nlines", RIVO_E_PASSWORD},
        {src.c_str(), dst.c_str(), longPassword.c_str(), RIVO_E_PASSWORD},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(rivo(nullptr, c.source, c.destination, c.password), c.want);
        EXPECT_EQ(listDir(dir.path()), std::set<std::string>{"src.txt"});
    }
    const std::string longest(RIVO_PASSWORD_MAX, 'p');
    EXPECT_EQ(rivo(reinterpret_cast<void*>(0x1234), src.c_str(), dst.c_str(), longest.c_str()),
              RIVO_OK);
}

TEST_F(RivoLibrary, BadSourcesLeaveNothing) {
    fs::create_directory(dir / "folder");
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);  // must not block the call
    for (const char* name : {"missing", "folder", "fifo"}) {
        EXPECT_EQ(rivo(nullptr, (dir / name).c_str(), (dir / "out.exe").c_str(), "pw"),
                  RIVO_E_SOURCE)
            << name;
    }
    ::chmod((dir / "src.txt").c_str(), 0);
    ::chmod(dir.path().c_str(), 0777);
    EXPECT_EQ(rivoAsUser(dir / "src.txt", dir / "out.exe"), RIVO_E_SOURCE);
    EXPECT_EQ(listDir(dir.path()), (std::set<std::string>{"fifo", "folder", "src.txt"}));
}

TEST_F(RivoLibrary, BadDestinationsLeaveNothing) {
    fs::create_directory(dir / "locked");
    fs::create_directory(dir / "folder");
    const fs::path src = dir / "src.txt";
    for (const fs::path& d :
         {dir / "missing" / "out.exe", dir / "src.txt" / "out.exe", dir / "folder"}) {
        EXPECT_EQ(rivo(nullptr, src.c_str(), d.c_str(), "pw"), RIVO_E_DESTINATION) << d;
    }
    ::chmod(src.c_str(), 0644);
    ::chmod(dir.path().c_str(), 0755);
    ::chmod((dir / "locked").c_str(), 0555);
    EXPECT_EQ(rivoAsUser(src, dir / "locked" / "out.exe"), RIVO_E_DESTINATION);
    EXPECT_TRUE(listDir(dir / "locked").empty());
    EXPECT_TRUE(listDir(dir / "folder").empty());
    EXPECT_EQ(listDir(dir.path()), (std::set<std::string>{"folder", "locked", "src.txt"}));
}

// A full disk, for both writers: a tiny file system mounted in a private
// mount namespace of a child, so nothing outside the test ever sees it.
TEST_F(RivoLibrary, FullDiskLeavesNothing) {
    const fs::path small = dir / "small";
    fs::create_directory(small);
    const fs::path package = dir / "big.exe";
    writeFile(dir / "big.bin", randomBytes(2 << 20, 9));
    ASSERT_EQ(rivo(nullptr, (dir / "big.bin").c_str(), package.c_str(), "pw"), RIVO_OK);

    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=1500k") != 0)
            ::_exit(77);
        if (rivo(nullptr, (dir / "big.bin").c_str(), (small / "big.exe").c_str(), "pw") !=
            RIVO_E_WRITE)
            ::_exit(1);
        if (!listDir(small).empty()) ::_exit(2);
        if (openPackage(package, "pw", {"-o", small.string()}).exitCode != 5) ::_exit(3);
        if (!listDir(small).empty()) ::_exit(4);
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "cannot mount a small file system here";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1, 2: rivo(); 3, 4: the stub";
}

TEST_F(RivoLibrary, ReplacesAnExistingDestinationWhole) {
    const fs::path out = dir / "out.exe";
    writeFile(out, {'o', 'l', 'd'});
    ASSERT_EQ(rivo(nullptr, (dir / "src.txt").c_str(), out.c_str(), "pw"), RIVO_OK);
    EXPECT_GT(fs::file_size(out), 100000u);
    EXPECT_EQ(listDir(dir.path()), (std::set<std::string>{"out.exe", "src.txt"}));
    EXPECT_EQ(openPackage(out, "pw", {"-t"}).exitCode, 0);
}

// A package is a new program of the caller's: 0777 under the umask, never the
// set-id bits or (for root) the owner of a file it was written over.
TEST_F(RivoLibrary, APackageHasTheModeOfANewProgramWhateverItReplaces) {
    const struct {
        mode_t umask;
        bool existing;
        mode_t expected;
    } cases[] = {
        {022, false, 0755}, {077, false, 0700}, {022, true, 0755},
        {077, true, 0700},  {002, true, 0775},
    };
    const fs::path out = dir / "out.exe";
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << std::oct << c.umask << (c.existing ? " over" : ""));
        fs::remove(out);
        if (c.existing) {
            writeFile(out, {'o', 'l', 'd'});
            // Owner first: a change of owner clears set-id bits.
            if (::geteuid() == 0) {
                ASSERT_EQ(::chown(out.c_str(), 65534, 65534), 0);
            }
            ASSERT_EQ(::chmod(out.c_str(), 06755), 0);
            ASSERT_EQ(modeOf(out) & 07777, 06755u);
        }
        const int status = runInChild([&] {
            ::umask(c.umask);
            return rivo(nullptr, (dir / "src.txt").c_str(), out.c_str(), "pw");
        });
        ASSERT_EQ(status, RIVO_OK);
        struct stat st {};
        ASSERT_EQ(::stat(out.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, c.expected);
        EXPECT_EQ(st.st_uid, ::geteuid());
        EXPECT_EQ(st.st_gid, ::getegid());
    }
}

TEST_F(RivoLibrary, SourceAsItsOwnDestinationBecomesItsPackage) {
    // The save dialog proposes a target that already ends in ".exe" as its own
    // output name; the package must still hold the whole original.
    const fs::path self = dir / "tool.exe";
    const Bytes content = randomBytes(200000, 3);
    writeFile(self, content);
    ASSERT_EQ(rivo(nullptr, self.c_str(), self.c_str(), "pw"), RIVO_OK);
    fs::create_directory(dir / "out");
    const RunResult r = openPackage(self, "pw", {"-o", (dir / "out").string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(readFile(dir / "out" / "tool.exe"), content);
}

// After rivo() returns, neither the password (the caller wipes its own copy)
// nor the stream key derived from it is anywhere in the process's writable
// memory, the unused part of the stack included.
TEST_F(RivoLibrary, LeavesNoCopyOfThePasswordOrTheKey) {
    // The sanitizer's shadow maps terabytes and its quarantine keeps freed
    // blocks whole on purpose: a scan of writable memory means nothing there.
    if (dozo::test::kAddressSanitizer) GTEST_SKIP() << "not meaningful under AddressSanitizer";
    const fs::path package = dir / "wiped.exe";
    const int status = runInChild([&] {
        if (sodium_init() < 0) return 13;
        constexpr std::size_t length = 24;
        Bytes inverted(length);
        randombytes_buf(inverted.data(), length);
        for (auto& b : inverted) b = static_cast<unsigned char>(~"0123456789abcdef"[b & 15]);
        auto* password = static_cast<char*>(sodium_malloc(length + 1));
        for (std::size_t i = 0; i < length; ++i) password[i] = static_cast<char>(~inverted[i]);
        password[length] = '\0';
        const int rc = rivo(nullptr, (dir / "src.txt").c_str(), package.c_str(), password);
        sodium_free(password);
        if (rc != RIVO_OK) return 10;
        const Bytes memory = writableMemory();
        if (holds(memory, inverted)) return 1;

        dozo::rivo::Header h;
        const Bytes bytes = readFile(package);
        if (dozo::rivo::parseHeader(bytes.data() + stubOf(bytes).size(), h) !=
            dozo::rivo::ParseError::none)
            return 11;
        password = static_cast<char*>(sodium_malloc(length));
        for (std::size_t i = 0; i < length; ++i) password[i] = static_cast<char>(~inverted[i]);
        dozo::rivo::Keys keys;
        const bool derived = keys.derive(password, length, h);
        sodium_free(password);
        if (!derived) return 12;
        Bytes key(keys.stream(), keys.stream() + 32);
        for (auto& b : key) b = static_cast<unsigned char>(~b);
        return holds(memory, key) ? 2 : 0;
    });
    EXPECT_EQ(status, 0) << "1: the password, 2: the stream key was left in memory";
}

TEST_F(RivoLibrary, EachPackageHasItsOwnSaltAndKeys) {
    const fs::path src = dir / "src.txt";
    ASSERT_EQ(rivo(nullptr, src.c_str(), (dir / "a.exe").c_str(), "pw"), RIVO_OK);
    ASSERT_EQ(rivo(nullptr, src.c_str(), (dir / "b.exe").c_str(), "pw"), RIVO_OK);
    const Bytes a = readFile(dir / "a.exe"), b = readFile(dir / "b.exe");
    ASSERT_EQ(a.size(), b.size());
    const std::size_t stub = stubOf(a).size();
    // Identical stub, different everything after the fixed header fields.
    EXPECT_TRUE(std::equal(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(stub), b.begin()));
    std::size_t same = 0;
    for (std::size_t i = stub + 32; i < a.size() - 32; ++i) same += a[i] == b[i];
    EXPECT_LT(same, (a.size() - stub) / 100);
}

// Progress through rivoSetProgress, and a stop asked for before the key
// derivation, after it, or inside the sealing: nothing is left at the
// destination (a file there stays as it was), and the reports run from 0 up
// to the source's size.
TEST_F(RivoLibrary, AStopFromTheProgressCallbackLeavesNothing) {
    constexpr long long kSize = 5 << 20;
    writeFile(dir / "big.bin", randomBytes(kSize, 3));
    struct Follow {
        int stopAtCall;  // the call that answers stop; -1 never
        std::vector<std::pair<long long, long long>> told;
        static int callback(void* context, long long done, long long total) {
            auto* self = static_cast<Follow*>(context);
            self->told.emplace_back(done, total);
            return static_cast<int>(self->told.size()) - 1 == self->stopAtCall;
        }
    };
    // The calls that answer stop: the first (before the key), the second
    // (after it), the fourth (inside the sealing); -1 never.
    for (const int stopAt : {0, 1, 3, -1}) {
        SCOPED_TRACE(stopAt);
        const int code = stopAt < 0 ? RIVO_OK : RIVO_E_CANCELLED;
        const fs::path out = dir / "out.exe";
        writeFile(out, {'o', 'l', 'd'});
        Follow follow{stopAt, {}};
        rivoSetProgress(&Follow::callback, &follow);
        EXPECT_EQ(rivo(nullptr, (dir / "big.bin").c_str(), out.c_str(), "pw"), code);
        rivoSetProgress(nullptr, nullptr);
        ASSERT_GE(follow.told.size(), 1u);
        EXPECT_EQ(follow.told.front(), std::make_pair(0LL, kSize));
        for (std::size_t i = 1; i < follow.told.size(); ++i)
            EXPECT_GE(follow.told[i].first, follow.told[i - 1].first);
        if (code == RIVO_OK) {
            EXPECT_EQ(follow.told.back(), std::make_pair(kSize, kSize));
            EXPECT_EQ(openPackage(out, "pw", {"-t"}).exitCode, 0);
        } else {
            EXPECT_EQ(follow.told.size(), static_cast<std::size_t>(stopAt + 1));
            EXPECT_EQ(readFile(out), (Bytes{'o', 'l', 'd'}));
        }
        EXPECT_EQ(listDir(dir.path()), (std::set<std::string>{"big.bin", "out.exe", "src.txt"}));
    }
}

}  // namespace
