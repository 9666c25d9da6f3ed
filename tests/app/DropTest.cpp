// Drops as the desktop sends them (text/uri-list and text/plain, routed by the
// window): on the window's surface, on the transform and keyed lists, the
// drag-over answer of the targets that take file lists, and the refusal of
// every other control.
#include "Controls.h"
#include "PanelTestWindow.h"

#include "app/panels/ArchivePanel.h"
#include "app/panels/KeyedPanel.h"
#include "app/panels/PackagePanel.h"
#include "app/panels/TransformPanel.h"
#include "core/text/Reasons.h"

#include <files.h>

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTest>
#include <QUrl>
#include <filesystem>
#include <optional>

namespace {

class AppDrop : public testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"one.txt", "two words.bin", "三.dat"}) {
            files.append(app.writeFile(QString::fromUtf8(name), "x"));
        }
        folder = app.filePath(QStringLiteral("folder"));
        QDir().mkpath(folder);
    }

    // A point of the window's own surface: the margin around the tabs.
    QWidget* surface() { return app.window().centralWidget(); }
    static constexpr QPoint kMargin{2, 2};

    PanelTestWindow app;
    QStringList files;
    QString folder;
};

TEST_F(AppDrop, OnTheWindowSurfaceTheFirstPathBecomesTheTarget) {
    dozo::frmMain& w = app.window();
    app.showTab(2);
    const auto data = FileDrops::fileList(files);
    EXPECT_TRUE(FileDrops::drop(surface(), data.get(), kMargin));
    EXPECT_EQ(control<QLineEdit>(w, "TFile")->text(), files[0]);
    EXPECT_EQ(w.state().TFN, files[0]);
    EXPECT_EQ(w.SSTab1()->currentIndex(), 2) << "the visible tab stays";
    EXPECT_EQ(control<QListWidget>(w, "IFN")->count(), 0);
}

TEST_F(AppDrop, OnTheTransformListAppendsInOrderAndLeavesTheTarget) {
    dozo::frmMain& w = app.window();
    app.showTab(2);
    QListWidget* list = control<QListWidget>(w, "IFN");
    list->addItem(QStringLiteral("/already"));
    ASSERT_TRUE(
        FileDrops::drop(list->viewport(), FileDrops::fileList(files + QStringList{folder}).get()));
    EXPECT_EQ(entries(list), QStringList{"/already"} + files + QStringList{folder});
    EXPECT_TRUE(control<QLineEdit>(w, "TFile")->text().isEmpty());
    EXPECT_TRUE(w.state().TFN.isEmpty());

    // Text that is no file list is refused and adds nothing.
    EXPECT_FALSE(FileDrops::drop(list->viewport(),
                                 FileDrops::plainText(QStringLiteral("/etc/passwd")).get()));
    EXPECT_EQ(list->count(), 5);
}

// A dropped folder is one entry wherever it lands in the drop, on every
// list: the archive tab packs it with the paths below it, and the in-place
// tabs ask before they rewrite what is in it. Replaced by its files, it
// flattened archives and queued whole trees for a rewrite unasked. The drop
// goes in after what is listed in one insertion: entry by entry, the view's
// work grew with the square of the count.
TEST_F(AppDrop, AFolderOnAnyFileListIsOneEntryAndTheDropOneInsertion) {
    const QString tree = app.filePath(QStringLiteral("tree"));
    ASSERT_TRUE(QDir().mkpath(tree + "/sub"));
    app.writeFile(QStringLiteral("tree/sub/a"), "y");
    const struct {
        int tab;
        const char* list;
    } lists[] = {{1, "FL"}, {2, "IFN"}, {3, "lstVov"}};
    for (const auto& target : lists) {
        SCOPED_TRACE(target.list);
        app.showTab(target.tab);
        QListWidget* list = control<QListWidget>(app.window(), QLatin1String(target.list));
        list->addItem(QStringLiteral("/listed/before"));
        QSignalSpy inserted(list->model(), &QAbstractItemModel::rowsInserted);
        ASSERT_TRUE(FileDrops::drop(list->viewport(),
                                    FileDrops::fileList({files[0], tree, files[1]}).get()));
        EXPECT_EQ(inserted.count(), 1);
        EXPECT_EQ(entries(list), (QStringList{"/listed/before", files[0], tree, files[1]}));
    }
}

