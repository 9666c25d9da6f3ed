// Walks a fault over every file system call of one clean run of an entry
// point: for each call N and each fault that call can meet (EIO, ENOSPC, a
// short transfer, SIGKILL), the entry point runs again in a child from the
// same starting folder with that fault at call N, then once more without
// faults. After the faulted run every file must be as it was or wholly the
// complete result, a result of 0 must mean the complete result, and after the
// clean run no file may remain that is neither there before nor expected.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "build_tree.h"
#include "dozo/contracts/rozu32.h"
#include "files.h"
#include "temp_dir.h"

namespace fs = std::filesystem;
using dozo::test::Bytes;

namespace {

const char* const kPassword = "fault-pw";

// One node of a folder tree: a folder, or a file's (or link's) bytes.
struct Node {
    bool folder = false;
    Bytes bytes;
    bool operator==(const Node&) const = default;
};
using Tree = std::map<std::string, Node>;  // relative path -> node

void PrintTo(const Node& n, std::ostream* os) {
    *os << (n.folder ? std::string("folder") : std::to_string(n.bytes.size()) + " bytes");
}

Tree snapshot(const std::string& root) {
    Tree tree;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        const std::string rel = fs::relative(e.path(), root);
        if (e.is_symlink()) {
            const std::string target = fs::read_symlink(e.path());
            tree[rel] = Node{false, Bytes(target.begin(), target.end())};
        } else if (e.is_directory()) {
            tree[rel] = Node{true, {}};
        } else {
            tree[rel] = Node{false, dozo::test::readFile(e.path())};
        }
    }
    return tree;
}

// A copy of a tree that keeps modification times, which decide what an
// archive update replaces and are stored in archives.
void copyTree(const std::string& from, const std::string& to) {
    fs::remove_all(to);
    fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    std::vector<fs::path> folders;
    for (const auto& e : fs::recursive_directory_iterator(from)) {
        const fs::path target = to / fs::relative(e.path(), from);
        if (e.is_directory())
            folders.push_back(e.path());
        else if (!e.is_symlink())
            fs::last_write_time(target, fs::last_write_time(e.path()));
    }
    folders.push_back(from);
    for (auto it = folders.rbegin(); it != folders.rend(); ++it)
        fs::last_write_time(to / fs::relative(*it, from), fs::last_write_time(*it));
}

