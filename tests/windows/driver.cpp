// Checks the Windows libraries the way a Windows program uses them: loaded by
// name, functions found by name and by ordinal, called with the system's
// calling convention and ANSI paths. Runs under Wine as well as on Windows.
// Prints one line per failed check and closes with "N passed, N failed".
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <random>
#include <set>
#include <span>
#include <stdexcept>
#include <string>

#include "loaded_vod32.h"
#include "reference.h"

namespace dozo::test {
namespace {

int passed = 0;
int failed = 0;

void expect(bool ok, const std::string& what) {
    if (ok) {
        ++passed;
    } else {
        ++failed;
        std::printf("FAIL %s\n", what.c_str());
    }
}

// Files through the ANSI functions, as the libraries' callers name them.
Bytes readBytes(const std::string& path) {
    Bytes bytes;
    const HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return bytes;
    unsigned char buffer[65536];
    DWORD got = 0;
    while (::ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0)
        bytes.insert(bytes.end(), buffer, buffer + got);
    ::CloseHandle(h);
    return bytes;
}

void writeBytes(const std::string& path, const Bytes& bytes) {
    const HANDLE h =
        ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD put = 0;
    const bool ok =
        h != INVALID_HANDLE_VALUE &&
        (bytes.empty() ||
         (::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr) &&
          put == bytes.size()));
    if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
    if (!ok) throw std::runtime_error("cannot write " + path);
}

bool fileExists(const std::string& path) {
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::set<std::string> namesIn(const std::string& dir) {
    std::set<std::string> names;
    WIN32_FIND_DATAA found;
    const HANDLE search = ::FindFirstFileA((dir + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        const std::string name = found.cFileName;
        if (name != "." && name != "..") names.insert(name);
    } while (::FindNextFileA(search, &found));
    ::FindClose(search);
    return names;
}

void removeTree(const std::string& dir) {
    for (const auto& name : namesIn(dir)) {
        const std::string path = dir + "\\" + name;
        const DWORD attributes = ::GetFileAttributesA(path.c_str());
        ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (attributes & FILE_ATTRIBUTE_DIRECTORY)
            removeTree(path);
        else
            ::DeleteFileA(path.c_str());
    }
    ::RemoveDirectoryA(dir.c_str());
}

// A fresh folder under the user's temporary folder, removed with its content.
class Folder {
public:
    explicit Folder(const std::string& name = "") {
        char base[MAX_PATH];
        ::GetTempPathA(MAX_PATH, base);
        static unsigned counter = 0;
        path_ = std::string(base) + "dozo-check-" + std::to_string(::GetCurrentProcessId()) + "-" +
                std::to_string(counter++) + name;
        if (!::CreateDirectoryA(path_.c_str(), nullptr))
            throw std::runtime_error("cannot create " + path_);
    }
    ~Folder() { removeTree(path_); }
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }
    // The path of name, alive as long as the folder, for the libraries' calls.
    const char* operator[](const std::string& name) {
        return paths_.try_emplace(name, *this / name).first->second.c_str();
    }
    bool holds(const std::set<std::string>& names) const { return namesIn(path_) == names; }

private:
    std::string path_;
    std::map<std::string, std::string> paths_;
};

Bytes randomData(std::size_t n, std::uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes bytes(n);
    for (auto& b : bytes) b = static_cast<unsigned char>(rng());
    return bytes;
}

// Calls fn with 32-bit arguments pushed right to left, as any Windows caller
// does, on a stack aligned to 4 bytes only (all that other compilers keep),
// and returns how many bytes of arguments fn removed: the calling convention
// as the machine sees it, whatever the compiler believes.
std::uint32_t argumentBytesRemoved(const void* fn, const std::uint32_t* args, std::uint32_t count,
                                   std::int32_t& result) {
    std::uint32_t left = count;
    asm volatile(
        "movl %%esp, %%eax\n\t"
        "andl $-16, %%esp\n\t"
        "subl $8, %%esp\n\t"
        "pushl %%eax\n\t"
        "movl %%esp, %%esi\n"
        "1:\n\t"
        "testl %%ecx, %%ecx\n\t"
        "jz 2f\n\t"
        "pushl -4(%%edi,%%ecx,4)\n\t"
        "decl %%ecx\n\t"
        "jmp 1b\n"
        "2:\n\t"
        "call *%%ebx\n\t"
        "movl %%esi, %%ecx\n\t"
        "subl %%esp, %%ecx\n\t"
        "movl (%%esi), %%esp\n\t"
        : "=a"(result), "+c"(left)
        : "b"(fn), "D"(args)
        : "esi", "edx", "memory", "cc");
    return count * 4 - left;
}

std::uint32_t arg(const void* p) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(p));
}

