// The package panel on the real window with the real package library and
// archiver: packages that really restore their target, the archive that
// holds them, and what the user is told when something fails.
#include "Controls.h"
#include "RealLibraryWindow.h"

#include "app/panels/PackagePanel.h"
#include "core/libraries/ArchiveCommands.h"
#include "core/libraries/ArchiverCall.h"
#include "core/libraries/Library.h"
#include "core/libraries/PackageCall.h"
#include "core/text/Reasons.h"

#include <gtest/gtest.h>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <algorithm>

namespace {

using Answer = dozo::UiServices::Answer;
using Icon = dozo::UiServices::Icon;
using Kind = ScriptedUiServices::Kind;

const QString kDone = QStringLiteral("暗号化が完了しました。");
// The save dialog's file types: who opens the package.
constexpr int kWindows = 0, kLinux = 1;
const QString kPackageTypes =
    QStringLiteral("実行可能ファイル (*.exe)|*.exe|Linux 用実行可能ファイル (*)|*");

class AppPackagePanel : public testing::Test {
protected:
    void SetUp() override {
        if (!env.ready()) GTEST_SKIP() << env.reason().toStdString();
        env.window().SSTab1()->setCurrentIndex(0);
        TFile = control<QLineEdit>(env.window(), "TFile");
        PASS = control<QLineEdit>(env.window(), "PASS");
        ASSERT_NE(TFile, nullptr);
        ASSERT_NE(PASS, nullptr);
    }

    // A target file, chosen through Browse.
    QString browseTarget(const QString& name, const QByteArray& bytes) {
        const QString path = env.scratch(name);
        RealLibraryWindow::writeAll(path, bytes);
        env.ui().answerOpenFile(path);
        env.click("BR");
        return path;
    }

    void typePassword(const QString& password) {
        PASS->clear();
        QTest::keyClicks(PASS, password);
        EXPECT_EQ(PASS->text(), password);
    }

    // Runs the package at `package` with `password` on standard input; the
    // restored folder's file `name`, or nullopt when the package refused.
    std::optional<QByteArray> restore(const QString& package, const QByteArray& password,
                                      const QString& name) {
        const QString out = env.scratch("restored");
        QDir(out).removeRecursively();
        QDir().mkpath(out);
        QFile::setPermissions(package, QFile::permissions(package) | QFile::ExeOwner);
        QByteArray output;
        const int code = RealLibraryWindow::runProgram(package, {"--password-stdin", "-o", out},
                                                       password + "\n", &output);
        if (code != 0) return std::nullopt;
        return RealLibraryWindow::readAll(out + "/" + name);
    }

    std::vector<ScriptedUiServices::Call> messages() {
        std::vector<ScriptedUiServices::Call> shown;
        for (const auto& call : env.ui().calls()) {
            if (call.kind == Kind::MessageBox) shown.push_back(call);
        }
        return shown;
    }

