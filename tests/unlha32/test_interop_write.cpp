// Archives we write at either level, checked by other programs: lhasa, jlha,
// 7-Zip (`7zz`) and bsdtar must list and test them without complaint and
// extract every file byte for byte, with every folder (the empty one
// included). A peer that is not installed skips its cases.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <set>

#include "build_tree.h"
#include "lha_test_util.h"
#include "writing/lha/name_codec.h"

namespace fs = std::filesystem;
using namespace lhatest;
using unlha::Level;
using unlha::Method;

namespace {

struct Tree {
    std::map<std::string, Bytes> files;
    std::set<std::string> dirs;
};

// The source tree, with names as the file system holds them (UTF-8).
Tree sourceTree() {
    Tree t;
    t.dirs = {"src", "src/nested", "src/nested/deeper", "src/emptydir"};
    t.files["src/empty.txt"] = {};
    t.files["src/ff.bin"] = ffRichData(200000);
    t.files["src/large.txt"] = textData(3 << 20, 11);
    t.files["src/日本語.txt"] = textData(3000, 12);
    t.files["src/x😀.txt"] = textData(2000, 13);
    t.files["src/nested/deeper/file.txt"] = textData(70000, 14);
    t.files["src/nested/small.txt"] = textData(500, 15);
    t.files["src/nested/tiny.bin"] = {'x'};
    // A literal table with zero runs of every form, and a last block just
    // long enough not to be lengthened.
    t.files["src/nested/gapped.bin"] = gappedData(30000);
    t.files["src/nested/sixteen.bin"] = {0,   13,  26,  39,  52,  65,  78,  91,
                                         104, 117, 130, 143, 156, 169, 182, 195};
    return t;
}

Tree readTree(const fs::path& root) {
    Tree t;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        const std::string rel = fs::relative(e.path(), root).string();
        if (e.is_directory())
            t.dirs.insert(rel);
        else
            t.files[rel] = readFile(e.path());
    }
    return t;
}