void put(const std::string& path, const Bytes& bytes, int age) {
    fs::create_directories(fs::path(path).parent_path());
    dozo::test::writeFile(path, bytes);
    // Fixed times, a day apart per unit of age, so every run sees the same ones.
    fs::last_write_time(path,
                        fs::file_time_type(std::chrono::seconds(1'700'000'000 - age * 86400)));
}

Bytes text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

struct Outcome {
    bool exited = false;
    int code = 0;    // exit status when exited
    int signal = 0;  // terminating signal otherwise
    std::string describe() const {
        return exited ? "result " + std::to_string(code) : "signal " + std::to_string(signal);
    }
};

// The folder of one entry point: its starting tree, the tree it works in, its
// settings and the log of counted calls.
struct Fixture {
    dozo::test::TempDir base;
    std::string start = base / "start";
    std::string root;  // canonical, as the shim compares it with /proc links
    std::string config = base / "config";
    std::string log = base / "calls.log";
    std::string output = base / "output.txt";
    std::string input = base / "stdin.txt";
    Fixture() {
        fs::create_directories(start);
        fs::create_directories(base / "root");
        fs::create_directories(config + "/dozo");
        root = fs::canonical(base / "root");
        dozo::test::writeFile(input, text(std::string(kPassword) + "\n"));
    }
};

// Runs the runner program with `args` ("$R" standing for the root) in f. A
// counted run goes under the shim (under the tracer for "trace", a static
// program) with fault `kind` at call `at`; `named` hides unnamed temporaries
// so the named fallbacks run.
Outcome run(const Fixture& f, const std::vector<std::string>& args, bool counted,
            bool named = false, long at = 0, const std::string& kind = "none") {
    std::vector<std::string> argv{dozo::test::inBuildTree(FAULT_RUNNER)};
    for (std::string a : args) {
        for (auto i = a.find("$R"); i != std::string::npos; i = a.find("$R", i + f.root.size()))
            a.replace(i, 2, f.root);
        argv.push_back(a);
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setenv("DOZO_FAULT_ROOT", f.root.c_str(), 1);
        ::setenv("DOZO_FAULT_LOG", f.log.c_str(), 1);
        ::setenv("DOZO_FAULT_AT", std::to_string(at).c_str(), 1);
        ::setenv("DOZO_FAULT_KIND", kind.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", f.config.c_str(), 1);
        ::setenv("DOZO_BUILD_DIR", dozo::test::buildTree().c_str(), 1);
        if (counted && args[0] != "trace")
            ::setenv("LD_PRELOAD", dozo::test::inBuildTree(FAULT_SHIM).c_str(), 1);
        if (!counted) ::unsetenv("DOZO_FAULT_LOG");
        if (named) ::setenv("DOZO_FAULT_NO_TMPFILE", "1", 1);
        const int in = ::open(f.input.c_str(), O_RDONLY);
        const int out = ::open(f.output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(out, 2);
        std::vector<char*> raw;
        for (auto& a : argv) raw.push_back(a.data());
        raw.push_back(nullptr);
        ::execv(raw[0], raw.data());
        std::_Exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return Outcome{WIFEXITED(status), WIFEXITED(status) ? WEXITSTATUS(status) : 0,
                   WIFSIGNALED(status) ? WTERMSIG(status) : 0};
}

// A file (path below the start folder, bytes, age in days) of a starting tree.
struct File {
    std::string path;
    Bytes bytes;
    int age;
};

// What a faulted run promises besides every file as it was or wholly the result.
enum class Promise {
    Nothing,
    BeforeOnFailure,  // a non-zero result leaves the destination as it was
    ReadOnly,         // only reads: any injected error gives a non-zero result
};

using Args = std::vector<std::string>;  // runner arguments, "$R" for the root
using Files = std::vector<File>;

struct Entry {
    std::string name;
    Promise promise;
    Args args;
    // Writes a starting tree below f.start (and settings below f.config)...
    std::function<void(Fixture&)> base;
    Files files;  // ...and these files into it.
    // The result file's bytes differ on every run (a package: fresh salt), so
    // a file at this path is judged by running it, not by its bytes.
    std::string randomOutput;
    // Run as on a file system without unnamed temporaries (O_TMPFILE).
    bool named = false;
    Entry(std::string n, Promise p, Args a, std::function<void(Fixture&)> b, Files f = {},
          std::string random = "")
        : name(n), promise(p), args(a), base(b), files(f), randomOutput(random) {}
};

void PrintTo(const Entry& e, std::ostream* os) {
    *os << e.name;
}

// The lines of a file: for the log, the counted calls of the last run, each
// its name and path below the root, "!" marking the fault.
std::vector<std::string> linesOf(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::string lastLine(const std::string& path) {
    std::vector<std::string> lines = linesOf(path);
    std::erase(lines, "");
    return lines.empty() ? "" : lines.back();
}

// The call's name alone: temporaries' names hold process ids, so only the
// names make a sequence that repeats from run to run.
std::string nameOf(const std::string& logged) {
    return logged.substr(0, logged.find(' '));
}

std::vector<std::string> namesOf(std::vector<std::string> calls) {
    for (auto& c : calls) c = nameOf(c);
    return calls;
}

std::vector<std::string> faultsFor(const std::string& call) {
    const auto has = [&](const char* part) { return call.find(part) != std::string::npos; };
    std::vector<std::string> kinds{"eio", "kill"};
    if (has("write") || has("open") || call == "fsync" || call == "fdatasync" ||
        call.starts_with("ftruncate") || call.starts_with("fallocate") || call == "linkat")
        kinds.push_back("enospc");
    if (has("read") || has("write")) kinds.push_back("short");
    return kinds;
}

bool archive(const std::string& rel) {
    return rel.ends_with(".lzh");
}

// Totals over the entry points run by this process, for the closing line.
struct Totals {
    long entries = 0, runs = 0, injected = 0, lost = 0;
} totals;

class Summary : public testing::Environment {
public:
    void TearDown() override {
        if (totals.entries > 1)
            std::printf(
                "faults (%ld entry points): runs %ld, faults injected %ld, files lost %ld\n",
                totals.entries, totals.runs, totals.injected, totals.lost);
    }
};

class FaultMatrix : public testing::TestWithParam<Entry> {
protected:
    Fixture f;
    Tree before, expected;
    int problems = 0;
    Node lastPackage;  // each run's package is judged twice: run it once
    bool lastPackageComplete = false;

    void report(const std::string& what) {
        // Enough detail to reproduce the first failures; the count says the rest.
        if (++problems <= 25) ADD_FAILURE() << GetParam().name << ": " << what;
    }

    // A counted run from the starting tree.
    Outcome attempt(long at = 0, const std::string& kind = "none") {
        copyTree(f.start, f.root);
        fs::remove(f.log);
        return run(f, GetParam().args, true, GetParam().named, at, kind);
    }

    // Whether a node is the clean run's result at rel. A package is when it
    // has the size of the clean run's package and restores (tests) with the
    // password.
    bool isResult(const std::string& rel, const Node& node) {
        if (rel != GetParam().randomOutput) return node == expected.at(rel);
        if (node.folder || node.bytes.size() != expected.at(rel).bytes.size()) return false;
        if (node.bytes == lastPackage.bytes) return lastPackageComplete;
        Fixture check;
        dozo::test::writeFile(check.root + "/package", node.bytes, 0755);
        lastPackage = node;
        lastPackageComplete =
            run(check, {"trace", "$R/package", "--password-stdin", "-t"}, false).code == 0;
        return lastPackageComplete;
    }

    // Every file is as it was or wholly the result; returns false otherwise.
    bool eachWholly(const Tree& after, const std::string& when) {
        std::set<std::string> names;
        for (const auto& [p, n] : before) names.insert(p);
        for (const auto& [p, n] : expected) names.insert(p);
        bool ok = true;
        for (const std::string& p : names) {
            const auto a = after.find(p);
            const bool absent = a == after.end(), wasThere = before.contains(p);
            if (absent && (!wasThere || !expected.contains(p))) continue;
            if (!absent && wasThere && a->second == before.at(p)) continue;
            if (!absent && expected.contains(p) && isResult(p, a->second)) continue;
            report(when + ": " + p + (absent ? " is gone" : " is neither as before nor complete") +
                   (archive(p) ? " (archive)" : ""));
            ok = false;
        }
        return ok;
    }

    bool complete(const Tree& after) {
        for (const auto& [p, e] : expected)
            if (!after.contains(p) || !isResult(p, after.at(p))) return false;
        for (const auto& [p, b] : before)
            if (!expected.contains(p) && after.contains(p)) return false;
        return true;
    }

    std::vector<std::string> strays(const Tree& after) const {
        std::vector<std::string> names;
        for (const auto& [p, n] : after)
            if (!before.contains(p) && !expected.contains(p)) names.push_back(p);
        return names;
    }

    void lhaReads(const std::string& folder, const Tree& tree, const std::string& which) {
        for (const auto& [p, n] : tree)
            if (archive(p) && std::system((std::string(LHA_PROGRAM) + " t '" + folder + "/" + p +
                                           "' >/dev/null 2>&1")
                                              .c_str()) != 0)
                report(which + " archive " + p + " fails lhasa t");
    }
};

TEST_P(FaultMatrix, EveryCallEveryFault) {
    const Entry& entry = GetParam();
    if (entry.base) entry.base(f);
    for (const File& file : entry.files) put(f.start + "/" + file.path, file.bytes, file.age);

    // One clean run from the start: the calls to walk and the complete result.
    before = snapshot(f.start);
    const Outcome clean = attempt();
    ASSERT_TRUE(clean.exited && clean.code == 0)
        << "clean run: " << clean.describe() << ": " << lastLine(f.output);
    expected = snapshot(f.root);
    if (entry.promise != Promise::ReadOnly) {
        EXPECT_NE(before, expected) << "the clean run changed nothing";
    }
    lhaReads(f.start, before, "starting");
    lhaReads(f.root, expected, "resulting");
    const std::vector<std::string> calls = linesOf(f.log);
    ASSERT_FALSE(calls.empty()) << "no counted call: is the shim loaded?";
    // The same start must give the same calls and bytes, or walking N means nothing.
    attempt();
    ASSERT_EQ(namesOf(linesOf(f.log)), namesOf(calls))
        << "the call sequence differs between clean runs";
    if (entry.randomOutput.empty()) {
        ASSERT_EQ(snapshot(f.root), expected);
    }

    long runs = 0, injected = 0, lost = 0;
    for (std::size_t n = 1; n <= calls.size(); ++n) {
        for (const std::string& kind : faultsFor(nameOf(calls[n - 1]))) {
            const Outcome o = attempt(static_cast<long>(n), kind);
            ++runs;
            const std::vector<std::string> seen = linesOf(f.log);
            if (seen.size() >= n && seen[n - 1].starts_with("!")) ++injected;
            const Tree after = snapshot(f.root);
            const std::string when = "call " + std::to_string(n) + " (" + calls[n - 1] + ") " +
                                     kind + ", " + o.describe();
            if (!eachWholly(after, when)) ++lost;
            const bool succeeded = o.exited && o.code == 0, failed = o.exited && o.code != 0;
            if (o.exited && o.code == 125) report(when + ": runner failed: " + lastLine(f.output));
            if (!o.exited && o.signal != SIGKILL) report(when + ": crashed");
            if (succeeded && !complete(after))
                report(when + ": result 0 but the result is not complete");
            if (failed && entry.promise == Promise::BeforeOnFailure) {
                Tree kept = after;  // the work file may stay when its removal failed
                std::erase_if(kept, [&](const auto& kv) { return !before.contains(kv.first); });
                if (kept != before) report(when + ": failed but changed the destination");
            }
            if (entry.promise == Promise::ReadOnly && succeeded &&
                (kind == "eio" || kind == "enospc"))
                report(when + ": a read failed but the result is 0");
            if (entry.promise == Promise::ReadOnly && failed && kind == "short")
                report(when + ": a short read was taken for a failure: " + lastLine(f.output));

            // With no unknown name left there is nothing for a clean run to clean up.
            if (strays(after).empty()) continue;
            const Outcome again = run(f, entry.args, true, entry.named);
            for (const std::string& p : strays(snapshot(f.root)))
                report(when + ", then a clean run (" + again.describe() + "): stray " + p);
        }
    }
    std::printf("faults %s: runs %ld, faults injected %ld, files lost %ld, failures %d\n",
                entry.name.c_str(), runs, injected, lost, problems);
    totals.entries += 1;
    totals.runs += runs;
    totals.injected += injected;
    totals.lost += lost;
    EXPECT_EQ(lost, 0);
}

// ---- The entry points and their starting folders --------------------------

// Odd length, so the pair swaps and the reversal meet their odd last byte.
void dataFile(Fixture& f) {
    put(f.start + "/data.bin", dozo::test::randomBytes(3001, 1), 3);
}

// Packs in a scratch copy of the start folder and keeps only the archive: the
// archive's names and times are those of the start folder's files.
void packInStart(Fixture& f, const std::string& archive, const std::vector<std::string>& names) {
    Fixture scratch;
    copyTree(f.start, scratch.root);
    std::string list;
    for (const auto& n : names) list += "\"" + scratch.root + "/" + n + "\"\n";
    dozo::test::writeFile(scratch.root + "/list.txt", text(list));
    const Outcome o = run(scratch, {"unlha", R"(u -a1 -r2 "$R/out.lzh" "@$R/list.txt")"}, false);
    ASSERT_TRUE(o.exited && o.code == 0) << "making the starting archive: " << o.describe();
    put(f.start + "/" + archive, dozo::test::readFile(scratch.root + "/out.lzh"), 2);
}

// A package of a secret to restore.
void package(Fixture& f) {
    Fixture scratch;
    put(scratch.root + "/secret.txt", dozo::test::randomBytes(20000, 4), 3);
    const Outcome o = run(scratch, {"rivo", "$R/secret.txt", "$R/secret.exe", kPassword}, false);
    ASSERT_TRUE(o.exited && o.code == 0) << "making the package";
    dozo::test::writeFile(f.start + "/secret.exe",
                          dozo::test::readFile(scratch.root + "/secret.exe"), 0755);
}

// Where the second entry's header starts: level-2 headers hold the method
// ("-lh0-") two bytes in.
std::size_t secondHeader(const Bytes& archive) {
    std::size_t found = 0;
    for (std::size_t i = 0; i + 5 <= archive.size(); ++i)
        if (archive[i] == '-' && archive[i + 1] == 'l' && archive[i + 2] == 'h' &&
            archive[i + 4] == '-' && ++found == 2)
            return i - 2;
    return 0;
}

// Three entries, the second header straddling offset 65536: readers fetch the
// archive 64 KiB at a time, so a failed read lands inside a header, and the
// third entry is what a reader that takes the failure for the end would lose.
void archiveWithThreeEntries(Fixture& f) {
    constexpr std::size_t kStraddle = 65536 - 12;
    std::size_t size = 70 * 1024;
    for (int pass = 0; pass < 2; ++pass) {
        put(f.start + "/in/big.bin", dozo::test::randomBytes(size, 2), 5);
        put(f.start + "/in/a.txt", text(std::string(2000, 'a') + "old\n"), 5);
        put(f.start + "/in/z.txt", text("the last entry\n"), 5);
        packInStart(f, "old.lzh", {"in/big.bin", "in/a.txt", "in/z.txt"});
        // Incompressible data is stored: the header moves byte for byte with the size.
        size = size + kStraddle - secondHeader(dozo::test::readFile(f.start + "/old.lzh"));
    }
    ASSERT_EQ(secondHeader(dozo::test::readFile(f.start + "/old.lzh")), kStraddle);
    fs::remove_all(f.start + "/in");
}

std::vector<Entry> entries() {
    std::vector<Entry> list;
    for (const char* method : dozo::contracts::kTransformMethods)
        list.emplace_back(method, Promise::BeforeOnFailure,
                          Args{"rozu", method, "$R/data.bin", "$R/data.bin", "$R/work.tmp"},
                          dataFile);
    // Another writer appends to the file as the run starts reading it: the run
    // must fail and leave the file as that writer left it, whatever else fails.
    list.emplace_back("FileEncryptionA_SourceChanged", Promise::Nothing,
                      Args{"rozu-appended", "FileEncryptionA", "$R/data.bin", "$R/work.tmp"},
                      dataFile);
    list.emplace_back("VovBCMKC", Promise::BeforeOnFailure,
                      Args{"vod", "$R/data.bin", "$R/out.bin", "$R/work.tmp", "key"}, dataFile,
                      Files{{"out.bin", text("an older result\n"), 4}});
    list.emplace_back("VovBCMKCL", Promise::BeforeOnFailure,
                      Args{"vodl", "$R/data.bin", "$R/work.tmp", "key"}, dataFile);
    list.emplace_back(
        "UnlhaPackNew", Promise::Nothing, Args{"unlha", R"(u -a1 -r2 "$R/new.lzh" "@$R/list.txt")"},
        [](Fixture& f) {
            dozo::test::writeFile(f.start + "/list.txt", text("\"" + f.root + "/src\"\n"));
        },
        Files{{"src/a.txt", text(std::string(3000, 'x') + "\n"), 3},
              {"src/sub/b.bin", dozo::test::randomBytes(5000, 3), 3},
              {"src/sub/.keep", {}, 3}});
    list.emplace_back("UnlhaPackIntoExisting", Promise::Nothing,
                      Args{"unlha", R"(u -a1 "$R/old.lzh" "$R/c.txt")"}, archiveWithThreeEntries,
                      Files{{"c.txt", text("a new entry\n"), 1}});
    list.emplace_back("UnlhaUpdate", Promise::Nothing,
                      Args{"unlha", R"(u -a1 "$R/old.lzh" "$R/a.txt")"}, archiveWithThreeEntries,
                      Files{{"a.txt", text(std::string(2000, 'a') + "new\n"), 1}});
    const Args extract{"unlha", R"(x -a1 "$R/old.lzh" "$R/out")"};
    list.emplace_back("UnlhaExtractNew", Promise::Nothing, extract, archiveWithThreeEntries);
    list.emplace_back(
        "UnlhaExtractOverwrite", Promise::Nothing, extract,
        [](Fixture& f) {
            archiveWithThreeEntries(f);
            dozo::test::writeFile(f.config + "/dozo/unlha32.conf", text("overwrite=true\n"));
        },
        Files{{"out/big.bin", text("older big\n"), 9}, {"out/a.txt", text("older a\n"), 9}});
    list.emplace_back("UnlhaCheckArchive", Promise::ReadOnly, Args{"check", "$R/old.lzh"},
                      archiveWithThreeEntries);
    list.emplace_back("RivoBuild", Promise::Nothing,
                      Args{"rivo", "$R/secret.txt", "$R/secret.exe", kPassword}, nullptr,
                      Files{{"secret.txt", text("the only copy\n"), 3}}, "secret.exe");
    list.emplace_back("PackageRestore", Promise::Nothing,
                      Args{"trace", "$R/secret.exe", "--password-stdin"}, package);
    // The named fallbacks of the writers that place files, walked as well.
    for (const char* name : {"FileEncryptionA", "UnlhaUpdate", "UnlhaExtractNew",
                             "UnlhaExtractOverwrite", "RivoBuild", "PackageRestore"}) {
        Entry named =
            *std::find_if(list.begin(), list.end(), [&](const Entry& e) { return e.name == name; });
        named.name += "_NamedTemporaries";
        named.named = true;
        list.push_back(named);
    }
    return list;
}

INSTANTIATE_TEST_SUITE_P(EntryPoints, FaultMatrix, testing::ValuesIn(entries()),
                         [](const auto& test) { return test.param.name; });

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    testing::AddGlobalTestEnvironment(new Summary);
    return RUN_ALL_TESTS();
}
