// rivo() itself: its result codes, and that a failure leaves nothing.
#include <gtest/gtest.h>
#include <sched.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "loaded_library.h"
#include "rivo.h"
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

TEST(RivoExports, TheShippedLibraryExportsOnlyRivo) {
    const dozo::test::Library shipped("librivo.so");
    EXPECT_EQ(dozo::test::exportedSymbols(shipped.path()), std::set<std::string>{"rivo"});
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

}  // namespace