struct Export {
    const char* name;
    int ordinal;
    std::uint32_t argumentBytes;
};

constexpr Export kRozu32Exports[] = {
    {"RazuGetVersion", 1, 0},      {"FileEncryptionA", 2, 16},
    {"FileEncryptionC", 3, 16},    {"FileEncryptionLC", 4, 16},
    {"FileEncryptionLCR", 5, 16},  {"FileEncryptionLCB", 6, 16},
    {"FileEncryptionLCRB", 7, 16}, {"i_CLOL", 8, 16},
};
constexpr Export kVod32Exports[] = {
    {"VovGetVersion", 1, 0}, {"VovBCMKC", 2, 20}, {"VovBCMKCL", 3, 16}};

void checkExportTable(const char* dll, std::span<const Export> exports) {
    const HMODULE module = ::GetModuleHandleA(dll);
    expect(module != nullptr, std::string(dll) + " is loaded");
    for (const auto& e : exports) {
        const auto byName = ::GetProcAddress(module, e.name);
        const auto byOrdinal = ::GetProcAddress(module, MAKEINTRESOURCEA(e.ordinal));
        expect(byName != nullptr && byName == byOrdinal,
               std::string(dll) + " " + e.name + " at ordinal " + std::to_string(e.ordinal));
    }
    expect(::GetProcAddress(module, MAKEINTRESOURCEA(exports.size() + 1)) == nullptr,
           std::string(dll) + " exports nothing past ordinal " + std::to_string(exports.size()));
    // The names a compiler would give without the module definition file.
    const std::string decorated =
        std::string(exports[1].name) + "@" + std::to_string(exports[1].argumentBytes);
    expect(::GetProcAddress(module, decorated.c_str()) == nullptr &&
               ::GetProcAddress(module, ("_" + decorated).c_str()) == nullptr,
           std::string(dll) + " exports no decorated names");
}

void checkFileVersion(const char* dll, WORD major, WORD minor) {
    char path[MAX_PATH];
    ::GetModuleFileNameA(::GetModuleHandleA(dll), path, MAX_PATH);
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(path, &ignored);
    std::string info(size, '\0');
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    const bool ok =
        size > 0 && ::GetFileVersionInfoA(path, 0, size, info.data()) &&
        ::VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length) &&
        fixed != nullptr;
    expect(
        ok && HIWORD(fixed->dwFileVersionMS) == major && LOWORD(fixed->dwFileVersionMS) == minor,
        std::string(dll) + " file version " + std::to_string(major) + "." + std::to_string(minor));
}

