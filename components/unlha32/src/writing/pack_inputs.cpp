#include "writing/pack_inputs.h"

#include <fcntl.h>
#include <stdlib.h>

#include "dozo/fileio/printable.h"

namespace unlha32 {

bool storedNameOf(const std::string& path, std::string& name) {
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
    name = trimmed.substr(trimmed.find_last_of('/') + 1);
    if (name.empty() || name == "." || name == "..") {
        // "." and ".." stand for a folder that has a name of its own.
        char* real = ::realpath(path.c_str(), nullptr);
        if (real == nullptr) return false;
        const std::string resolved = real;
        ::free(real);
        name = resolved.substr(resolved.find_last_of('/') + 1);
    }
    return !name.empty();
}

Unstorable unstorable(std::string_view name) {
    if (!dozo::fileio::isUtf8(name))
        return {"UTF-8でない名前は格納しません: ", UNLHA_CAUSE_NAME_NOT_UTF8};
    if (name.find('\\') != std::string_view::npos)
        return {"「\\」を含む名前は格納しません: ", UNLHA_CAUSE_NAME_BACKSLASH};
    return {};
}

Outcome sameFolder(int fd, FolderId expected, const std::string& path) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || FolderId{st.st_dev, st.st_ino} != expected)
        return failure(UNLHA_ERROR_INPUT, {UNLHA_CAUSE_FOLDER_REPLACED, path},
                       "格納中にフォルダーが置き換えられました: " + printable(path));
    return {};
}

Outcome openInput(const Input& input, dozo::fileio::Fd& fd, struct stat& st) {
    const std::string path = input.path();
    // A file found in a folder is read only if it is still no link, and
    // only from the folder it was found in: a folder on its path swapped
    // for a link since would have it read from elsewhere.
    const bool walked = input.info.name.size() > input.root->nameLength;
    if (walked) {
        const std::string folderPath = path.substr(0, path.find_last_of('/'));
        const dozo::fileio::Fd folder(
            ::open(folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (folder.get() < 0) {
            const int error = errno;
            return failure(
                UNLHA_ERROR_INPUT, {UNLHA_CAUSE_INPUT_OPEN, path, error},
                "ファイルを読めません: " + printable(path) + " (" + errorText(error) + ")");
        }
        if (Outcome o = sameFolder(folder.get(), input.folder, folderPath); o.failed()) return o;
        fd.reset(::openat(folder.get(), path.c_str() + folderPath.size() + 1,
                          O_RDONLY | O_NOCTTY | O_CLOEXEC | O_NOFOLLOW));
    } else {
        fd.reset(::open(path.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC));
    }
    if (fd.get() < 0) {
        const int error = errno;
        return failure(UNLHA_ERROR_INPUT, {UNLHA_CAUSE_INPUT_OPEN, path, error},
                       "ファイルを読めません: " + printable(path) + " (" + errorText(error) + ")");
    }
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return failure(UNLHA_ERROR_INPUT, {UNLHA_CAUSE_INPUT_NOT_FILE, path},
                       "通常のファイルではありません: " + printable(path));
    return {};
}

}  // namespace unlha32