    RealLibraryWindow env;
    QLineEdit* TFile = nullptr;
    QLineEdit* PASS = nullptr;
};

TEST_F(AppPackagePanel, BrowseFillsTheFieldAndTheFieldIsTheTarget) {
    const QString target = browseTarget("report.txt", "report");
    const auto& browse = env.ui().calls().back();
    EXPECT_EQ(browse.title, QStringLiteral("暗号化するファイル"));
    EXPECT_EQ(browse.filter, QStringLiteral("全てのファイル (*.*)|*.*"));
    EXPECT_EQ(TFile->text(), target);
    EXPECT_EQ(env.window().state().TFN, target);

    // An edited field is the target: the run proposes its name, not the
    // browsed one's.
    const QString edited = env.scratch("monthly report.txt");
    RealLibraryWindow::writeAll(edited, "edited");
    TFile->clear();
    QTest::keyClicks(TFile, edited);
    typePassword("pw");
    env.ui().answerMessage(Answer::Yes);
    env.ui().answerSaveFile(std::nullopt);
    env.click("Enc");
    EXPECT_EQ(env.ui().calls().back().proposedName, env.scratch("monthly report.exe"));
    EXPECT_EQ(env.window().state().TFN, edited);

    // A cancelled browse changes nothing; the menu item runs the same command.
    env.ui().answerOpenFile(std::nullopt);
    env.window().menu().mnuFileOpen->trigger();
    EXPECT_EQ(TFile->text(), edited);
    EXPECT_EQ(env.ui().calls().back().title, QStringLiteral("暗号化するファイル"));
}

TEST_F(AppPackagePanel, DropOnTheTargetFieldTakesOnlyTheFirstPath) {
    RealLibraryWindow::drop(TFile, {"/d/first.txt", "/d/second.txt", "/d/third.txt"});
    EXPECT_EQ(TFile->text(), "/d/first.txt");
    EXPECT_EQ(env.window().state().TFN, "/d/first.txt");
}

TEST_F(AppPackagePanel, AnsweringNoEndsBeforeAnyDialog) {
    browseTarget("report.txt", "report");
    typePassword("pw");
    env.ui().answerMessage(Answer::No);
    env.click("Enc");
    const auto& asked = env.ui().calls().back();
    EXPECT_EQ(asked.text, QStringLiteral("暗号化しますか"));
    EXPECT_EQ(asked.buttons, dozo::UiServices::Buttons::YesNo);
    EXPECT_EQ(asked.icon, Icon::Question);
    EXPECT_EQ(env.ui().calls().size(), 2u) << "only Browse and the question";
    EXPECT_EQ(QDir(env.scratch()).entryList(QDir::Files), QStringList{"report.txt"});
}

struct ProposalCase {
    const char* name;
    const char* target;  // relative to the scratch folder
    const char* proposed;
};

class AppPackageProposal : public AppPackagePanel,
                           public testing::WithParamInterface<ProposalCase> {};

TEST_P(AppPackageProposal, SaveDialogProposesTheTargetWithExe) {
    browseTarget(GetParam().target, "x");
    typePassword("pw");
    env.ui().answerMessage(Answer::Yes);
    env.ui().answerSaveFile(std::nullopt);
    env.click("Enc");
    const auto& save = env.ui().calls().back();
    EXPECT_EQ(save.kind, Kind::SaveFile);
    EXPECT_EQ(save.title, QStringLiteral("暗号化後のファイル名"));
    EXPECT_EQ(save.filter, kPackageTypes);
    EXPECT_EQ(save.proposedName, env.scratch(GetParam().proposed));
}

INSTANTIATE_TEST_SUITE_P(Targets, AppPackageProposal,
                         testing::Values(ProposalCase{"Txt", "report.txt", "report.exe"},
                                         ProposalCase{"Jpeg", "photo.jpeg", "photo..exe"},
                                         ProposalCase{"Exe", "tool.exe", "tool.exe"}),
                         [](const testing::TestParamInfo<ProposalCase>& test) {
                             return std::string(test.param.name);
                         });

TEST_F(AppPackagePanel, ATargetShorterThanFourCharactersProposesNoName) {
    const QString cwd = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(env.scratch()));
    RealLibraryWindow::writeAll("a.b", "short");
    env.window().state().TFN = "a.b";
    TFile->setText("a.b");
    typePassword("pw");
    env.ui().answerMessage(Answer::Yes);
    env.ui().answerSaveFile(std::nullopt);
    env.click("Enc");
    QDir::setCurrent(cwd);
    EXPECT_TRUE(env.ui().calls().back().proposedName.isEmpty());
}

// The password goes as typed, spaces at both ends included: the package
// opens with exactly that text and not with its trimmed form.
TEST_F(AppPackagePanel, EncryptBuildsAPackageThatRestoresTheTarget) {
    const QByteArray bytes = sampleBytes(150000, 1);
    const QString target = browseTarget("report.txt", bytes);
    typePassword("  pass word ");
    env.ui().answerMessage(Answer::Yes);
    env.ui().answerSaveFile(env.scratch("report.exe"), kLinux);
    env.ui().answerMessage(Answer::Ok);
    env.window().menu().mnuEncryption->trigger();

    const auto shown = messages();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown.back().text, kDone);
    EXPECT_EQ(shown.back().icon, Icon::Information);
    EXPECT_EQ(env.window().state().EFN, env.scratch("report.exe"));
    EXPECT_EQ(RealLibraryWindow::readAll(target), bytes) << "the target is never changed";

    EXPECT_EQ(restore(env.scratch("report.exe"), "  pass word ", "report.txt"), bytes);
    EXPECT_EQ(restore(env.scratch("report.exe"), "pass word", "report.txt"), std::nullopt);
}

