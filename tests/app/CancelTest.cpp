// Progress and cancel on the real window: a batch of in-place rewrites, a
// pack and an unpack stop between files when Escape is pressed or the
// panel's cancel button is clicked during the run, every file is left whole,
// and the closing message says what was done and what was not.
#include "Controls.h"
#include "PanelTestWindow.h"
#include "RealLibraryWindow.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QThread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <optional>

namespace {

using Answer = dozo::UiServices::Answer;
using Icon = dozo::UiServices::Icon;

enum class Trigger { Escape, Button };

// Presses Escape on the window, or clicks `button`, which must be showing.
void cancelBy(Trigger trigger, QWidget* window, QPushButton* button, bool* buttonShown) {
    if (trigger == Trigger::Escape) {
        QTest::keyClick(window, Qt::Key_Escape);
        return;
    }
    *buttonShown = button->isVisible() && button->isEnabled();
    QTest::mouseClick(button, Qt::LeftButton);
}

// Waits until some process waits for a lock on `path` (the kernel lists
// waiters in /proc/locks with "->"); false after a few seconds.
bool someoneWaitsFor(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return false;
    const QByteArray inode = ":" + QByteArray::number(static_cast<qulonglong>(st.st_ino)) + " ";
    for (int i = 0; i < 500; ++i) {
        QFile locks(QStringLiteral("/proc/locks"));
        if (!locks.open(QIODevice::ReadOnly)) return false;
        for (const QByteArray& line : locks.readAll().split('\n')) {
            if (line.contains("->") && line.contains(inode)) return true;
        }
        QThread::msleep(10);
    }
    return false;
}

struct InPlaceCase {
    const char* name;
    int tab;
    const char* list;
    const char* run;
    const char* bar;
    const char* cancel;
    Trigger trigger;
};

class AppCancelInPlace : public testing::TestWithParam<InPlaceCase> {};

// The worker is held inside the third file by a lock the test owns (the
// library waits for it), and the cancel comes once it waits there, so it
// lands while that file is under way:
// it finishes whole, the two before it stay done, the rest are not started.
TEST_P(AppCancelInPlace, StopsBetweenFilesAndSaysWhatWasNotDone) {
    const InPlaceCase& c = GetParam();
    PanelTestWindow app;
    if (!app.missingLibrary().isEmpty()) GTEST_SKIP() << app.missingLibrary().toStdString();
    app.showTab(c.tab);
    QWidget& window = app.window();
    constexpr int kFiles = 6;
    constexpr int kHeld = 2;
    QStringList paths;
    QList<QByteArray> originals;
    for (int i = 0; i < kFiles; ++i) {
        originals.append(sampleBytes(5000 + i, i));
        paths.append(app.writeFile(QStringLiteral("f%1.bin").arg(i), originals.last()));
    }
    auto* list = control<QListWidget>(window, QLatin1String(c.list));
    auto* bar = control<QProgressBar>(window, QLatin1String(c.bar));
    auto* cancel = control<QPushButton>(window, QLatin1String(c.cancel));
    ASSERT_TRUE(list && bar && cancel);
    list->addItems(paths);
    EXPECT_FALSE(cancel->isVisible()) << "the button shows during a run only";

    const int held = ::open(QFile::encodeName(paths[kHeld]).constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    bool buttonShown = false;
    int cancelledAt = -1;
    QObject::connect(bar, &QProgressBar::valueChanged, bar, [&](int value) {
        if (value != kHeld || cancelledAt >= 0) return;
        cancelledAt = value;
        EXPECT_TRUE(someoneWaitsFor(paths[kHeld]));
        cancelBy(c.trigger, &window, cancel, &buttonShown);
        ::close(held);  // the file under way may now finish
    });
    QString message;
    app.onMessage([&](const QString& text) { message = text; });
    app.ui().answerMessage(Answer::Ok);
    app.tick();
    QTest::mouseClick(control<QPushButton>(window, QLatin1String(c.run)), Qt::LeftButton);

    EXPECT_EQ(cancelledAt, kHeld);
    if (c.trigger == Trigger::Button) {
        EXPECT_TRUE(buttonShown);
    }
    for (int i = 0; i < kFiles; ++i) {
        const QByteArray now = PanelTestWindow::readFile(paths[i]);
        EXPECT_EQ(now.size(), originals[i].size()) << i;
        if (i <= kHeld) {
            EXPECT_NE(now, originals[i]) << i << " was under way or before: done";
        } else {
            EXPECT_EQ(now, originals[i]) << i << " came after the cancel: untouched";
        }
    }
    EXPECT_TRUE(
        message.startsWith(QStringLiteral("処理を中止しました。6 個のファイルのうち 3 "
                                          "個を処理し、3 個は処理していません。")))
        << message.toStdString();
    for (int i = kHeld + 1; i < kFiles; ++i) EXPECT_TRUE(message.contains(paths[i]));
    EXPECT_FALSE(message.contains(paths[0]));
    EXPECT_EQ(bar->value(), 0);
    EXPECT_FALSE(cancel->isVisible());

    // What was done left the list (which entries stay is core's rule).
    EXPECT_EQ(entries(list), paths.mid(kHeld + 1));
    EXPECT_TRUE(message.contains(QStringLiteral("一覧に残った 3 個の項目")))
        << message.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Panels, AppCancelInPlace,
                         testing::Values(InPlaceCase{"TransformEscape", 2, "IFN", "cmdEnc", "Prg1",
                                                     "cmdCancel", Trigger::Escape},
                                         InPlaceCase{"TransformButton", 2, "IFN", "cmdEnc", "Prg1",
                                                     "cmdCancel", Trigger::Button},
                                         InPlaceCase{"KeyedButton", 3, "lstVov", "cmdVovEnc",
                                                     "VovPrg", "VovCancel", Trigger::Button}),
                         [](const testing::TestParamInfo<InPlaceCase>& test) {
                             return std::string(test.param.name);
                         });

class ArchiveRun : public testing::Test {
protected:
    void SetUp() override {
        if (!env.ready()) GTEST_SKIP() << env.reason().toStdString();
        env.window().SSTab1()->setCurrentIndex(1);
        ArcPrg = control<QProgressBar>(env.window(), "ArcPrg");
        ArcCancel = control<QPushButton>(env.window(), "ArcCancel");
        ASSERT_TRUE(ArcPrg && ArcCancel);
    }

    // `count` files of `size` bytes that do not compress, named so that the
    // folder's sorted listing is their order.
    QStringList makeFiles(const QString& folder, int count, int size) {
        QList<QPair<QString, QByteArray>> files;
        for (int i = 0; i < count; ++i) {
            files.append({QStringLiteral("f%1").arg(i, 3, 10, QChar('0')), sampleBytes(size, i)});
        }
        return env.makeFiles(folder, files);
    }

    // Follows the bar; with a trigger, cancels once the bar has moved past
    // 0, the first entry done.
    void follow(std::optional<Trigger> trigger) {
        QObject::connect(ArcPrg, &QProgressBar::valueChanged, ArcPrg, [this, trigger](int value) {
            maximum = std::max(maximum, ArcPrg->maximum());
            highest = std::max(highest, value);
            if (!trigger || value <= 0 || cancelled) return;
            cancelled = true;
            cancelBy(*trigger, &env.window(), ArcCancel, &buttonShown);
        });
    }

    void expectCancelled(Trigger trigger) {
        EXPECT_TRUE(cancelled);
        if (trigger == Trigger::Button) {
            EXPECT_TRUE(buttonShown);
        }
        EXPECT_EQ(ArcPrg->value(), 0);
        EXPECT_FALSE(ArcCancel->isVisible());
    }

    RealLibraryWindow env;
    QProgressBar* ArcPrg = nullptr;
    QPushButton* ArcCancel = nullptr;
    bool cancelled = false;
    bool buttonShown = false;
    int maximum = 0;
    int highest = 0;
};

// The bar counts the bytes of the files: up to the whole of them by the end
// of a pack and of an unpack, and back to 0 after the message.
TEST_F(ArchiveRun, TheBarReachesTheBytesPackedAndUnpacked) {
    const QStringList files = makeFiles("in", 5, 3000);
    const QString archive = env.scratch("p.lzh");
    QDir().mkpath(env.scratch("out"));
    follow(std::nullopt);
    for (const bool packing : {true, false}) {
        SCOPED_TRACE(packing ? "pack" : "unpack");
        maximum = highest = 0;
        ArcPrg->setMaximum(1);  // so that each run's own maximum shows
        const auto shown =
            packing ? env.pack(files, archive) : env.unpack(archive, env.scratch("out"));
        ASSERT_EQ(shown.text, packing ? kPacked : kUnpacked);
        EXPECT_EQ(maximum, 5 * 3000);
        EXPECT_EQ(highest, 5 * 3000);
        EXPECT_EQ(ArcPrg->value(), 0);
    }
}

class AppCancelArchive : public ArchiveRun, public testing::WithParamInterface<Trigger> {};

TEST_P(AppCancelArchive, ACancelledPackLeavesTheArchiveAsItWas) {
    const QString archive = env.scratch("kept.lzh");
    ASSERT_EQ(env.pack(makeFiles("first", 2, 1000), archive).text, kPacked);
    const QByteArray before = RealLibraryWindow::readAll(archive);

    // Hard to compress, so that the run outlasts the window's answer.
    const QStringList many = makeFiles("many", 24, 128 * 1024);
    follow(GetParam());
    const auto shown = env.pack(many, archive);

    expectCancelled(GetParam());
    EXPECT_EQ(entries(control<QListWidget>(env.window(), "FL")), many)
        << "a stopped pack packed nothing: its list stays whole";
    EXPECT_EQ(maximum, 24 * 128 * 1024) << "the bar counts the bytes to pack";
    EXPECT_EQ(RealLibraryWindow::readAll(archive), before);
    EXPECT_EQ(shown.text, QStringLiteral("圧縮を中止しました。24 個のファイルは圧縮していません。"
                                         "\r\n書庫【%1】は元のままです。")
                              .arg(archive));
    EXPECT_EQ(shown.icon, Icon::Information);
    EXPECT_FALSE(QFile::exists(env.window().workDirectory().listFile()));
    EXPECT_EQ(QDir(env.scratch()).entryList({"*.lzh*", ".*"}, QDir::Files | QDir::Hidden),
              QStringList{"kept.lzh"})
        << "no temporary is left beside the archive";
}

// The second entry is large, so that the cancel made after the first lands
// while it is extracted: the files placed before it are whole, it is not
// placed (the message says so), and nothing after it is.
TEST_P(AppCancelArchive, ACancelledUnpackKeepsTheWholeFilesItPlaced) {
    QStringList sources =
        env.makeFiles("src", {{"a", sampleBytes(1000, 0)}, {"b", QByteArray(16 << 20, 'z')}});
    sources.append(makeFiles("rest", 20, 1000));
    const QString archive = env.scratch("a.lzh");
    ASSERT_EQ(env.pack(sources, archive).text, kPacked);

    QDir().mkpath(env.scratch("out"));
    follow(GetParam());
    const auto shown = env.unpack(archive, env.scratch("out"));

    expectCancelled(GetParam());
    const QStringList placed = QDir(env.scratch("out/a")).entryList(QDir::Files, QDir::Name);
    ASSERT_GE(placed.size(), 1);
    ASSERT_LT(placed.size(), sources.size());
    for (int i = 0; i < placed.size(); ++i) {
        // Entries come out in list order: what is there is a prefix, whole.
        EXPECT_EQ(placed[i], QFileInfo(sources[i]).fileName());
        EXPECT_EQ(RealLibraryWindow::readAll(env.scratch("out/a/") + placed[i]),
                  RealLibraryWindow::readAll(sources[i]))
            << placed[i].toStdString();
    }
    // The cancel lands inside the large entry or, when the machine was
    // quicker, after it.
    const QString stopped =
        QStringLiteral(
            "展開を中止しました。%1 個のファイルを展開し、%2 個は展開していません。\r\n"
            "展開したファイルはそのまま残っています。")
            .arg(placed.size())
            .arg(sources.size() - placed.size());
    const QString removed =
        QStringLiteral("\r\n展開中だった【%1】は書きかけのため残していません。")
            .arg(env.scratch("out/a/") + QFileInfo(sources[placed.size()]).fileName());
    EXPECT_TRUE(shown.text == stopped || shown.text == stopped + removed)
        << shown.text.toStdString();
}

// Escape reaches the package tab's run too, inside its one large file
// (that a package stops there writing nothing is core's rule).
TEST(AppCancelInsideAFile, EscapeStopsAPackageOfOneLargeFile) {
    RealLibraryWindow env;
    if (!env.ready()) GTEST_SKIP() << env.reason().toStdString();
    const QString large =
        env.makeFiles("in", {{"large.bin", sampleBytes(64 << 20, 9)}}).constFirst();
    const QString package = env.scratch("large.exe");
    env.window().SSTab1()->setCurrentIndex(0);
    env.ui().answerOpenFile(large);
    env.click("BR");
    control<QLineEdit>(env.window(), "PASS")->setText(QStringLiteral("pw"));
    QTest::qWait(50);  // the enablement tick sees the password
    auto* bar = control<QProgressBar>(env.window(), "PkgPrg");
    ASSERT_TRUE(bar);
    bool pressed = false;
    QObject::connect(bar, &QProgressBar::valueChanged, bar, [&](int value) {
        if (value <= 0 || pressed) return;
        pressed = true;
        QTest::keyClick(&env.window(), Qt::Key_Escape);
    });
    env.ui().answerMessage(Answer::Yes);
    env.ui().answerSaveFile(package);
    env.ui().answerMessage(Answer::Ok);
    env.click("Enc");
    EXPECT_TRUE(pressed);
    const auto& shown = env.ui().calls().back();
    EXPECT_EQ(shown.text,
              QStringLiteral("暗号化を中止しました。\r\n【%1】は作成していません。").arg(package));
    EXPECT_EQ(shown.icon, Icon::Information);
    EXPECT_FALSE(QFile::exists(package));
}

INSTANTIATE_TEST_SUITE_P(Triggers, AppCancelArchive,
                         testing::Values(Trigger::Escape, Trigger::Button),
                         [](const testing::TestParamInfo<Trigger>& test) {
                             return test.param == Trigger::Escape ? "Escape" : "Button";
                         });

}  // namespace