// lhasa takes stored name bytes as ISO 8859-1.
std::string latin1ToUtf8(const std::string& in) {
    std::string out;
    for (unsigned char c : in) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string storedBytes(const std::string& name) {
    auto cp = unlha::toCp932(name);
    return cp ? *cp : name;
}

enum class Naming { exact, rawBytes, latin1 };

Tree expectedAs(const Tree& src, Naming naming) {
    auto rename = [&](const std::string& n) {
        switch (naming) {
            case Naming::exact:
                return n;
            case Naming::rawBytes:
                return storedBytes(n);
            case Naming::latin1:
                return latin1ToUtf8(storedBytes(n));
        }
        return n;
    };
    Tree t;
    for (const auto& d : src.dirs) t.dirs.insert(rename(d));
    for (const auto& [n, data] : src.files) t.files[rename(n)] = data;
    return t;
}

struct Peer {
    const char* name;
    const char* program;
    // Shell commands; %A is the archive, %D the folder to extract into.
    const char* test;
    const char* extract;
    Naming naming;
};

const Peer kPeers[] = {
    {"lhasa", "/usr/bin/lhasa", "lhasa t %A", "cd %D && lhasa xq %A", Naming::rawBytes},
    {"jlha", "/usr/bin/jlha", "jlha t %A", "cd %D && jlha xq %A", Naming::latin1},
    {"7zz", "/usr/bin/7zz", "7zz t %A", "7zz x -y -o%D %A", Naming::rawBytes},
    {"bsdtar", "/usr/bin/bsdtar", "bsdtar --options hdrcharset=CP932 -tvf %A",
     "bsdtar --options hdrcharset=CP932 -xf %A -C %D", Naming::exact},
};

std::string substitute(std::string cmd, const fs::path& archive, const fs::path& dest) {
    for (auto [key, value] : {std::pair{"%A", archive.string()}, std::pair{"%D", dest.string()}}) {
        for (std::size_t at; (at = cmd.find(key)) != std::string::npos;)
            cmd.replace(at, 2, "'" + value + "'");
    }
    return cmd;
}

// Runs a command with UTF-8 locale; returns its exit status and output.
int run(const std::string& cmd, const fs::path& log, std::string* output) {
    const std::string line = "LC_ALL=C.UTF-8 " + cmd + " >'" + log.string() + "' 2>&1";
    const int rc = std::system(line.c_str());
    const Bytes out = readFile(log);
    output->assign(out.begin(), out.end());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

class InteropWrite : public ::testing::TestWithParam<std::tuple<Peer, Method, Level>> {
protected:
    static void SetUpTestSuite() {
        dir_ = new TempDir;
        const Tree src = sourceTree();
        for (const auto& d : src.dirs) fs::create_directories(dir_->path() / "in" / d);
        for (const auto& [n, data] : src.files) writeFile(dir_->path() / "in" / n, data);
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }

    // Written on first use: CTest runs each case in its own process.
    static fs::path archive(Method m, Level level) {
        const fs::path arc = dir_->path() / ("out-" + methodAndLevel(m, level) + ".lzh");
        if (fs::exists(arc)) return arc;
        const Tree src = sourceTree();
        const int fd = ::open(arc.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        EXPECT_GE(fd, 0);
        unlha::ArchiveWriter w(fd);
        w.setLevel(level);
        const auto entry = [](const std::string& name, bool folder) {
            struct stat st {};
            EXPECT_EQ(::stat((dir_->path() / "in" / name).c_str(), &st), 0);
            return unlha::EntryInfo{name, folder, st.st_mode, st.st_mtime, st.st_uid, st.st_gid};
        };
        // Parents before children, as a packer walking the tree adds them.
        for (const auto& d : src.dirs) EXPECT_TRUE(w.addDirectory(entry(d, true))) << w.error();
        // As the packer adds them: small files in runs, compressed on several cores.
        std::vector<unlha::ArchiveWriter::FileInput> files;
        for (const auto& [n, data] : src.files)
            files.push_back({entry(n, false), ::open((dir_->path() / "in" / n).c_str(), O_RDONLY),
                             std::ssize(data)});
        std::size_t failed = 0;
        EXPECT_TRUE(w.addFiles(files, m, &failed)) << w.error();
        for (const auto& f : files) ::close(f.fd);
        EXPECT_TRUE(w.finish()) << w.error();
        ::close(fd);
        return arc;
    }
    static TempDir* dir_;
};

TempDir* InteropWrite::dir_ = nullptr;

TEST_P(InteropWrite, PeerTestsAndExtractsByteIdentically) {
    const auto& [peer, method, level] = GetParam();
    if (::access(peer.program, X_OK) != 0) GTEST_SKIP() << peer.program << " is not installed";
    const fs::path arc = archive(method, level);
    const fs::path dest =
        dir_->path() / ("x-" + std::string(peer.name) + methodAndLevel(method, level));
    fs::create_directories(dest);
    std::string out;
    EXPECT_EQ(run(substitute(peer.test, arc, dest), dest.string() + ".test.log", &out), 0) << out;
    EXPECT_EQ(out.find("rror"), std::string::npos) << out;
    ASSERT_EQ(run(substitute(peer.extract, arc, dest), dest.string() + ".x.log", &out), 0) << out;

    const Tree got = readTree(dest);
    const Tree want = expectedAs(sourceTree(), peer.naming);
    EXPECT_EQ(got.dirs, want.dirs);
    ASSERT_EQ(got.files.size(), want.files.size());
    for (const auto& [name, data] : want.files) {
        const auto it = got.files.find(name);
        ASSERT_NE(it, got.files.end()) << "missing " << name;
        EXPECT_TRUE(it->second == data) << name << " differs";
    }
    if (peer.naming == Naming::exact) {
        // libarchive, which our own extraction uses, restores mode and time.
        const std::string rel = "src/nested/deeper/file.txt";
        struct stat a, b;
        ASSERT_EQ(::stat((dest / rel).c_str(), &a), 0);
        ASSERT_EQ(::stat((dir_->path() / "in" / rel).c_str(), &b), 0);
        EXPECT_EQ(a.st_mode, b.st_mode);
        EXPECT_EQ(a.st_mtime, b.st_mtime);
    }
}

INSTANTIATE_TEST_SUITE_P(Peers, InteropWrite,
                         ::testing::Combine(::testing::ValuesIn(kPeers),
                                            ::testing::Values(Method::lh0, Method::lh5, Method::lh6,
                                                              Method::lh7),
                                            ::testing::Values(Level::normal, Level::max)),
                         [](const auto& test) {
                             return std::string(std::get<0>(test.param).name) + "_" +
                                    methodAndLevel(std::get<1>(test.param),
                                                   std::get<2>(test.param));
                         });

}  // namespace

namespace {

// Our sources, as a sample of real text that every method compresses well.
Bytes ourSources() {
    Bytes all;
    std::vector<fs::path> files;
    for (const char* dir : {"components/unlha32/src", "tests/unlha32"})
        for (const auto& e :
             fs::recursive_directory_iterator(fs::path(dozo::test::sourceTree()) / dir))
            if (e.path().extension() == ".cpp" || e.path().extension() == ".h")
                files.push_back(e.path());
    std::sort(files.begin(), files.end());
    for (const auto& f : files) {
        const Bytes b = readFile(f);
        all.insert(all.end(), b.begin(), b.end());
    }
    return all;
}

class InteropSize : public ::testing::TestWithParam<std::tuple<Method, Level>> {};

// Whole archives of one entry compared, headers included.
TEST_P(InteropSize, NoLargerThanJlha) {
    if (::access("/usr/bin/jlha", X_OK) != 0) GTEST_SKIP() << "jlha is not installed";
    const auto [method, level] = GetParam();
    TempDir dir;
    const Bytes data = ourSources();
    ASSERT_GT(data.size(), 100000u);
    writeFile(dir.path() / "f.bin", data);
    const std::string digit = std::string(unlha::params(method).id).substr(3, 1);
    std::string out;
    ASSERT_EQ(run("cd '" + dir.path().string() + "' && jlha -ao" + digit + " jlha.lzh f.bin",
                  dir.path() / "jlha.log", &out),
              0)
        << out;
    const auto theirs = fs::file_size(dir.path() / "jlha.lzh");
    const auto ours = archiveOf(data, method, nullptr, level).size();
    EXPECT_LE(ours, theirs) << "ours " << ours << ", jlha " << theirs;
}

INSTANTIATE_TEST_SUITE_P(Methods, InteropSize,
                         ::testing::Combine(::testing::Values(Method::lh5, Method::lh6,
                                                              Method::lh7),
                                            ::testing::Values(Level::normal, Level::max)),
                         [](const auto& test) {
                             return methodAndLevel(std::get<0>(test.param),
                                                   std::get<1>(test.param));
                         });

}  // namespace
