// Binding by name: which file is loaded, and what a broken one does.
#include "TestFolders.h"

#include <dozo/contracts/rozu32.h>
#include <dozo/contracts/vod32.h>
#include "core/libraries/Library.h"
#include "core/libraries/LibraryBinding.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>

namespace {

using Place = TestFolders::Place;
using Variant = TestFolders::Variant;

QStringList searchOrder(const TestFolders& f) {
    return {f.applicationDir(), f.systemDir()};
}

TEST(CoreLibrary, ApplicationDirectoryComesBeforeSystemDirectory) {
    TestFolders f;
    f.install("Rozu32", Variant::Good, Place::System);
    f.install("Rozu32", Variant::Good, Place::Application);
    dozo::Library lib("Rozu32", searchOrder(f));
    EXPECT_FALSE(lib.isLoaded()) << "nothing is loaded before the first call";
    ASSERT_NE(lib.function<RazuGetVersionFn>("RazuGetVersion"), nullptr);
    EXPECT_EQ(lib.loadedPath(), QDir(f.applicationDir()).filePath("libRozu32.so"));
}

// Start-up judges the archiver by the system directory alone; the one it
// judged is the one used.
TEST(CoreLibrary, TheArchiverBesideTheProgramIsIgnored) {
    TestFolders f;
    f.install("unlha32", Variant::Good, Place::System);
    f.install("unlha32", Variant::Good, Place::Application);
    f.install("Rozu32", Variant::Good, Place::Application);
    dozo::LibraryBinding binding(f.dirs());
    ASSERT_NE(binding.unlha32().symbol("UnlhaGetVersion"), nullptr);
    EXPECT_EQ(binding.unlha32().loadedPath(), QDir(f.systemDir()).filePath("libunlha32.so"));
    ASSERT_NE(binding.rozu32().symbol("RazuGetVersion"), nullptr);
    EXPECT_EQ(binding.rozu32().loadedPath(), QDir(f.applicationDir()).filePath("libRozu32.so"));
}

TEST(CoreLibrary, SystemDirectoryWhenTheApplicationDirectoryHasNone) {
    TestFolders f;
    f.install("Vod32", Variant::Good, Place::System);
    dozo::Library lib("Vod32", searchOrder(f));
    auto* version = lib.function<VovGetVersionFn>("VovGetVersion");
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version(), 101);
    EXPECT_EQ(lib.loadedPath(), QDir(f.systemDir()).filePath("libVod32.so"));
}

// In neither of our folders a library is missing with a reason naming it:
// one no test loads (libraries stay mapped, and the loader's own search
// answers a bare name with one already mapped under that name), and
// libsodium.so, which the dynamic loader finds by its bare name on any
// machine that builds us, as it would a librivo.so in the current folder
// with an empty entry in LD_LIBRARY_PATH.
TEST(CoreLibrary, WhatIsInNeitherFolderIsMissingWithAReason) {
    TestFolders f;
    for (const auto& [name, symbol] :
         {std::pair{"DozoNoSuchLibrary", "RazuGetVersion"}, std::pair{"sodium", "sodium_init"}}) {
        SCOPED_TRACE(name);
        dozo::Library lib(name, searchOrder(f));
        testing::internal::CaptureStderr();
        EXPECT_EQ(lib.symbol(symbol), nullptr);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "the core never prints";
        EXPECT_TRUE(lib.errorText().contains("lib" + QString::fromLatin1(name) + ".so"))
            << lib.errorText().toStdString();
        EXPECT_FALSE(lib.isLoaded());
        EXPECT_TRUE(lib.isMissing());
    }
    // A relative folder names the current one, whatever that is at the time.
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(QStringLiteral("/usr/lib/x86_64-linux-gnu")));
    for (const QString& folder :
         {QString(), QStringLiteral("."), QStringLiteral("../x86_64-linux-gnu")}) {
        dozo::Library relative("sodium", {folder});
        EXPECT_EQ(relative.symbol("sodium_init"), nullptr) << folder.toStdString();
    }
    QDir::setCurrent(before);
}

TEST(CoreLibrary, AMissingExportFailsOnlyThatLookup) {
    TestFolders f;
    f.install("Rozu32", Variant::Good, Place::System);
    dozo::Library lib("Rozu32", searchOrder(f));
    EXPECT_EQ(lib.symbol("FileEncryptionA"), nullptr);
    EXPECT_TRUE(lib.errorText().contains("FileEncryptionA")) << lib.errorText().toStdString();
    EXPECT_NE(lib.symbol("RazuGetVersion"), nullptr);
}

TEST(CoreLibrary, AFileThatIsNotALibraryIsRefusedWithoutFallingThrough) {
    TestFolders f;
    f.install("Rozu32", Variant::NotElf, Place::Application);
    f.install("Rozu32", Variant::Good, Place::System);
    dozo::Library lib("Rozu32", searchOrder(f));
    EXPECT_EQ(lib.symbol("RazuGetVersion"), nullptr);
    EXPECT_TRUE(lib.errorText().contains(QDir(f.applicationDir()).filePath("libRozu32.so")))
        << lib.errorText().toStdString();
    EXPECT_FALSE(lib.isMissing()) << "there, but no library";
}

// A library cut short (a copy or an install that stopped midway) is refused
// with a reason before the loader maps it: mapped, its missing part would kill
// the program with SIGBUS on the first touch. What lies beyond its loadable
// parts (the section table) is not needed, so a cut there still loads.
TEST(CoreLibrary, ALibraryCutShortIsRefusedWithAReasonNotACrash) {
    const struct {
        const char* what;
        qint64 (*keep)(qint64 size);
        bool loads;
    } cuts[] = {
        {"its headers only", [](qint64) -> qint64 { return 1000; }, false},
        {"cut before its last parts", [](qint64) -> qint64 { return 8000; }, false},
        {"all but its last byte", [](qint64 size) { return size - 1; }, true},
    };
    for (const auto& cut : cuts) {
        SCOPED_TRACE(cut.what);
        TestFolders f;
        f.install("Rozu32", Variant::Good, Place::System);
        QFile file(QDir(f.systemDir()).filePath("libRozu32.so"));
        ASSERT_TRUE(file.resize(cut.keep(file.size())));
        dozo::Library lib("Rozu32", searchOrder(f));
        auto* version = lib.function<RazuGetVersionFn>("RazuGetVersion");
        const std::string err = lib.errorText().toStdString();
        if (cut.loads) {
            ASSERT_NE(version, nullptr) << err;
            EXPECT_EQ(version(), 111);
            continue;
        }
        EXPECT_EQ(version, nullptr);
        EXPECT_FALSE(lib.isLoaded());
        EXPECT_NE(err.find("途中で切れています"), std::string::npos) << err;
        EXPECT_NE(err.find(file.fileName().toStdString()), std::string::npos) << err;
    }
}

}  // namespace
