#include "corpus.h"

#include <iconv.h>
#include <stdio.h>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <fstream>
#include <random>

namespace {

using Bytes = std::vector<std::uint8_t>;

// Prose from a Zipf-weighted vocabulary: repeats at word and phrase scale,
// like documents, with Japanese words mixed in as UTF-8.
Bytes prose(std::size_t size, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<std::string> vocab;
    const char* roots[] = {"data",  "file",  "archive", "header",   "window", "block", "code",
                           "table", "match", "length",  "value",    "system", "user",  "time",
                           "圧縮",  "展開",  "書庫",    "ファイル", "設定",   "暗号"};
    const char* suffixes[] = {"", "s", "ed", "ing", "er", "ion", "al", "ly"};
    for (const char* r : roots)
        for (const char* s : suffixes) vocab.push_back(std::string(r) + s);
    for (int i = 0; i < 2000; ++i) {
        std::string w;
        const int len = 2 + static_cast<int>(rng() % 9);
        for (int k = 0; k < len; ++k) w += static_cast<char>('a' + rng() % 26);
        vocab.push_back(w);
    }
    std::vector<double> weights(vocab.size());
    for (std::size_t i = 0; i < weights.size(); ++i)
        weights[i] = 1.0 / (1.0 + static_cast<double>(i));
    std::shuffle(vocab.begin(), vocab.end(), rng);
    std::discrete_distribution<std::size_t> pick(weights.begin(), weights.end());
    Bytes out;
    out.reserve(size + 64);
    int sentence = 0;
    while (out.size() < size) {
        std::string w = vocab[pick(rng)];
        if (sentence == 0 && w[0] >= 'a' && w[0] <= 'z') w[0] = static_cast<char>(w[0] - 32);
        out.insert(out.end(), w.begin(), w.end());
        ++sentence;
        if (sentence > 6 && rng() % 8 == 0) {
            out.push_back('.');
            out.push_back(rng() % 5 == 0 ? '\n' : ' ');
            sentence = 0;
        } else {
            out.push_back(rng() % 12 == 0 ? ',' : ' ');
            if (out.back() == ',') out.push_back(' ');
        }
    }
    out.resize(size);
    return out;
}

// Fixed-size records of counters, small integers, floats and short names: the
// shape of tables, logs in binary form and object files.
Bytes records(std::size_t size, std::uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes out(size);
    std::size_t at = 0;
    std::uint32_t id = seed * 1000;
    double level = 100.0;
    while (at + 32 <= size) {
        std::uint8_t r[32] = {};
        ++id;
        std::memcpy(r, &id, 4);
        const std::uint16_t kind = static_cast<std::uint16_t>(rng() % 7);
        std::memcpy(r + 4, &kind, 2);
        level += std::normal_distribution<double>(0, 1)(rng);
        const float f = static_cast<float>(level);
        std::memcpy(r + 8, &f, 4);
        const std::uint32_t noise = rng() & 0x00FF00FF;
        std::memcpy(r + 12, &noise, 4);
        static const char* tags[] = {"alpha", "beta", "gamma", "delta", "eps"};
        std::memcpy(r + 16, tags[kind % 5], std::strlen(tags[kind % 5]));
        std::memcpy(out.data() + at, r, 32);
        at += 32;
    }
    return out;
}

// Machine-code-like bytes: a small instruction vocabulary with random
// operands, plus already-compressed (random) stretches.
Bytes mixedBinary(std::size_t size, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<Bytes> ops;
    for (int i = 0; i < 300; ++i) {
        Bytes op(1 + rng() % 6);
        for (auto& b : op)
            b = static_cast<std::uint8_t>(rng() % 64 == 0 ? rng() : rng() % 16 + 0x40);
        ops.push_back(op);
    }
    Bytes out;
    out.reserve(size + 16);
    while (out.size() < size) {
        if (rng() % 200 == 0) {
            for (int k = 0; k < 2048; ++k) out.push_back(static_cast<std::uint8_t>(rng()));
            continue;
        }
        const Bytes& op = ops[std::min<std::size_t>(rng() % 300, rng() % 300)];
        out.insert(out.end(), op.begin(), op.end());
        if (rng() % 3 == 0) {
            const std::uint32_t v = rng() % 4096;
            out.insert(out.end(),
                       {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8), 0, 0});
        }
    }
    out.resize(size);
    return out;
}

}  // namespace

std::vector<CorpusFile> makeCorpus(std::size_t totalBytes) {
    const std::size_t fileSize = 4 << 20;
    std::vector<CorpusFile> files;
    for (std::uint32_t i = 0; files.size() * fileSize < totalBytes; ++i) {
        switch (i % 4) {
            case 0:
            case 2:
                files.push_back({"text" + std::to_string(i) + ".txt", prose(fileSize, i + 1)});
                break;
            case 1:
                files.push_back({"records" + std::to_string(i) + ".dat", records(fileSize, i + 1)});
                break;
            default:
                files.push_back(
                    {"code" + std::to_string(i) + ".bin", mixedBinary(fileSize, i + 1)});
                break;
        }
    }
    return files;
}