// Every export, called again and again through the bare machine convention:
// a mismatch would leave the stack a few bytes off on every call. The version
// functions take no arguments; the others answer a missing source.
void checkCallingConvention() {
    Folder dir;
    const std::uint32_t args[] = {0xdeadbeef, arg(dir["missing"]), arg(dir["out"]),
                                  arg(dir["Temp.$$$"]), arg("key")};
    const std::uint32_t inPlace[] = {0xdeadbeef, arg(dir["missing"]), arg(dir["Temp.$$$"]),
                                     arg("key")};
    const auto check = [](const char* dll, const Export& e, const std::uint32_t* args,
                          std::int32_t answer) {
        const void* fn =
            reinterpret_cast<const void*>(::GetProcAddress(::GetModuleHandleA(dll), e.name));
        bool sameEveryTime = true;
        for (int i = 0; i < 200 && fn != nullptr; ++i) {
            std::int32_t result = -1;
            const std::uint32_t removed =
                argumentBytesRemoved(fn, args, e.argumentBytes / 4, result);
            sameEveryTime = sameEveryTime && removed == e.argumentBytes && result == answer;
        }
        expect(fn != nullptr && sameEveryTime,
               std::string(e.name) + " removes " + std::to_string(e.argumentBytes) +
                   " bytes of arguments and answers as expected, 200 times");
    };
    for (const auto& e : kRozu32Exports)
        check("Rozu32.dll", e, args, e.argumentBytes == 0 ? 111 : ROZU32_E_SOURCE);
    check("Vod32.dll", kVod32Exports[0], args, 101);
    check("Vod32.dll", kVod32Exports[1], args, VOD32_E_SOURCE);
    check("Vod32.dll", kVod32Exports[2], inPlace, VOD32_E_SOURCE);
    expect(dir.holds({}), "calls on a missing source create nothing");
}

constexpr std::size_t kBlock = std::size_t{1} << 20;

// Every method against the pass-by-pass reference, to a separate destination
// and in place, over lengths that meet the block edges.
void checkRozu32Bytes() {
    const std::size_t lengths[] = {0, 1, 2, 3, 4, 5, 255, 256, 4097, kBlock - 1, kBlock + 3};
    for (const auto& m : methods()) {
        std::uint32_t seed = 1;
        for (const std::size_t n : lengths) {
            if (n > 4097 && std::string(m.name) != "FileEncryptionLCR" &&
                std::string(m.name) != "FileEncryptionLC")
                continue;  // the block edges are the same for the other methods
            Folder dir;
            const Bytes source = randomData(n, seed++);
            writeBytes(dir / "in", source);
            writeBytes(dir / "Temp.$$$", Bytes{1, 2, 3});
            const std::string what = std::string(m.name) + " on " + std::to_string(n) + " bytes";
            expect(m.call(reinterpret_cast<void*>(0xdeadbeef), dir["in"], dir["out"],
                          dir["Temp.$$$"]) == ROZU32_OK &&
                       readBytes(dir / "out") == m.reference(source) &&
                       readBytes(dir / "in") == source && dir.holds({"in", "out"}),
                   what + " gives the reference bytes and cleans up");

            // In place, twice: the start again, but for the reversal pair swap
            // of odd lengths from 3, which turns the bytes round by one.
            const bool rotates = std::string(m.name) == "FileEncryptionLCR" && n % 2 == 1 && n >= 3;
            bool ok = true;
            for (int round = 0; round < 2; ++round)
                ok = ok && m.call(nullptr, dir["in"], dir["in"], dir["Temp.$$$"]) == ROZU32_OK;
            const Bytes twice = readBytes(dir / "in");
            expect(ok && twice == (rotates ? m.reference(m.reference(source)) : source) &&
                       (!rotates || twice != source),
                   what + (rotates ? ", twice in place, turns round by one"
                                   : ", twice in place, restores it"));
        }
    }
}

// The closed form of the key stream.
Bytes keyed(const Bytes& source, const std::string& key) {
    Bytes out(source);
    for (std::size_t n = 0; n < out.size(); ++n)
        out[n] ^= static_cast<unsigned char>(static_cast<unsigned char>(key[n % key.size()]) +
                                             57 * (n / key.size()));
    return out;
}

void checkVod32Bytes() {
    const auto& vod = vod32();
    expect(vod.version() == 101, "VovGetVersion is 101");
    const std::string keys[] = {"k", "\x8c\xae", std::string(255, '\xff'), "Dozo key"};
    const std::size_t lengths[] = {0, 1, 300, 70000, kBlock + 5};
    std::uint32_t seed = 100;
    for (const auto& key : keys) {
        for (const std::size_t n : lengths) {
            Folder dir;
            const Bytes source = randomData(n, seed++);
            writeBytes(dir / "in", source);
            const std::string what = "Vod32 with a " + std::to_string(key.size()) +
                                     "-byte key on " + std::to_string(n) + " bytes";
            expect(vod.encrypt(nullptr, dir["in"], dir["out"], dir["Temp.$$$"], key.c_str()) ==
                           VOD32_OK &&
                       readBytes(dir / "out") == keyed(source, key) && dir.holds({"in", "out"}),
                   what + " follows the key stream");
            expect(
                vod.encryptInPlace(nullptr, dir["out"], dir["Temp.$$$"], key.c_str()) == VOD32_OK &&
                    readBytes(dir / "out") == source,
                what + ", again in place, restores it");
        }
    }
}

