// GetKeyValue against a table-backed store, StartSysInfo's two places to look
// and its single failure message, and the Linux back end's search of PATH.
#include "ScriptedUiServices.h"

#include "app/dialogs/GetKeyValue.h"
#include "app/dialogs/SysInfo.h"
#include "app/dialogs/SystemInfoStore.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <map>
#include <tuple>

namespace {

using dozo::KeyValueStore;
using Kind = ScriptedUiServices::Kind;

constexpr std::uint32_t kLocalMachine = KeyValueStore::kLocalMachine;
const QString kMsInfoKey = QString::fromLatin1(dozo::kMsInfoKey);
const QString kLocationKey = QString::fromLatin1(dozo::kSharedToolsLocationKey);

class FakeStore : public KeyValueStore {
public:
    void put(std::uint32_t root, const QString& key, const QString& name, Value value) {
        m_values[{root, key, name}] = std::move(value);
    }
    std::optional<Value> read(std::uint32_t root, const QString& key,
                              const QString& valueName) const override {
        const auto it = m_values.find({root, key, valueName});
        if (it == m_values.end()) return std::nullopt;
        return it->second;
    }

private:
    std::map<std::tuple<std::uint32_t, QString, QString>, Value> m_values;
};

QByteArray bytes(std::initializer_list<unsigned char> list) {
    QByteArray data;
    for (unsigned char c : list) data.append(static_cast<char>(c));
    return data;
}

struct KeyValueCase {
    const char* name;
    std::optional<KeyValueStore::Value> stored;
    QString passedIn;
    bool read;
    QString expected;
};

class GetKeyValueTest : public testing::TestWithParam<KeyValueCase> {};

TEST_P(GetKeyValueTest, GivesTheTextOfEachType) {
    const KeyValueCase& c = GetParam();
    FakeStore store;
    if (c.stored) store.put(kLocalMachine, "SOFTWARE\\Test", "Value", *c.stored);
    QString output = c.passedIn;
    EXPECT_EQ(dozo::GetKeyValue(store, kLocalMachine, "SOFTWARE\\Test", "Value", output), c.read);
    EXPECT_EQ(output.toStdString(), c.expected.toStdString());
}

const QByteArray kJapanesePath = QString("/opt/ツール/情報").toUtf8();

INSTANTIATE_TEST_SUITE_P(
    Types, GetKeyValueTest,
    testing::Values(
        KeyValueCase{"String", KeyValueStore::Value{1, QByteArray("/usr/bin/info\0", 14)}, "", true,
                     "/usr/bin/info"},
        KeyValueCase{"StringWithoutClosingNul", KeyValueStore::Value{1, "abc"}, "", true, "abc"},
        // Cut by bytes, then decoded: a multi-byte path must come out whole.
        KeyValueCase{"StringOfMultiByteCharacters", KeyValueStore::Value{1, kJapanesePath + '\0'},
                     "", true, QString("/opt/ツール/情報")},
        KeyValueCase{"EmptyString", KeyValueStore::Value{1, QByteArray("\0", 1)}, "stale", true,
                     ""},
        KeyValueCase{"StringFillingTheBuffer",
                     KeyValueStore::Value{1, QByteArray(1023, 'a') + '\0'}, "", true,
                     QString(1023, 'a')},
        // A value the 1024-byte buffer cannot hold is not read at all.
        KeyValueCase{"StringTooLongForTheBuffer",
                     KeyValueStore::Value{1, QByteArray(1024, 'a') + '\0'}, "stale", false, ""},
        KeyValueCase{"Number", KeyValueStore::Value{4, bytes({0x78, 0x56, 0x34, 0x12})}, "", true,
                     "&h12345678"},
        // Each byte without its leading zero, most significant byte first.
        KeyValueCase{"NumberOfSmallBytes", KeyValueStore::Value{4, bytes({0x0D, 0x0C, 0x0B, 0x0A})},
                     "", true, "&hABCD"},
        // A zero top byte counts as the closing NUL of the length rule.
        KeyValueCase{"NumberWithZeroTopByte",
                     KeyValueStore::Value{4, bytes({0x05, 0x00, 0x00, 0x00})}, "", true, "&h005"},
        KeyValueCase{"NumberAllOnes", KeyValueStore::Value{4, bytes({0xFF, 0xFF, 0xFF, 0xFF})}, "",
                     true, "&hFFFFFFFF"},
        KeyValueCase{"ExpandStringLeavesTheOutput",
                     KeyValueStore::Value{2, QByteArray("$HOME/bin\0", 10)}, "kept", true, "kept"},
        KeyValueCase{"BinaryLeavesTheOutput", KeyValueStore::Value{3, bytes({1, 2, 3})}, "", true,
                     ""},
        KeyValueCase{"MissingEmptiesTheOutput", std::nullopt, "stale", false, ""}),
    [](const testing::TestParamInfo<KeyValueCase>& test) { return std::string(test.param.name); });

// What StartSysInfo finds in the store, and what it should do with it. In the
// texts, "{dir}" stands for a fresh temporary folder.
struct SysInfoCase {
    const char* name;
    std::optional<KeyValueStore::Value> path;    // the "PATH" value
    std::optional<KeyValueStore::Value> folder;  // the "MSINFO" value
    enum { Nothing, File, Directory } programInFolder;
    std::optional<bool> startAnswer;  // nullopt: no start expected
    const char* startedProgram;
    bool message;
};

class StartSysInfoTest : public testing::TestWithParam<SysInfoCase> {};

TEST_P(StartSysInfoTest, StartsTheRecordedProgramOrSaysItCannot) {
    const SysInfoCase& c = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const auto withDir = [&](QByteArray text) {
        return text.replace("{dir}", QFile::encodeName(dir.path()));
    };
    FakeStore store;
    if (c.path) store.put(kLocalMachine, kMsInfoKey, "PATH", {c.path->type, withDir(c.path->data)});
    if (c.folder) {
        store.put(kLocalMachine, kLocationKey, "MSINFO", {c.folder->type, withDir(c.folder->data)});
    }
    const QString program = dir.filePath("MSINFO32.EXE");
    if (c.programInFolder == SysInfoCase::File) {
        QFile file(program);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    } else if (c.programInFolder == SysInfoCase::Directory) {
        ASSERT_TRUE(QDir().mkpath(program));
    }

    ScriptedUiServices ui;
    if (c.startAnswer) ui.answerStartProgram(*c.startAnswer);
    if (c.message) ui.answerMessage(dozo::UiServices::Answer::Ok);

    const bool started = dozo::StartSysInfo(store, ui);

    EXPECT_EQ(started, c.startAnswer.value_or(false));
    std::size_t next = 0;
    if (c.startAnswer) {
        ASSERT_GT(ui.calls().size(), next);
        EXPECT_EQ(ui.calls()[next].kind, Kind::StartProgram);
        EXPECT_EQ(ui.calls()[next].text.toStdString(),
                  QString::fromUtf8(withDir(c.startedProgram)).toStdString());
        ++next;
    }
    if (c.message) {
        ASSERT_GT(ui.calls().size(), next);
        const auto& call = ui.calls()[next];
        EXPECT_EQ(call.kind, Kind::MessageBox);
        EXPECT_EQ(call.text.toStdString(), "現時点ではｼｽﾃﾑ情報を使用できません");
        EXPECT_EQ(call.title.toStdString(), "Vuvurazir");
        EXPECT_EQ(call.buttons, dozo::UiServices::Buttons::Ok);
        EXPECT_EQ(call.icon, dozo::UiServices::Icon::None);
        ++next;
    }
    EXPECT_EQ(ui.calls().size(), next);
}

const QByteArray kFolder = QByteArray("{dir}\0", 6);

INSTANTIATE_TEST_SUITE_P(
    Steps, StartSysInfoTest,
    testing::Values(
        SysInfoCase{"RecordedPathStarts", KeyValueStore::Value{1, "/opt/info/sysinfo"},
                    std::nullopt, SysInfoCase::Nothing, true, "/opt/info/sysinfo", false},
        SysInfoCase{"RecordedPathFailsToStart", KeyValueStore::Value{1, "/opt/info/sysinfo"},
                    std::nullopt, SysInfoCase::Nothing, false, "/opt/info/sysinfo", true},
        // The path wins over the folder when both are recorded.
        SysInfoCase{"RecordedPathBeforeFolder", KeyValueStore::Value{1, "/opt/info/sysinfo"},
                    KeyValueStore::Value{1, kFolder}, SysInfoCase::File, true, "/opt/info/sysinfo",
                    false},
        // A path of another type reads as empty: nothing to start, and the
        // folder is not consulted.
        SysInfoCase{"PathOfOtherTypeHasNothingToStart",
                    KeyValueStore::Value{2, QByteArray("%ProgramFiles%\\info\0", 20)},
                    KeyValueStore::Value{1, kFolder}, SysInfoCase::File, std::nullopt, "", true},
        SysInfoCase{"FolderHoldingTheProgram", std::nullopt, KeyValueStore::Value{1, kFolder},
                    SysInfoCase::File, true, "{dir}/MSINFO32.EXE", false},
        SysInfoCase{"FolderWithoutTheProgram", std::nullopt, KeyValueStore::Value{1, kFolder},
                    SysInfoCase::Nothing, std::nullopt, "", true},
        SysInfoCase{"FolderWithADirectoryOfThatName", std::nullopt,
                    KeyValueStore::Value{1, kFolder}, SysInfoCase::Directory, std::nullopt, "",
                    true},
        SysInfoCase{"NothingRecorded", std::nullopt, std::nullopt, SysInfoCase::File, std::nullopt,
                    "", true}),
    [](const testing::TestParamInfo<SysInfoCase>& test) { return std::string(test.param.name); });

// The Linux back end, over folders made for each test.
class SystemInfoStoreTest : public testing::Test {
protected:
    QString folder(const QString& name) {
        const QString path = m_root.filePath(name);
        EXPECT_TRUE(QDir().mkpath(path));
        return path;
    }
    static void program(const QString& path, bool executable = true) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\nexit 0\n");
        file.close();
        QFile::Permissions permissions = QFile::ReadOwner | QFile::WriteOwner;
        if (executable) permissions |= QFile::ExeOwner;
        ASSERT_TRUE(file.setPermissions(permissions));
    }