TEST_F(AppDrop, OnTheKeyedListAppendsAndSelectsTheFirstEntryOfEachPath) {
    dozo::frmMain& w = app.window();
    app.showTab(3);
    QListWidget* list = control<QListWidget>(w, "lstVov");
    list->addItem(files[1]);
    ASSERT_TRUE(FileDrops::drop(list->viewport(), FileDrops::fileList(files).get()));
    EXPECT_EQ(entries(list), QStringList{files[1]} + files);
    // The entry listed before the drop is the first with the second path, so
    // it is the one selected; the later duplicate is not.
    std::vector<bool> selected;
    for (int i = 0; i < list->count(); ++i) selected.push_back(list->item(i)->isSelected());
    EXPECT_EQ(selected, (std::vector<bool>{true, true, false, true}));
    EXPECT_TRUE(control<QLineEdit>(w, "TFile")->text().isEmpty());
}

// A drop of a thousand files selects the first entry of each in one change
// of the selection: a change per entry, each with its search of the list,
// held the window for seconds.
TEST_F(AppDrop, ADropOfThousandsOnTheKeyedListIsSelectedInOneStep) {
    app.showTab(3);
    QListWidget* list = control<QListWidget>(app.window(), "lstVov");
    QStringList many;
    for (int i = 0; i < 1000; ++i)
        many.append(app.writeFile(QStringLiteral("many%1").arg(i, 4, 10, QChar(u'0')), "z"));
    // Listed before the drop, so its first entry is the one selected: the
    // selection has a gap where the drop's own entry of that file is.
    list->addItems({files[0], many[500]});
    QSignalSpy changes(list, &QListWidget::itemSelectionChanged);

    ASSERT_TRUE(FileDrops::drop(list->viewport(), FileDrops::fileList(many).get()));

    ASSERT_EQ(list->count(), 1002);
    EXPECT_EQ(changes.count(), 1);
    std::vector<int> unselected;
    for (int i = 0; i < list->count(); ++i) {
        if (!list->item(i)->isSelected()) unselected.push_back(i);
    }
    EXPECT_EQ(unselected, (std::vector<int>{0, 2 + 500}));
}

