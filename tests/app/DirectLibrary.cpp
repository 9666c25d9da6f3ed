#include "DirectLibrary.h"

#include "PanelTestWindow.h"

#include <dozo/contracts/rozu32.h>
#include <dozo/contracts/vod32.h>

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <QFile>
#include <QTemporaryDir>
#include <functional>

DirectLibrary::DirectLibrary(const QString& name) {
    const QString path = TestFolders::builtLibrary(name);
    if (path.isEmpty()) return;
    m_handle = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
    EXPECT_NE(m_handle, nullptr) << dlerror();
}

DirectLibrary::~DirectLibrary() {
    if (m_handle) dlclose(m_handle);
}

void* DirectLibrary::symbol(const char* name) const {
    return m_handle ? dlsym(m_handle, name) : nullptr;
}

namespace {

QByteArray throughScratchFile(const QByteArray& content,
                              const std::function<int(const char*, const char*)>& call) {
    QTemporaryDir scratch;
    const QByteArray file = QFile::encodeName(scratch.filePath(QStringLiteral("file")));
    const QByteArray work = QFile::encodeName(scratch.filePath(QStringLiteral("work")));
    QFile out(QString::fromLocal8Bit(file));
    EXPECT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(content);
    out.close();
    EXPECT_EQ(call(file.constData(), work.constData()), 0);
    return PanelTestWindow::readFile(QString::fromLocal8Bit(file));
}

}  // namespace

QByteArray DirectLibrary::transform(const char* method, const QByteArray& content) const {
    auto* fn = reinterpret_cast<FileEncryptionFn*>(symbol(method));
    EXPECT_NE(fn, nullptr) << method;
    if (!fn) return {};
    return throughScratchFile(content, [fn](const char* file, const char* work) {
        return fn(nullptr, file, file, work);
    });
}

QByteArray DirectLibrary::keyed(const QByteArray& key, const QByteArray& content) const {
    auto* fn = reinterpret_cast<VovBCMKCFn*>(symbol("VovBCMKC"));
    EXPECT_NE(fn, nullptr);
    if (!fn) return {};
    return throughScratchFile(content, [fn, &key](const char* file, const char* work) {
        return fn(nullptr, file, file, work, key.constData());
    });
}
