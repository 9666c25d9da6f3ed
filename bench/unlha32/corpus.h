#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// The benchmark corpus: text and binary files of several kinds, the same bytes
// on every run.
struct CorpusFile {
    std::string name;
    std::vector<std::uint8_t> data;
};

std::vector<CorpusFile> makeCorpus(std::size_t totalBytes);
