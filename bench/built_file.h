#pragma once

#include <filesystem>
#include <string>

// A file the build made, from its path in the build tree as dozo_built_files
// passes it: benchmarks lie in bench/ of the build tree.
inline std::string builtFile(const char* inBuildTree) {
    const auto tree = std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path();
    return (tree / inBuildTree).string();
}
