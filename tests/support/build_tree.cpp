#include "build_tree.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace dozo::test {
namespace fs = std::filesystem;

const std::string& buildTree() {
    static const std::string tree = [] {
        if (const char* dir = std::getenv("DOZO_BUILD_DIR"); dir != nullptr && *dir != '\0')
            return std::string(dir);
        // Test programs lie in tests/ of the build tree or a folder below it.
        for (fs::path dir = fs::read_symlink("/proc/self/exe").parent_path();
             dir != dir.root_path(); dir = dir.parent_path())
            if (fs::exists(dir / "CMakeCache.txt")) return dir.string();
        throw std::runtime_error("no build tree above this test program");
    }();
    return tree;
}

const std::string& sourceTree() {
    static const std::string tree = [] {
        std::ifstream cache(buildTree() + "/CMakeCache.txt");
        const std::string key = "CMAKE_HOME_DIRECTORY:INTERNAL=";
        for (std::string line; std::getline(cache, line);)
            if (line.starts_with(key)) return line.substr(key.size());
        throw std::runtime_error("the build tree's CMakeCache.txt names no source tree");
    }();
    return tree;
}

std::string inBuildTree(std::string_view relative) {
    return buildTree() + "/" + std::string(relative);
}

std::string inSourceTree(std::string_view relative) {
    return sourceTree() + "/" + std::string(relative);
}

}  // namespace dozo::test
