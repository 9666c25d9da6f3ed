#pragma once

#include <string>

namespace dozo::bench {

// The classic sequences, one byte at a time through stdio: each pass opens
// its input and output anew, the reversal seeks before every byte, and the
// intermediate results go through the work file and plain copies. They are
// what the block implementations are measured against.
struct BaselinePaths {
    std::string source, destination, work;
};

void baselineA(const BaselinePaths& p);
void baselineC(const BaselinePaths& p);
void baselineLC(const BaselinePaths& p);
void baselineLCR(const BaselinePaths& p);
void baselineLCB(const BaselinePaths& p);
void baselineLCRB(const BaselinePaths& p);
void baselineICLOL(const BaselinePaths& p);
void baselineVod32(const BaselinePaths& p, const std::string& key);

}  // namespace dozo::bench
