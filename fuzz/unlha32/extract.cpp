// Feeds the input to the extract path as an archive, into a fresh folder that
// sits inside a watched one: afterwards the watched folder must hold the
// destination and nothing else, and the destination nothing but files and
// folders.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "extracting/extract.h"

namespace fs = std::filesystem;

namespace {

const fs::path& workFolder() {
    static const fs::path folder = [] {
        std::string tmpl = (fs::temp_directory_path() / "unlha32-fuzz-XXXXXX").string();
        if (::mkdtemp(tmpl.data()) == nullptr) std::abort();
        return fs::path(tmpl);
    }();
    return folder;
}

void require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "extract fuzz: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fs::path watched = workFolder() / "watched";
    const fs::path destination = watched / "dest";
    fs::remove_all(watched);
    fs::create_directories(destination);

    unlha32::extractMemory(data, size, destination.string() + "\\", false);

    for (const auto& entry : fs::directory_iterator(watched))
        require(entry.path() == destination, "something was written beside the destination");
    for (const auto& entry : fs::recursive_directory_iterator(destination)) {
        require(!entry.is_symlink(), "a link was created");
        require(entry.is_regular_file() || entry.is_directory(), "a special file was created");
    }
    fs::remove_all(watched);
    return 0;
}
