#pragma once

#include <filesystem>
#include <string>

namespace dozo::test {

// A fresh folder under $TMPDIR (or /tmp), removed with everything in it, also
// after a test has taken permissions away from folders inside it.
class TempDir {
public:
    TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir();

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
    operator const std::filesystem::path&() const { return path_; }

private:
    std::filesystem::path path_;
};

}  // namespace dozo::test
