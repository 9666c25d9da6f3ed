// Feeds the input to the listing ("l"), the test ("t") and the header check as
// an archive file. Neither may crash; a listing that succeeds must be what the
// caller's parser expects (one line an entry, six fields, sizes not negative,
// names escaped, valid UTF-8), and no command may accept what the header
// check refuses.
#include <stdlib.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "dozo/fileio/io.h"
#include "dozo/fileio/printable.h"
#include "reading/check.h"
#include "reading/inspect.h"

namespace {

std::string withoutBackslashes(std::string_view text) {
    std::string kept;
    for (const char c : text) {
        if (c != '\\') kept += c;
    }
    return kept;
}

void require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "inspect fuzz: %s\n", what);
    std::abort();
}

// The input as a file the commands open by name, kept in memory.
std::string inputFile(const std::uint8_t* data, std::size_t size) {
    static const int fd = ::memfd_create("unlha32-inspect", MFD_CLOEXEC);
    require(fd >= 0, "memfd_create failed");
    require(::ftruncate(fd, 0) == 0, "ftruncate failed");
    require(dozo::fileio::writeAll(fd, data, size, 0), "write failed");
    return "/proc/self/fd/" + std::to_string(fd);
}

bool isDecimal(std::string_view field) {
    if (field.empty()) return false;
    for (const char c : field)
        if (c < '0' || c > '9') return false;
    return true;
}

void requireWellFormed(const std::string& listing) {
    require(!listing.empty() && listing.back() == '\n', "a listing without entries");
    std::size_t start = 0;
    while (start < listing.size()) {
        const std::size_t end = listing.find('\n', start);
        const std::string_view line(listing.data() + start, end - start);
        std::size_t fields[6] = {};
        int tabs = 0;
        for (std::size_t i = 0; i < line.size(); ++i) {
            const auto c = static_cast<unsigned char>(line[i]);
            require(c >= 0x20 || c == '\t', "a control character in a listing");
            require(c != 0x7F, "DEL in a listing");
            if (c == '\t') {
                require(tabs < 5, "more than six fields");
                fields[++tabs] = i + 1;
            }
        }
        require(tabs == 5, "fewer than six fields");
        require(isDecimal(line.substr(0, fields[1] - 1)), "a size that is no number");
        require(isDecimal(line.substr(fields[1], fields[2] - fields[1] - 1)),
                "a packed size that is no number");
        require(fields[3] - fields[2] - 1 == 5, "a method id that is not five characters");
        require(fields[4] - fields[3] - 1 == 4, "a CRC that is not four hex digits");
        require(fields[5] - fields[4] - 1 == 19, "a time that is not YYYY-MM-DD HH:MM:SS");
        // What the escaper would change is a control character, a
        // bidirectional control or a byte that is not UTF-8; the backslashes
        // of its own escapes it doubles, so they are left out of the match.
        for (int f = 0; f < 6; ++f) {
            const std::size_t to = f == 5 ? line.size() : fields[f + 1] - 1;
            const std::string_view field = line.substr(fields[f], to - fields[f]);
            require(withoutBackslashes(dozo::fileio::printable(field)) == withoutBackslashes(field),
                    "an unescaped field");
        }
        start = end + 1;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = inputFile(data, size);
    const bool sound = unlha32::checkArchive(path.c_str());

    const unlha32::Outcome listed = unlha32::listArchive(path.c_str());
    if (!listed.failed()) {
        require(sound, "listed what the check refuses");
        requireWellFormed(listed.output);
    } else {
        require(!listed.reason.empty(), "a failure without a reason");
    }

    const unlha32::Outcome tested = unlha32::testArchive(path.c_str());
    require(tested.failed() || sound, "tested what the check refuses");
    require(!tested.failed() || !tested.reason.empty(), "a failure without a reason");
    return 0;
}