// The save dialog's file type chooses the recipient's system, Windows first;
// the next package is offered the type chosen last.
TEST_F(AppPackagePanel, TheFileTypeChoosesTheRecipientsSystemAndIsOfferedAgain) {
    browseTarget("report.txt", "report");
    typePassword("pw");
    const struct {
        int chosen;  // -1: the type offered
        int offered;
        QByteArray starts;
    } runs[] = {{-1, kWindows, "MZ"},
                {kLinux, kWindows,
                 "\x7f"
                 "ELF"},
                {-1, kLinux,
                 "\x7f"
                 "ELF"}};
    for (const auto& run : runs) {
        SCOPED_TRACE(run.offered);
        env.ui().answerMessage(Answer::Yes);
        env.ui().answerSaveFile(env.scratch("report.exe"), run.chosen);
        env.ui().answerMessage(Answer::Ok);
        env.click("Enc");
        const auto& save = env.ui().calls().at(env.ui().calls().size() - 2);
        ASSERT_EQ(save.kind, Kind::SaveFile);
        EXPECT_EQ(save.type, run.offered);
        EXPECT_EQ(messages().back().text, kDone);
        EXPECT_TRUE(RealLibraryWindow::readAll(env.scratch("report.exe")).startsWith(run.starts));
    }
}

TEST_F(AppPackagePanel, EncryptAndArchiveLeavesOnlyAnArchiveHoldingThePackage) {
    const QByteArray bytes = sampleBytes(150000, 1);
    browseTarget("report.txt", bytes);
    typePassword("secret");
    env.ui().answerMessage(Answer::Yes);
    env.ui().answerSaveFile(env.scratch("report.exe"), kLinux);
    env.ui().answerMessage(Answer::Ok);
    auto* bar = control<QProgressBar>(env.window(), "PkgPrg");
    ASSERT_NE(bar, nullptr);
    QSignalSpy steps(bar, &QProgressBar::valueChanged);
    env.click("LHAEnc");

    ASSERT_EQ(messages().back().text, kDone);
    // Encrypted, then packed (its bytes on the way), read back: the bar goes
    // up to its end, then it rests.
    QList<int> seen;
    for (const auto& args : steps) seen.append(args.at(0).toInt());
    ASSERT_GE(seen.size(), 3);
    EXPECT_EQ(seen.first(), 1000) << "encrypted: half of the bar";
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end() - 1));
    EXPECT_EQ(seen.mid(seen.size() - 2), (QList<int>{2000, 0}));
    EXPECT_EQ(bar->maximum(), 2000);
    EXPECT_EQ(env.window().state().SFN, env.scratch("report.lzh"));
    EXPECT_FALSE(QFile::exists(env.scratch("report.exe")));
    ASSERT_TRUE(QFile::exists(env.scratch("report.lzh")));

    if (RealLibraryWindow::lhasa().isEmpty()) GTEST_SKIP() << "lhasa is not installed";
    QByteArray listing;
    ASSERT_EQ(RealLibraryWindow::runProgram(RealLibraryWindow::lhasa(),
                                            {"l", env.scratch("report.lzh")}, {}, &listing),
              0);
    EXPECT_TRUE(listing.contains("report.exe")) << listing.toStdString();
    QDir().mkpath(env.scratch("unpacked"));
    ASSERT_EQ(RealLibraryWindow::runProgram(
                  RealLibraryWindow::lhasa(),
                  {"xqfw=" + env.scratch("unpacked"), env.scratch("report.lzh")}),
              0);
    EXPECT_EQ(restore(env.scratch("unpacked/report.exe"), "secret", "report.txt"), bytes);
}