// What a failing call leaves: a missing source creates nothing, a read-only
// destination keeps its bytes and its attribute, and no temporary is left.
void checkFailures() {
    const Bytes old = Bytes{'o', 'l', 'd'};
    for (const auto& m : methods()) {
        Folder dir;
        writeBytes(dir / "out", old);
        expect(m.call(nullptr, dir["missing"], dir["out"], dir["Temp.$$$"]) == ROZU32_E_SOURCE &&
                   dir.holds({"out"}) && readBytes(dir / "out") == old,
               std::string(m.name) + " on a missing source answers 1 and creates nothing");

        writeBytes(dir / "in", Bytes{1, 2, 3, 4});
        ::SetFileAttributesA(dir["out"], FILE_ATTRIBUTE_READONLY);
        expect(m.call(nullptr, dir["in"], dir["out"], dir["Temp.$$$"]) ==
                       ROZU32_E_DESTINATION_READ_ONLY &&
                   readBytes(dir / "out") == old &&
                   (::GetFileAttributesA(dir["out"]) & FILE_ATTRIBUTE_READONLY) &&
                   dir.holds({"in", "out"}),
               std::string(m.name) + " leaves a read-only destination untouched");
    }

    {
        // The work path may name another file of the call only when that file
        // does not exist yet: the user's file is never the scratch file, and a
        // result renamed to the work file's name is not removed with it.
        Folder dir;
        const Bytes source = Bytes{'a', 'b', 'c'};
        writeBytes(dir / "in", source);
        const auto& m = method("FileEncryptionC");
        expect(m.call(nullptr, dir["in"], dir["in"], dir["in"]) == ROZU32_E_WORK_FILE &&
                   readBytes(dir / "in") == source,
               "a work path naming the source is refused and the source kept");
        expect(m.call(nullptr, dir["in"], dir["out"], dir["out"]) == ROZU32_OK &&
                   readBytes(dir / "out") == m.reference(source) && dir.holds({"in", "out"}),
               "a work path naming the new destination keeps the result");
        expect(m.call(nullptr, dir["in"], dir["none\\out"], dir["Temp.$$$"]) == ROZU32_E_REPLACE &&
                   dir.holds({"in", "out"}),
               "a destination in a missing folder answers 6 and leaves nothing");
    }

    {
        // A destination another program holds open without sharing deletion
        // cannot be swapped: the call says so, and the result written beside
        // it goes.
        Folder dir;
        writeBytes(dir / "in", Bytes{1, 2, 3, 4});
        writeBytes(dir / "out", old);
        const HANDLE held = ::CreateFileA(dir["out"], GENERIC_READ, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, 0, nullptr);
        const int32_t result =
            method("FileEncryptionA").call(nullptr, dir["in"], dir["out"], dir["Temp.$$$"]);
        ::CloseHandle(held);
        expect(held != INVALID_HANDLE_VALUE && result == ROZU32_E_REPLACE &&
                   readBytes(dir / "out") == old && dir.holds({"in", "out"}),
               "a destination held open elsewhere answers 6 and is kept, with no temporary left "
               "(answered " +
                   std::to_string(result) + ")");
    }

    const auto& vod = vod32();
    Folder dir;
    writeBytes(dir / "out", old);
    expect(vod.encrypt(nullptr, dir["missing"], dir["out"], dir["Temp.$$$"], "key") ==
                   VOD32_E_SOURCE &&
               dir.holds({"out"}),
           "VovBCMKC on a missing source answers 1 and creates nothing");
    writeBytes(dir / "in", Bytes{1, 2, 3, 4});
    expect(vod.encrypt(nullptr, dir["in"], dir["out"], dir["Temp.$$$"],
                       std::string(256, 'k').c_str()) == VOD32_E_KEY_TOO_LONG &&
               readBytes(dir / "out") == old && fileExists(dir / "Temp.$$$") &&
               readBytes(dir / "Temp.$$$").empty(),
           "VovBCMKC with a 256-byte key answers 3 and leaves an empty work file");
    ::DeleteFileA(dir["Temp.$$$"]);
    ::SetFileAttributesA(dir["out"], FILE_ATTRIBUTE_READONLY);
    expect(vod.encrypt(nullptr, dir["in"], dir["out"], dir["Temp.$$$"], "key") ==
                   VOD32_E_DESTINATION_READ_ONLY &&
               readBytes(dir / "out") == old && dir.holds({"in", "out"}),
           "VovBCMKC leaves a read-only destination untouched");
    ::SetFileAttributesA(dir["out"], FILE_ATTRIBUTE_HIDDEN);
    expect(vod.encrypt(nullptr, dir["in"], dir["out"], dir["Temp.$$$"], "key") == VOD32_OK &&
               (::GetFileAttributesA(dir["out"]) & FILE_ATTRIBUTE_HIDDEN),
           "a replaced destination keeps its hidden attribute");
}

