#include "reading/archive_reader.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "command/outcome.h"
#include "dozo/fileio/io.h"

namespace unlha32 {
namespace {

constexpr std::size_t kBlock = 64 * 1024;

}  // namespace

ArchiveReader::ArchiveReader() {
    utf8_ = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    if (utf8_ != static_cast<locale_t>(0)) previous_ = ::uselocale(utf8_);
}

ArchiveReader::~ArchiveReader() {
    if (archive_ != nullptr) archive_read_free(archive_);
    delete[] block_;
    if (utf8_ != static_cast<locale_t>(0)) {
        ::uselocale(previous_);
        ::freelocale(utf8_);
    }
}

bool ArchiveReader::prepare(std::string& reason) {
    archive_ = archive_read_new();
    if (archive_ == nullptr) {
        reason = "メモリが足りません";
        return false;
    }
    archive_read_support_format_lha(archive_);
    if (archive_read_set_format_option(archive_, "lha", "hdrcharset", "CP932") != ARCHIVE_OK) {
        reason = std::string("文字コード変換を準備できません: ") + error();
        return false;
    }
    return true;
}

long ArchiveReader::readCallback(archive* a, void* self, const void** buffer) {
    auto* reader = static_cast<ArchiveReader*>(self);
    *buffer = reader->block_;
    const off_t from = reader->names_.empty() ? 0 : ::lseek(reader->fd_.get(), 0, SEEK_CUR);
    const ssize_t n = dozo::fileio::readFully(reader->fd_.get(), reader->block_, kBlock);
    if (n > 0 && from >= 0 && !reader->names_.empty())
        reader->names_.patch(from, reinterpret_cast<unsigned char*>(reader->block_),
                             static_cast<std::size_t>(n));
    if (n >= 0) return n;
    if (reader->readError_ == 0) reader->readError_ = errno;
    archive_set_error(a, errno, "書庫を読めません");
    return -1;
}

std::int64_t ArchiveReader::skipCallback(archive* a, void* self, std::int64_t request) {
    auto* reader = static_cast<ArchiveReader*>(self);
    const off_t from = ::lseek(reader->fd_.get(), 0, SEEK_CUR);
    if (from < 0) return 0;  // libarchive then reads its way forward
    struct stat st {};
    if (::fstat(reader->fd_.get(), &st) != 0) {
        if (reader->readError_ == 0) reader->readError_ = errno;
        archive_set_error(a, errno, "書庫を読めません");
        return -1;
    }
    // Never past the end: what is missing there must show as a truncation.
    const std::int64_t step =
        std::min<std::int64_t>(request, std::max<off_t>(0, st.st_size - from));
    if (::lseek(reader->fd_.get(), static_cast<off_t>(step), SEEK_CUR) < 0) return 0;
    return step;
}

bool ArchiveReader::openFile(const char* path, std::string& reason) {
    // Non-blocking only for the open itself: a FIFO must not wait for a writer.
    fd_.reset(::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd_.get() < 0) {
        openResult_ = OpenResult::cannotOpen;
        openError_ = errno;
        reason =
            std::string("書庫を開けません: ") + printable(path) + " (" + std::strerror(errno) + ")";
        return false;
    }
    struct stat st {};
    if (::fstat(fd_.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        openResult_ = OpenResult::notArchive;
        reason = std::string("書庫がファイルではありません: ") + printable(path);
        return false;
    }
    ::fcntl(fd_.get(), F_SETFL, ::fcntl(fd_.get(), F_GETFL) & ~O_NONBLOCK);
    openResult_ = OpenResult::notArchive;
    if (!prepare(reason)) return false;
    // A read error here is the first next()'s, as one of libarchive's reads.
    if (!names_.scan(fd_.get())) readError_ = errno;
    block_ = new char[kBlock];
    if (archive_read_open2(archive_, this, nullptr, &ArchiveReader::readCallback,
                           &ArchiveReader::skipCallback, nullptr) != ARCHIVE_OK) {
        reason = std::string("LHA書庫ではありません: ") + printable(path) + " (" + error() + ")";
        return false;
    }
    openResult_ = OpenResult::opened;
    return true;
}

bool ArchiveReader::openMemory(const void* data, std::size_t size, std::string& reason) {
    if (!prepare(reason)) return false;
    names_.scan(static_cast<const unsigned char*>(data), size);
    if (!names_.empty()) {
        const auto* bytes = static_cast<const unsigned char*>(data);
        patched_.assign(bytes, bytes + size);
        names_.patch(0, patched_.data(), patched_.size());
        data = patched_.data();
    }
    memory_ = data;
    memorySize_ = size;
    if (archive_read_open_memory(archive_, data, size) != ARCHIVE_OK) {
        reason = "LHA書庫ではありません (" + error() + ")";
        return false;
    }
    return true;
}

int ArchiveReader::next(archive_entry*& entry) {
    const int r = archive_read_next_header(archive_, &entry);
    // libarchive ends an archive at a zero byte, and equally where the file
    // ends; only the first is the end an archiver wrote.
    if (r == ARCHIVE_EOF && readError_ == 0) {
        const int follows = byteFollows();
        cutShort_ = follows == 0;
        if (follows == 1) return r;
    }
    if (readError_ != 0 || cutShort_) {
        entry = nullptr;
        return ARCHIVE_FATAL;
    }
    if (r == ARCHIVE_OK || r == ARCHIVE_WARN) {
        if (const std::string* stored = names_.nameAt(headerOffset())) {
            // A link's target follows its name after '|'.
            const std::size_t end =
                archive_entry_symlink(entry) != nullptr ? stored->find('|') : std::string::npos;
            archive_entry_copy_pathname(entry, stored->substr(0, end).c_str());
        }
    }
    // libarchive takes a 64-bit size extension as it finds it: a negative size
    // is a damaged header, not a file too large for the disk.
    if ((r == ARCHIVE_OK || r == ARCHIVE_WARN) && archive_entry_size_is_set(entry) != 0 &&
        archive_entry_size(entry) < 0) {
        const char* name = archive_entry_pathname_utf8(entry);
        if (name == nullptr) name = archive_entry_pathname(entry);
        const std::string why = "大きさが負の値です (" + std::to_string(archive_entry_size(entry)) +
                                "バイト): " + printable(name != nullptr ? name : "");
        archive_set_error(archive_, EINVAL, "%s", why.c_str());
        return ARCHIVE_FAILED;
    }
    return r;
}

int ArchiveReader::byteFollows() {
    // Without a compression filter the position is the file's own offset.
    const la_int64_t at = archive_filter_bytes(archive_, 0);
    if (at < 0) return -1;
    if (memory_ != nullptr) return static_cast<std::size_t>(at) < memorySize_ ? 1 : 0;
    char byte = 0;
    const ssize_t n = dozo::fileio::readFully(fd_.get(), &byte, 1, static_cast<off_t>(at));
    if (n >= 0) return n == 1 ? 1 : 0;
    readError_ = errno;
    return -1;
}

long ArchiveReader::readData(void* buffer, std::size_t size) {
    const la_ssize_t n = archive_read_data(archive_, buffer, size);
    return readError_ != 0 ? ARCHIVE_FATAL : n;
}

int ArchiveReader::skipData() {
    const int r = archive_read_data_skip(archive_);
    return readError_ != 0 ? ARCHIVE_FATAL : r;
}

std::int64_t ArchiveReader::headerOffset() const {
    return archive_read_header_position(archive_);
}

std::string ArchiveReader::method() const {
    // libarchive names the format after the current entry's method: "lha -lh5-".
    const char* name = archive_format_name(archive_);
    if (name == nullptr) return {};
    const char* dash = std::strchr(name, '-');
    if (dash == nullptr || std::strlen(dash) < 5 || dash[4] != '-') return {};
    return std::string(dash + 1, 3);
}

std::string ArchiveReader::error() const {
    if (cutShort_) return "書庫が終わりの印なしで終わっています (途中で切れていませんか?)";
    if (readError_ != 0) return std::string("読み込みエラー: ") + std::strerror(readError_);
    const char* text = archive_ != nullptr ? archive_error_string(archive_) : nullptr;
    return text != nullptr ? text : "原因不明";
}

}  // namespace unlha32