namespace {

namespace fs = std::filesystem;

Bytes readWhole(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return Bytes{std::istreambuf_iterator<char>(in), {}};
}

// Output of a command (zcat of a manual page).
Bytes commandOutput(const std::string& command) {
    Bytes out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return out;
    char buffer[65536];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        out.insert(out.end(), buffer, buffer + n);
    ::pclose(pipe);
    return out;
}

// Regular files below the roots, in name order, that `keep` accepts.
template <typename Keep>
std::vector<fs::path> filesUnder(std::initializer_list<const char*> roots, Keep keep) {
    std::vector<fs::path> found;
    for (const char* root : roots) {
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(
                 root, fs::directory_options::skip_permission_denied, ec);
             !ec && it != fs::end(it); it.increment(ec)) {
            if (it->is_regular_file(ec) && !it->is_symlink(ec) && keep(it->path()))
                found.push_back(it->path());
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

void take(MachineCorpus& c, std::size_t budget, const fs::path& from, Bytes data) {
    std::size_t have = 0;
    for (const auto& f : c.files) have += f.data.size();
    if (data.empty() || have >= budget || data.size() > budget / 2) return;
    c.files.push_back(
        {c.kind + "_" + std::to_string(c.files.size()) + "_" + from.filename().string(),
         std::move(data)});
}

bool isText(const Bytes& b) {
    return std::none_of(b.begin(), b.end(), [](std::uint8_t x) { return x == 0; });
}

Bytes toCp932(const Bytes& utf8) {
    Bytes out;
    iconv_t cd = ::iconv_open("CP932//TRANSLIT", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) return out;
    out.resize(utf8.size() * 2 + 16);
    char* in = const_cast<char*>(reinterpret_cast<const char*>(utf8.data()));
    std::size_t inLeft = utf8.size();
    char* o = reinterpret_cast<char*>(out.data());
    std::size_t outLeft = out.size();
    while (inLeft > 0) {
        if (::iconv(cd, &in, &inLeft, &o, &outLeft) != static_cast<std::size_t>(-1)) break;
        if (errno != EILSEQ) break;
        ++in;  // a character without a CP932 form
        --inLeft;
    }
    ::iconv_close(cd);
    out.resize(out.size() - outLeft);
    return out;
}

}  // namespace

std::vector<MachineCorpus> machineCorpora(std::size_t budget) {
    std::vector<MachineCorpus> all{{"text", {}},    {"source", {}},   {"elf", {}},
                                   {"ja-utf8", {}}, {"ja-cp932", {}}, {"compressed", {}}};
    MachineCorpus &text = all[0], &source = all[1], &elf = all[2], &ja = all[3], &sjis = all[4],
                  &packed = all[5];
    for (const auto& p : filesUnder({"/usr/share/common-licenses", "/usr/share/doc"},
                                    [](const fs::path& p) { return p.extension() != ".gz"; })) {
        Bytes b = readWhole(p);
        if (isText(b)) take(text, budget, p, std::move(b));
    }
    for (const auto& p : filesUnder({"/usr/include/c++"}, [](const fs::path&) { return true; }))
        take(source, budget, p, readWhole(p));
    for (const auto& p : filesUnder({"/usr/bin"}, [](const fs::path&) { return true; })) {
        Bytes b = readWhole(p);
        if (b.size() > 4 && std::memcmp(b.data(),
                                        "\x7f"
                                        "ELF",
                                        4) == 0)
            take(elf, budget, p, std::move(b));
    }
    std::vector<Bytes> japanese;
    for (const char* p :
         {"/usr/share/vim/vim90/tutor/tutor.ja.utf-8", "/usr/share/gnupg/help.ja.txt"})
        japanese.push_back(readWhole(p));
    for (const auto& p : filesUnder({"/usr/share/man/ja"},
                                    [](const fs::path& p) { return p.extension() == ".gz"; }))
        japanese.push_back(commandOutput("zcat '" + p.string() + "'"));
    for (std::size_t i = 0; i < japanese.size(); ++i) {
        take(ja, budget, "ja" + std::to_string(i) + ".txt", japanese[i]);
        take(sjis, budget, "ja" + std::to_string(i) + ".txt", toCp932(japanese[i]));
    }
    for (const auto& p :
         filesUnder({"/usr/share/doc"}, [](const fs::path& p) { return p.extension() == ".gz"; }))
        take(packed, budget, p, readWhole(p));
    return all;
}