TEST_F(AppPackagePanel, ArchiverFailureKeepsTheExecutableAndSaysWhy) {
    browseTarget("report.txt", "report");
    typePassword("secret");
    // Not an archive: the archiver refuses to update it and leaves it alone.
    RealLibraryWindow::writeAll(env.scratch("report.lzh"), "not an archive at all");
    env.ui().answerMessage(Answer::Yes);
    env.ui().answerSaveFile(env.scratch("report.exe"), kLinux);
    env.ui().answerMessage(Answer::Yes);  // add to the archive there
    env.ui().answerMessage(Answer::Ok);
    env.window().menu().mnuLHAEnc->trigger();

    const auto shown = messages();
    // 暗号化しますか, the question about the archive there, the error.
    ASSERT_EQ(shown.size(), 3u) << "no completion after the error";
    EXPECT_TRUE(shown.back().text.startsWith(kAborted + "\r\n")) << shown.back().text.toStdString();
    EXPECT_GT(shown.back().text.size(), kAborted.size() + 2);
    EXPECT_EQ(shown.back().icon, Icon::Error);
    EXPECT_TRUE(QFile::exists(env.scratch("report.exe")));
    EXPECT_EQ(RealLibraryWindow::readAll(env.scratch("report.lzh")), "not an archive at all");
    EXPECT_EQ(restore(env.scratch("report.exe"), "secret", "report.txt"), "report");
}

// The archiver's update keeps an entry that is not older than the new
// executable and still reports success: the executable is then the only copy
// of the new package.
TEST_F(AppPackagePanel, ANewerEntryOfTheSameNameKeepsTheExecutableAndSaysWhy) {
    const QString earlier = env.scratch("earlier/report.exe");
    QDir().mkpath(env.scratch("earlier"));
    RealLibraryWindow::writeAll(earlier, "a package of tomorrow");
    QFile dated(earlier);
    ASSERT_TRUE(dated.open(QIODevice::Append));
    ASSERT_TRUE(dated.setFileTime(QDateTime::currentDateTime().addDays(1),
                                  QFileDevice::FileModificationTime));
    dated.close();
    dozo::Library unlha32("unlha32", {env.systemDir()});
    dozo::ArchiverCall archiver(unlha32);
    ASSERT_FALSE(archiver
                     .run(nullptr, dozo::ArchiveCommands::packFileCommand(env.scratch("report.lzh"),
                                                                          earlier))
                     .failed());

    browseTarget("report.txt", "report");
    typePassword("secret");
    env.ui().answerMessage(Answer::Yes);
    env.ui().answerSaveFile(env.scratch("report.exe"), kLinux);
    env.ui().answerMessage(Answer::Yes);  // add to the archive there
    env.ui().answerMessage(Answer::Ok);
    env.click("LHAEnc");

    const auto shown = messages();
    // 暗号化しますか, the question about the archive there, the error.
    ASSERT_EQ(shown.size(), 3u) << "no completion after the error";
    const QStringList lines = shown.back().text.split("\r\n");
    ASSERT_EQ(lines.size(), 2) << shown.back().text.toStdString();
    EXPECT_EQ(lines[0], kAborted);
    EXPECT_TRUE(lines[1].contains(QStringLiteral("新しい"))) << lines[1].toStdString();
    EXPECT_EQ(shown.back().icon, Icon::Error);
    ASSERT_TRUE(QFile::exists(env.scratch("report.exe")));
    EXPECT_EQ(restore(env.scratch("report.exe"), "secret", "report.txt"), "report");
}

struct RefusalCase {
    const char* name;
    bool archive;  // Encrypt and archive rather than Encrypt
    const char* saveAs;
};

class AppPackageFailure : public AppPackagePanel,
                          public testing::WithParamInterface<RefusalCase> {};

// A package that cannot be written is an error with its reason, and Encrypt
// and archive stops there.
TEST_P(AppPackageFailure, PackageLibraryErrorIsShownWithItsReason) {
    browseTarget("report.txt", "report");
    typePassword("secret");
    env.ui().answerMessage(Answer::Yes);
    env.ui().answerSaveFile(env.scratch(GetParam().saveAs));
    env.ui().answerMessage(Answer::Ok);
    env.click(GetParam().archive ? "LHAEnc" : "Enc");

    const auto shown = messages();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown.back().text, kAborted + "\r\n" + dozo::Reasons::package(5));
    EXPECT_EQ(shown.back().icon, Icon::Error);
    EXPECT_EQ(QDir(env.scratch()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot),
              QStringList{"report.txt"});
}