// A file manager sends a name that is not UTF-8 percent-encoded byte for
// byte. No QString names that file: decoded, it became caf\uFFFD.txt, which
// is another file (here a decoy beside it) or none, and a run rewrote the
// decoy or failed with "not found". Every drop target names it instead, and
// takes the drop's other files as before.
TEST_F(AppDrop, ANameThatIsNotUtf8IsNamedAndNeverTakenForAnother) {
    dozo::frmMain& w = app.window();
    const QByteArray dir = QFile::encodeName(app.filePath(QString()));
    const QString decoy = app.writeFile(QStringLiteral("caf\uFFFD.txt"), "decoy");
    const std::string latin1 = (dir + "/caf\xe9.txt").toStdString();
    dozo::test::writeFile(latin1, {});
    // QTemporaryDir cannot remove a name no QString holds.
    const auto removeLatin1 = qScopeGuard([&] { std::filesystem::remove(latin1); });
    const QUrl latin1Url = QUrl::fromEncoded(
        "file://" + QUrl::toPercentEncoding(QString::fromUtf8(dir), "/") + "/caf%E9.txt");
    // What this guards against: the decoded name is the decoy's.
    ASSERT_EQ(latin1Url.toLocalFile(), decoy);
    const QString shown = QString::fromUtf8(dir) + QStringLiteral("/caf\\xe9.txt");

    // A list by its name, or else a widget whose drop names the target (TFile).
    struct Target {
        const char* name;
        int tab;
        QWidget* widget = nullptr;
        std::optional<QPoint> at = std::nullopt;
    };
    auto* TFile = control<QLineEdit>(w, "TFile");
    const Target targets[] = {
        {"surface", 0, surface(), kMargin},
        {"TFile", 0, TFile},
        {"FL", 1},
        {"IFN", 2},
        {"lstVov", 3},
    };
    for (const Target& t : targets) {
        SCOPED_TRACE(t.name);
        app.showTab(t.tab);
        auto* list = t.widget ? nullptr : control<QListWidget>(w, QLatin1String(t.name));
        QMimeData data;
        data.setUrls({latin1Url, QUrl::fromLocalFile(files[0])});
        app.ui().answerMessage(dozo::UiServices::Answer::Ok);
        const std::size_t asked = app.ui().calls().size();
        EXPECT_TRUE(FileDrops::drop(list ? list->viewport() : t.widget, &data, t.at));

        ASSERT_EQ(app.ui().calls().size(), asked + 1) << "nothing said what was left out";
        const auto& box = app.ui().calls().back();
        EXPECT_EQ(box.icon, dozo::UiServices::Icon::Error);
        EXPECT_TRUE(box.text.contains(shown) && box.text.contains(dozo::Reasons::nameNotUtf8()))
            << box.text.toStdString();
        if (list) {
            EXPECT_EQ(entries(list), QStringList{files[0]});
            list->clear();
        } else {
            // The first file is the one the user meant: no other takes its place.
            EXPECT_TRUE(TFile->text().isEmpty()) << TFile->text().toStdString();
            EXPECT_TRUE(w.state().TFN.isEmpty());
        }
    }
    EXPECT_EQ(PanelTestWindow::readFile(decoy), "decoy");
}

// A newline in a name drew one entry as two lines, which look like two
// entries, and split the name in the closing message so that its second
// half read like another file's; an escape could drive what shows it. Each
// list and the message show such a name escaped, and the run still works
// on the file itself.
TEST_F(AppDrop, ControlCharactersInNamesAreShownEscaped) {
    dozo::frmMain& w = app.window();
    const QString dir = app.filePath(QString());
    const QStringList names = {dir + QStringLiteral("/two\nlines.bin"),
                               dir + QStringLiteral("/esc\x1b[31mred.bin")};
    const QStringList shown = {dir + QStringLiteral("/two\\x0alines.bin"),
                               dir + QStringLiteral("/esc\\x1b[31mred.bin")};
    for (const auto& [name, tab] : {std::pair{"FL", 1}, {"IFN", 2}, {"lstVov", 3}}) {
        SCOPED_TRACE(name);
        app.showTab(tab);
        auto* list = control<QListWidget>(w, QLatin1String(name));
        ASSERT_NE(list, nullptr);
        ASSERT_TRUE(FileDrops::drop(list->viewport(), FileDrops::fileList(names).get()));
        ASSERT_EQ(entries(list), names) << "the entries are the paths themselves";
        auto* delegate = qobject_cast<QStyledItemDelegate*>(list->itemDelegate());
        ASSERT_NE(delegate, nullptr);
        for (int i = 0; i < list->count(); ++i) {
            EXPECT_EQ(delegate->displayText(list->item(i)->data(Qt::DisplayRole), QLocale()),
                      shown[i]);
        }
    }

    // Neither file exists: the run names both, escaped.
    app.showTab(2);
    app.tick();
    QString message;
    app.onMessage([&](const QString& text) { message = text; });
    app.ui().answerMessage(dozo::UiServices::Answer::Ok);
    QTest::mouseClick(control<QPushButton>(w, "cmdEnc"), Qt::LeftButton);
    for (const QString& name : shown) EXPECT_TRUE(message.contains(name)) << message.toStdString();
    EXPECT_FALSE(message.contains(QChar(u'\x1b')));
    EXPECT_FALSE(message.contains(QStringLiteral("two\nlines")));
}

