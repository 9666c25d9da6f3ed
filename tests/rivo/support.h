#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "files.h"
#include "format.h"
#include "temp_dir.h"

namespace dozo::test {

namespace fs = std::filesystem;

struct RunResult {
    int exitCode = -1;  // -1 when killed by a signal or by the guard
    bool timedOut = false;
    std::string out, err;
};

struct RunOptions {
    std::string stdinText;
    std::map<std::string, std::string> env;  // set in the child (on top of a clean base)
    std::string cwd;                         // the child's working folder, when set
    // Generous: only there so a hung child fails the test instead of the suite.
    int guardSeconds = 120;

    static RunOptions input(std::string text) {
        RunOptions o;
        o.stdinText = std::move(text);
        return o;
    }
    static RunOptions environment(std::map<std::string, std::string> env) {
        RunOptions o;
        o.env = std::move(env);
        return o;
    }
};

// Runs program in a new session (so it has no controlling terminal), with
// DISPLAY, WAYLAND_DISPLAY and the locale variables cleared unless set in env.
RunResult run(const fs::path& program, const std::vector<std::string>& args,
              const RunOptions& options = {});

// A local X display that takes connections (the abstract socket an X server
// listens on) and never answers: enough for a package to see a desktop
// session it can reach. DISPLAY=name() points at it.
class FakeDisplay {
public:
    // A refusing display holds its name but takes no connection: a display
    // nobody serves, whose number no other test can take meanwhile.
    enum class Kind { listening, refusing };
    explicit FakeDisplay(Kind kind = Kind::listening);
    ~FakeDisplay();
    FakeDisplay(const FakeDisplay&) = delete;
    FakeDisplay& operator=(const FakeDisplay&) = delete;
    std::string name() const { return ":" + std::to_string(number_); }

private:
    int fd_ = -1;
    int number_ = 0;
};

// A stand-in for zenity or kdialog: logs each argument on a line of its own
// (a "--" line ends a call), answers a password question with `answer`, and
// exits with `status`; a yes/no question with `questionStatus` (0 yes, 1 no).
void writeDialog(const fs::path& program, const fs::path& log, const std::string& answer,
                 int status = 0, int questionStatus = 0);
// The calls a stand-in dialog logged, each as its list of arguments.
std::vector<std::vector<std::string>> dialogCalls(const fs::path& log);
bool hasArgument(const std::vector<std::string>& call, const std::string& part);

// Runs a package with --password-stdin and the given password.
RunResult openPackage(const fs::path& package, const std::string& password,
                      std::vector<std::string> extraArgs = {}, RunOptions options = {});

// Builds a package from parts, sealing with the real crypto code: lets tests
// write what rivo() never would (hostile names, misplaced final tags, costs).
struct Craft {
    dozo::rivo::Metadata meta;
    Bytes content;
    std::string password = "pw";
    std::uint32_t opslimit = 1;
    std::uint32_t memlimitKib = 8 * 1024;
    // Index of the message (0 = metadata) that gets the final tag; -1: the last.
    int finalAt = -1;
};
Bytes craftPackage(const Bytes& stub, const Craft& c);

// The stub bytes, taken from a real package.
Bytes stubOf(const Bytes& package);

}  // namespace dozo::test