INSTANTIATE_TEST_SUITE_P(
    Commands, AppPackageFailure,
    testing::Values(RefusalCase{"Encrypt", false, "missing/report.exe"},
                    RefusalCase{"EncryptAndArchive", true, "missing/report.exe"}),
    [](const testing::TestParamInfo<RefusalCase>& test) { return std::string(test.param.name); });

TEST_F(AppPackagePanel, UnloadablePackageLibraryIsAnErrorNotACompletion) {
    browseTarget("report.txt", "report");
    typePassword("secret");
    // A file of the library's name that is no library: the process may hold
    // the real one already, so a missing file would be found there.
    ASSERT_TRUE(QFile::remove(env.systemDir() + "/librivo.so"));
    RealLibraryWindow::writeAll(env.systemDir() + "/librivo.so", "not a shared library\n");
    env.ui().answerMessage(Answer::Yes);
    env.ui().answerSaveFile(env.scratch("report.exe"));
    env.ui().answerMessage(Answer::Ok);
    testing::internal::CaptureStderr();
    env.click("Enc");
    testing::internal::GetCapturedStderr();
    // The loader's own reason follows (core words it).
    EXPECT_TRUE(messages().back().text.startsWith(kAborted + "\r\n" + dozo::Reasons::package(-1)))
        << messages().back().text.toStdString();
    EXPECT_FALSE(QFile::exists(env.scratch("report.exe")));
}

// An empty field, or one naming no readable file (typed, dropped or set by
// the command line alike), is refused before anything is asked.
TEST_F(AppPackagePanel, UnusableTargetIsRefusedBeforeAnythingIsAsked) {
    typePassword("secret");
    env.ui().answerMessage(Answer::Ok);
    env.click("Enc");
    ASSERT_EQ(env.ui().calls().size(), 1u);
    EXPECT_EQ(env.ui().calls().back().icon, Icon::Error);
    EXPECT_TRUE(env.ui().calls().back().text.contains(QStringLiteral("指定されていません")));

    QDir().mkpath(env.scratch("folder"));
    for (const QString& target : {env.scratch("gone.txt"), env.scratch("folder")}) {
        TFile->clear();
        QTest::keyClicks(TFile, target);
        env.ui().answerMessage(Answer::Ok);
        env.click("LHAEnc");
        EXPECT_EQ(env.ui().calls().back().kind, Kind::MessageBox);
        EXPECT_TRUE(env.ui().calls().back().text.contains(target)) << target.toStdString();
    }
    EXPECT_EQ(env.ui().calls().size(), 3u);
}

// Saving the package over its own target would replace the only plain copy;
// an archive named like the executable would be packed into itself and then
// deleted with it.
TEST_F(AppPackagePanel, NamesThatWouldDestroyTheTargetOrTheArchiveAreRefused) {
    const QString target = browseTarget("tool.exe", "the user's own program");
    typePassword("secret");
    env.ui().answerMessage(Answer::Yes);
    env.ui().answerSaveFile(target);
    env.ui().answerMessage(Answer::Ok);
    env.click("Enc");
    EXPECT_TRUE(messages().back().text.startsWith(kAborted));
    EXPECT_EQ(RealLibraryWindow::readAll(target), "the user's own program");

    // The archive of "data.exe" is "data.lzh": the target itself.
    const QString archiveTarget = browseTarget("data.lzh", "the user's own archive");
    env.ui().answerMessage(Answer::Yes);
    env.ui().answerSaveFile(env.scratch("data.exe"));
    env.ui().answerMessage(Answer::Ok);
    env.click("LHAEnc");
    EXPECT_TRUE(messages().back().text.startsWith(kAborted));
    EXPECT_FALSE(QFile::exists(env.scratch("data.exe")));
    EXPECT_EQ(RealLibraryWindow::readAll(archiveTarget), "the user's own archive");
}

