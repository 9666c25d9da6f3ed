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

// Files of this machine in six kinds, about `budget` bytes of each: English
// text, C++ headers, ELF programs, Japanese text in UTF-8 and in code page 932,
// already-compressed files. Read from /usr; a kind with nothing found is empty.
struct MachineCorpus {
    std::string kind;
    std::vector<CorpusFile> files;
};
std::vector<MachineCorpus> machineCorpora(std::size_t budget);