// Copy for a list of local files, no drop for anything else: the window's
// surface, TFile and FL, and the two lists that only take file lists too.
TEST_F(AppDrop, DragOverOffersCopyOnlyForFileLists) {
    dozo::frmMain& w = app.window();
    struct Target {
        const char* name;
        QWidget* widget;
        int tab;
        std::optional<QPoint> at = std::nullopt;
    };
    const Target targets[] = {
        {"surface", surface(), 0, kMargin},
        {"TFile", control<QLineEdit>(w, "TFile"), 0},
        {"FL", control<QListWidget>(w, "FL")->viewport(), 1},
        {"IFN", control<QListWidget>(w, "IFN")->viewport(), 2},
        {"lstVov", control<QListWidget>(w, "lstVov")->viewport(), 3},
    };
    auto remote = std::make_unique<QMimeData>();
    remote->setUrls({QUrl(QStringLiteral("https://example.org/file.bin"))});
    struct Payload {
        const char* name;
        const QMimeData* data;
        Qt::DropAction effect;
    };
    const auto local = FileDrops::fileList(files);
    const auto text = FileDrops::plainText(files[0]);
    const Payload payloads[] = {
        {"LocalFiles", local.get(), Qt::CopyAction},
        {"PlainText", text.get(), Qt::IgnoreAction},
        {"RemoteUrl", remote.get(), Qt::IgnoreAction},
    };
    for (const Target& t : targets) {
        app.showTab(t.tab);
        for (const Payload& p : payloads) {
            SCOPED_TRACE(std::string(t.name) + " " + p.name);
            EXPECT_EQ(FileDrops::dragOver(t.widget, p.data, t.at), p.effect);
        }
    }
    // A refused drop on the surface changes nothing.
    EXPECT_FALSE(FileDrops::drop(surface(), text.get(), kMargin));
    EXPECT_TRUE(control<QLineEdit>(w, "TFile")->text().isEmpty());
    EXPECT_TRUE(w.state().TFN.isEmpty());
}

// A file manager's drop on a control that takes no files, or that missed a
// list by a few pixels: the no-drop effect, and nothing changes. Text boxes
// would otherwise insert the dropped paths into the password or the key.
TEST_F(AppDrop, EveryOtherControlRefusesAndNothingChanges) {
    dozo::frmMain& w = app.window();
    struct Row {
        const char* name;
        int tab;
        std::optional<QPoint> at = std::nullopt;  // centre unless given
    };
    const Row rows[] = {
        {"PASS", 0},
        {"txtKey", 3},
        {"BR", 0},
        {"LHAEnc", 0},
        {"Label1", 0},
        {"cmdVovEnc", 3},
        {"cmdDelete", 1},
        {"Line3", 0},
        {"Frame1", 2, QPoint(3, 40)},  // its border, beside the options
        {"qt_tabwidget_tabbar", 1},
        {"PackagePanel", 0, QPoint(3, 3)},  // the tab page around the controls
    };
    const auto data = FileDrops::fileList(files);
    auto* pass = control<QLineEdit>(w, "PASS");
    auto* key = control<QLineEdit>(w, "txtKey");
    ASSERT_TRUE(pass && key);
    pass->setText(QStringLiteral("secret"));
    const QString keyBefore = key->text();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        app.showTab(row.tab);
        auto* target = control(w, QLatin1String(row.name));
        ASSERT_NE(target, nullptr);
        EXPECT_EQ(FileDrops::dragOver(target, data.get(), row.at), Qt::IgnoreAction);
        EXPECT_FALSE(FileDrops::drop(target, data.get(), row.at));
        EXPECT_EQ(pass->text(), QStringLiteral("secret"));
        EXPECT_EQ(key->text(), keyBefore);
        EXPECT_TRUE(control<QLineEdit>(w, "TFile")->text().isEmpty());
        EXPECT_TRUE(w.state().TFN.isEmpty());
        EXPECT_EQ(control<QListWidget>(w, "IFN")->count(), 0);
        EXPECT_EQ(control<QListWidget>(w, "lstVov")->count(), 0);
        EXPECT_EQ(control<QListWidget>(w, "FL")->count(), 0);
    }
}

}  // namespace