    QTemporaryDir m_root;
};

TEST_F(SystemInfoStoreTest, TakesTheEarliestCandidateThatIsAnExecutableFile) {
    const QString a = folder("a");
    const QString b = folder("b");
    program(a + "/xfce4-taskmanager");
    program(b + "/kinfocenter");
    // The list decides, not the order of the folders.
    EXPECT_EQ(dozo::SystemInfoStore::findProgram(a + ":" + b).toStdString(),
              (b + "/kinfocenter").toStdString());
    // Earlier candidates that are not executable files are passed over.
    program(a + "/hardinfo", false);
    ASSERT_TRUE(QDir().mkpath(a + "/hardinfo2"));
    EXPECT_EQ(dozo::SystemInfoStore::findProgram(a + ":" + b).toStdString(),
              (b + "/kinfocenter").toStdString());
}

TEST_F(SystemInfoStoreTest, NeverSearchesTheCurrentFolder) {
    const QString here = folder("here");
    program(here + "/gnome-system-monitor");
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(here));
    const QString found = dozo::SystemInfoStore::findProgram(":.::bin");
    QDir::setCurrent(previous);
    EXPECT_TRUE(found.isEmpty()) << found.toStdString();
}

TEST_F(SystemInfoStoreTest, AnswersThePathValueFromPathOnly) {
    const QString bin = folder("bin");
    program(bin + "/lxtask");
    const QByteArray previous = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(bin));
    dozo::SystemInfoStore store;
    const auto path = store.read(kLocalMachine, kMsInfoKey, "PATH");
    const auto folderValue = store.read(kLocalMachine, kLocationKey, "MSINFO");
    const auto otherRoot = store.read(0x80000001u, kMsInfoKey, "PATH");
    QString text;
    const bool read = dozo::GetKeyValue(store, kLocalMachine, kMsInfoKey, "PATH", text);
    qputenv("PATH", QFile::encodeName(m_root.filePath("empty")));
    const auto none = store.read(kLocalMachine, kMsInfoKey, "PATH");
    qputenv("PATH", previous);

    ASSERT_TRUE(path);
    EXPECT_EQ(path->type, KeyValueStore::kString);
    EXPECT_EQ(path->data, QFile::encodeName(bin + "/lxtask") + '\0');
    EXPECT_TRUE(read);
    EXPECT_EQ(text.toStdString(), (bin + "/lxtask").toStdString());
    EXPECT_FALSE(folderValue);
    EXPECT_FALSE(otherRoot);
    EXPECT_FALSE(none);
}

}  // namespace
