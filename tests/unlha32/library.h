#pragma once
// The real libunlha32.so, loaded from the build tree by full path as the
// application loads it, and the small things every test of it needs.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "build_tree.h"
#include "files.h"
#include "temp_dir.h"

namespace unlhatest {

namespace fs = std::filesystem;

struct Library {
    int (*getVersion)();
    int (*unlha)(void* owner, const char* commandLine, char* output, unsigned long outputSize);
    int (*checkArchive)(const char* path, int mode);
    int (*configDialog)(void* owner, char* options, int mode);
    void (*setProgress)(int (*callback)(void*, long long, long long, long long, long long),
                        void* context);
    void (*setFailureReport)(void (*callback)(void*, int, int, const char*, int), void* context);
};

// The built libunlha32.so: under $DOZO_BUILD_DIR, else the build tree's.
std::string libraryPath();

// Fails the calling test (ASSERT) when the library or an export is missing.
const Library& library();

struct Result {
    int code;
    std::string reason;  // what the library put into the output buffer
};

// Calls Unlha with a roomy output buffer.
Result run(const std::string& commandLine);

// Listens to UnlhaSetFailureReport on this thread while it lives: how often
// it was told and what it was told last.
struct ToldFailure {
    ToldFailure() { library().setFailureReport(&heard, this); }
    ~ToldFailure() { library().setFailureReport(nullptr, nullptr); }
    ToldFailure(const ToldFailure&) = delete;
    ToldFailure& operator=(const ToldFailure&) = delete;

    int calls = 0, code = 0, cause = -1;
    std::string name;
    int error = 0;

    static void heard(void* context, int code, int cause, const char* name, int error) {
        auto* self = static_cast<ToldFailure*>(context);
        ++self->calls;
        self->code = code;
        self->cause = cause;
        self->name = name;
        self->error = error;
    }
};

// Q + path + Q, as the application quotes arguments.
std::string arg(const fs::path& path);

using dozo::test::TempDir;

// Points XDG_CONFIG_HOME at a fresh folder for the test's lifetime, so no test
// reads or changes the user's settings.
class ConfigHome {
public:
    ConfigHome();
    ~ConfigHome();
    fs::path settingsFile() const { return dir_.path() / "dozo" / "unlha32.conf"; }
    // Writes the settings file directly.
    void write(const std::string& text) const;

private:
    TempDir dir_;
    std::string previous_;
    bool hadPrevious_ = false;
};

using dozo::test::Bytes;
inline Bytes readBytes(const fs::path& path) {
    return dozo::test::readFile(path);
}
inline void writeBytes(const fs::path& path, const Bytes& data) {
    dozo::test::writeFile(path, data);
}
void writeText(const fs::path& path, const std::string& text);
inline std::string readText(const fs::path& path) {
    const Bytes bytes = readBytes(path);
    return std::string(bytes.begin(), bytes.end());
}
Bytes sampleText(std::size_t size, unsigned seed = 1);
inline Bytes sampleBinary(std::size_t size, unsigned seed = 1) {
    return dozo::test::randomBytes(size, seed);
}
void setMtime(const fs::path& path, std::int64_t seconds);
std::int64_t mtimeOf(const fs::path& path);

// Every path below root, relative and sorted; folders end in '/'.
std::vector<std::string> listTree(const fs::path& root);

// Runs a shell command; its exit status.
int shell(const std::string& command);

// Packs names (relative to folder, as one shell word list) into archive with
// jlha and options such as "-c2o7"; its exit status.
int jlhaPack(const fs::path& folder, const fs::path& archive, const std::string& options,
             const std::string& names);
// jlha's options for a header level and method: '5'..'7', or '0' to store.
std::string jlhaOptions(int level, char method);

// The method of an archive's first entry ("-lh5-"); empty when there is none.
std::string firstMethod(const fs::path& archive);

// A file under data/.
inline fs::path testData(const std::string& relative) {
    return fs::path(dozo::test::inSourceTree(UNLHA32_TEST_DATA)) / relative;
}

// One command line (or "--check PATH") run by unlha32_call in a process of its
// own under strace with the given options (e.g. "-e inject=read:error=EIO").
struct Child {
    int code;            // the result code; 100 and above: the child did not run
    std::string output;  // what the library put into the output buffer
    std::string errors;  // its standard error
};
Child runTraced(const std::string& straceOptions, const std::string& commandLine,
                unsigned long outputSize = 1 << 20);

// The command line for a shell that runs commandLine the way runTraced does,
// strace's own report going to traceFile.
std::string tracedCommand(const std::string& straceOptions, const std::string& commandLine,
                          const std::string& traceFile = "/dev/null",
                          unsigned long outputSize = 1 << 20);

// One command line (or "--check PATH", or "--config") run by unlha32_call in a
// process of its own, without strace: what it prints and, when mapsFile is
// given, what it has mapped after the call.
struct Alone {
    std::string library;      // the library to load; empty: the built one
    std::string environment;  // assignments for the child ("LD_LIBRARY_PATH=...")
    unsigned long outputSize = 1 << 20;
    std::string mapsFile;  // receives /proc/self/maps after the call
};
Child runAlone(const std::string& commandLine, const Alone& how = {});

// Whether strace can fail a system call here (it cannot without ptrace).
bool straceCanInject(const fs::path& scratch);

// For tests that fail a child's system calls: skipped where strace cannot.
class TracedTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!straceCanInject(dir_ / "probe")) GTEST_SKIP() << "strace cannot inject faults here";
    }

    TempDir dir_;
    ConfigHome config_;
};

}  // namespace unlhatest
