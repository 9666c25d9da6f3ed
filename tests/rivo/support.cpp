#include "support.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>
#include <utility>

#include "crypto.h"

namespace dozo::test {

static std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string{std::istreambuf_iterator<char>(in), {}};
}

RunResult run(const fs::path& program, const std::vector<std::string>& args,
              const RunOptions& options) {
    TempDir io;
    writeFile(io / "in", Bytes(options.stdinText.begin(), options.stdinText.end()));
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("fork");
    if (pid == 0) {
        ::setsid();
        const int in = ::open((io / "in").c_str(), O_RDONLY);
        const int out = ::open((io / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open((io / "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "LANG", "LC_ALL", "LC_MESSAGES"})
            ::unsetenv(name);
        for (const auto& [k, v] : options.env) ::setenv(k.c_str(), v.c_str(), 1);
        if (!options.cwd.empty() && ::chdir(options.cwd.c_str()) != 0) ::_exit(126);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    RunResult r;
    int status = 0;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(options.guardSeconds);
    for (;;) {
        if (::waitpid(pid, &status, WNOHANG) == pid) break;
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            r.timedOut = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (WIFEXITED(status) && !r.timedOut) r.exitCode = WEXITSTATUS(status);
    r.out = slurp(io / "out");
    r.err = slurp(io / "err");
    return r;
}

FakeDisplay::FakeDisplay(Kind kind) {
    for (number_ = 1000 + ::getpid() % 20000;; ++number_) {
        fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::string path = "/tmp/.X11-unix/X" + std::to_string(number_);
        std::memcpy(address.sun_path + 1, path.data(), path.size());
        const auto length =
            static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + path.size());
        if (::bind(fd_, reinterpret_cast<const sockaddr*>(&address), length) == 0 &&
            (kind == Kind::refusing || ::listen(fd_, 16) == 0))
            return;
        ::close(fd_);
        if (errno != EADDRINUSE) throw std::runtime_error("cannot listen as a display");
    }
}

FakeDisplay::~FakeDisplay() {
    ::close(fd_);
}

void writeDialog(const fs::path& program, const fs::path& log, const std::string& answer,
                 int status, int questionStatus) {
    const std::string script = "#!/bin/sh\nprintf '%s\\n' \"$@\" -- >> '" + log.string() +
                               "'\ncase \" $* \" in *' --entry '*|*' --password '*) echo '" +
                               answer + "';; *' --question '*|*' --yesno '*) exit " +
                               std::to_string(questionStatus) + ";; esac\nexit " +
                               std::to_string(status) + "\n";
    writeFile(program, Bytes(script.begin(), script.end()), 0755);
}

std::vector<std::vector<std::string>> dialogCalls(const fs::path& log) {
    std::vector<std::vector<std::string>> calls;
    std::vector<std::string> call;
    std::ifstream in(log, std::ios::binary);
    for (std::string line; std::getline(in, line);) {
        if (line == "--") {
            calls.push_back(std::exchange(call, {}));
        } else {
            call.push_back(line);
        }
    }
    return calls;
}

bool hasArgument(const std::vector<std::string>& call, const std::string& part) {
    return std::ranges::any_of(
        call, [&](const std::string& a) { return a.find(part) != std::string::npos; });
}

RunResult openPackage(const fs::path& package, const std::string& password,
                      std::vector<std::string> extraArgs, RunOptions options) {
    extraArgs.insert(extraArgs.begin(), "--password-stdin");
    options.stdinText = password + "\n";
    return run(package, extraArgs, options);
}

Bytes stubOf(const Bytes& package) {
    using namespace dozo::rivo;
    Trailer t;
    if (parseTrailer(package.data() + package.size() - kTrailerSize, package.size(), t) !=
        ParseError::none)
        throw std::runtime_error("not a package");
    return Bytes(package.begin(), package.begin() + static_cast<std::ptrdiff_t>(t.payloadOffset));
}

Bytes craftPackage(const Bytes& stub, const Craft& c) {
    using namespace dozo::rivo;
    Header h;
    h.opslimit = c.opslimit;
    h.memlimitKib = c.memlimitKib;
    h.stubSize = stub.size();
    h.sealedSize = sealedSizeFor(c.content.size());
    randombytes_buf(h.salt, sizeof h.salt);
    Keys keys;
    if (!keys.derive(c.password.data(), c.password.size(), h)) throw std::runtime_error("derive");
    Sealer sealer;
    if (!sealer.start(keys, h)) throw std::runtime_error("stream state");

    Bytes pkg = stub;
    std::uint8_t header[kHeaderSize];
    encodeHeader(h, header);
    pkg.insert(pkg.end(), header, header + kHeaderSize);

    const std::size_t chunks = chunkCountFor(c.content.size());
    const std::size_t finalAt = c.finalAt < 0 ? chunks : static_cast<std::size_t>(c.finalAt);
    std::uint8_t meta[kMetadataSize];
    if (!encodeMetadata(c.meta, meta)) throw std::runtime_error("metadata");
    std::uint8_t sealed[kChunkSize + kTagOverhead];
    sealer.seal(meta, kMetadataSize, header, kHeaderSize, finalAt == 0, sealed);
    pkg.insert(pkg.end(), sealed, sealed + kSealedMetadataSize);
    for (std::size_t i = 0; i < chunks; ++i) {
        const std::size_t at = i * kChunkSize;
        const std::size_t n = std::min<std::size_t>(kChunkSize, c.content.size() - at);
        sealer.seal(c.content.data() + at, n, nullptr, 0, finalAt == i + 1, sealed);
        pkg.insert(pkg.end(), sealed, sealed + n + kTagOverhead);
    }
    std::uint8_t trailer[kTrailerSize];
    encodeTrailer(Trailer{stub.size(), kHeaderSize + h.sealedSize}, trailer);
    pkg.insert(pkg.end(), trailer, trailer + kTrailerSize);
    return pkg;
}

}  // namespace dozo::test