// Paths in code page 932, with 0x5C (the backslash) as the second byte of a
// double-byte character in both the folder and the file name.
void checkJapaneseNames() {
    if (::GetACP() != 932) {
        expect(false, "the ANSI code page is 932 (it is " + std::to_string(::GetACP()) + ")");
        return;
    }
    const std::string folderName = "\x83\x5c\x95\x5c";                    // ソ表
    const std::string fileName = "\x93\xfa\x96\x7b\x8c\xea\x95\x5c.bin";  // 日本語表.bin
    Folder dir(folderName);
    const std::string file = dir / fileName, work = dir / "\x8d\xec\x8b\xc6.$$$";  // 作業.$$$
    const Bytes source = randomData(1000, 7);
    writeBytes(file, source);
    const auto& m = method("FileEncryptionLCR");
    expect(m.call(nullptr, file.c_str(), file.c_str(), work.c_str()) == ROZU32_OK &&
               readBytes(file) == m.reference(source) && dir.holds({fileName}),
           "FileEncryptionLCR in place on a Japanese file name");
    expect(vod32().encryptInPlace(nullptr, file.c_str(), work.c_str(), "\x8c\xae") == VOD32_OK &&
               readBytes(file) == keyed(m.reference(source), "\x8c\xae") && dir.holds({fileName}),
           "VovBCMKCL in place on a Japanese file name with a Japanese key");
    // The name on disk is the one the code page gives, not its bytes read
    // some other way.
    wchar_t wide[MAX_PATH];
    ::MultiByteToWideChar(932, 0, file.c_str(), -1, wide, MAX_PATH);
    const std::wstring tail = std::wstring(L"\u30bd\u8868\\\u65e5\u672c\u8a9e\u8868.bin");
    const std::wstring full = wide;
    expect(full.size() > tail.size() &&
               full.compare(full.size() - tail.size(), tail.size(), tail) == 0 &&
               ::GetFileAttributesW(wide) != INVALID_FILE_ATTRIBUTES,
           "the Japanese name is stored as its characters");
}

}  // namespace
}  // namespace dozo::test

int main() {
    using namespace dozo::test;
    try {
        expect(rozu32().get<decltype(RazuGetVersion)>("RazuGetVersion")() == 111,
               "RazuGetVersion is 111");
        (void)vod32();
        checkExportTable("Rozu32.dll", kRozu32Exports);
        checkExportTable("Vod32.dll", kVod32Exports);
        checkFileVersion("Rozu32.dll", 1, 11);
        checkFileVersion("Vod32.dll", 1, 1);
        checkCallingConvention();
        checkRozu32Bytes();
        checkVod32Bytes();
        checkFailures();
        checkJapaneseNames();
    } catch (const std::exception& e) {
        expect(false, std::string("unexpected exception: ") + e.what());
    }
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