// Encrypt and archive adds the package to an archive of that name from
// before, which keeps whatever else it holds: here the plain file itself,
// packed earlier on the archive tab. The user is asked first; No writes
// nothing, neither the package nor the archive.
TEST_F(AppPackagePanel, AnArchiveFromBeforeIsAddedToOnlyWhenTheUserSaysSo) {
    const QString target = browseTarget("report.txt", "the plain report");
    typePassword("secret");
    const QString archive = env.scratch("report.lzh");
    env.window().SSTab1()->setCurrentIndex(1);
    ASSERT_EQ(env.pack({target}, archive).text, kPacked);
    env.window().SSTab1()->setCurrentIndex(0);
    const QByteArray before = RealLibraryWindow::readAll(archive);

    for (const Answer answer : {Answer::No, Answer::Yes}) {
        SCOPED_TRACE(answer == Answer::Yes ? "Yes" : "No");
        const std::size_t asked = env.ui().calls().size();
        env.ui().answerMessage(Answer::Yes);
        env.ui().answerSaveFile(env.scratch("report.exe"));
        env.ui().answerMessage(answer);
        if (answer == Answer::Yes) env.ui().answerMessage(Answer::Ok);
        env.click("LHAEnc");

        const auto& calls = env.ui().calls();
        ASSERT_GE(calls.size(), asked + 3);
        const auto& question = calls[asked + 2];
        EXPECT_EQ(question.buttons, dozo::UiServices::Buttons::YesNo);
        EXPECT_TRUE(question.text.contains(archive)) << question.text.toStdString();
        EXPECT_FALSE(QFile::exists(env.scratch("report.exe")));
        if (answer == Answer::No) {
            EXPECT_EQ(calls.size(), asked + 3) << "something followed the No";
            EXPECT_EQ(RealLibraryWindow::readAll(archive), before);
        } else {
            EXPECT_EQ(calls.back().text, kDone);
            EXPECT_NE(RealLibraryWindow::readAll(archive), before);
        }
    }
}

// A save name without ".exe" keeps its whole name and its folder.
TEST_F(AppPackagePanel, AnOutputNameWithoutExeArchivesBesideIt) {
    browseTarget("report.txt", "report");
    typePassword("secret");
    env.ui().answerMessage(Answer::Yes);
    env.ui().answerSaveFile(env.scratch("package"));
    env.ui().answerMessage(Answer::Ok);
    env.click("LHAEnc");
    EXPECT_EQ(messages().back().text, kDone);
    EXPECT_EQ(env.window().state().SFN, env.scratch("package.lzh"));
    EXPECT_TRUE(QFile::exists(env.scratch("package.lzh")));
    EXPECT_FALSE(QFile::exists(env.scratch("package")));
}

// The closing message keeps its first line and then names the file that is
// there now and its folder: a package archived under the save name "pkg" is
// pkg.lzh, and the executable itself is gone. Its button opens the folder.
TEST_F(AppPackagePanel, TheMessageNamesWhatWasWrittenAndOpensItsFolder) {
    struct Case {
        const char* saved;
        const char* button;
        const char* written;
    };
    for (const Case& c :
         {Case{"report.exe", "Enc", "report.exe"}, Case{"pkg", "LHAEnc", "pkg.lzh"}}) {
        SCOPED_TRACE(c.saved);
        browseTarget("report.txt", "report");
        typePassword("secret");
        env.ui().answerMessage(Answer::Yes);
        env.ui().answerSaveFile(env.scratch(c.saved));
        env.ui().answerMessage(Answer::OpenFolder);
        env.ui().answerOpenDocument(true);
        env.click(c.button);

        const auto& calls = env.ui().calls();
        ASSERT_GE(calls.size(), 2u);
        const auto& done = calls[calls.size() - 2];
        EXPECT_EQ(done.text, kDone);
        EXPECT_EQ(done.buttons, dozo::UiServices::Buttons::OkOpenFolder);
        EXPECT_TRUE(done.details.contains(QStringLiteral("作成したファイル：") + c.written))
            << done.details.toStdString();
        EXPECT_TRUE(done.details.contains(QStringLiteral("場所：") + env.scratch()));
        EXPECT_EQ(done.details.contains(QStringLiteral("削除")), QByteArray(c.button) == "LHAEnc");
        EXPECT_TRUE(QFile::exists(env.scratch(c.written)));
        EXPECT_EQ(calls.back().kind, Kind::OpenDocument);
        EXPECT_EQ(calls.back().text, env.scratch());
    }
    EXPECT_FALSE(QFile::exists(env.scratch("pkg")));
}

}  // namespace
