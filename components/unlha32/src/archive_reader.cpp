#include "archive_reader.h"

#include <archive.h>
#include <archive_entry.h>
#include <sys/stat.h>

#include <cstring>

namespace unlha32 {

ArchiveReader::ArchiveReader() {
    utf8_ = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    if (utf8_ != static_cast<locale_t>(0)) previous_ = ::uselocale(utf8_);
}

ArchiveReader::~ArchiveReader() {
    if (archive_ != nullptr) archive_read_free(archive_);
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

bool ArchiveReader::openFile(const char* path, std::string& reason) {
    struct stat st {};
    if (::stat(path, &st) != 0) {
        reason = std::string("書庫を開けません: ") + path + " (" + std::strerror(errno) + ")";
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        reason = std::string("書庫がファイルではありません: ") + path;
        return false;
    }
    if (!prepare(reason)) return false;
    if (archive_read_open_filename(archive_, path, 64 * 1024) != ARCHIVE_OK) {
        reason = std::string("LHA書庫ではありません: ") + path + " (" + error() + ")";
        return false;
    }
    return true;
}

bool ArchiveReader::openMemory(const void* data, std::size_t size, std::string& reason) {
    if (!prepare(reason)) return false;
    if (archive_read_open_memory(archive_, data, size) != ARCHIVE_OK) {
        reason = "LHA書庫ではありません (" + error() + ")";
        return false;
    }
    return true;
}

int ArchiveReader::next(archive_entry*& entry) {
    return archive_read_next_header(archive_, &entry);
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
    const char* text = archive_ != nullptr ? archive_error_string(archive_) : nullptr;
    return text != nullptr ? text : "原因不明";
}

}  // namespace unlha32
