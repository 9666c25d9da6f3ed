#pragma once

#include "app/shell/ShellContext.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>
#include <QWidget>
#include <array>

namespace dozo {

// Tab 3 "Zurozid": runs the keyed stream with the typed key on every listed
// file.
class KeyedPanel : public QWidget {
    Q_OBJECT
public:
    // The key the box shows at start and gets back when a run finds it empty.
    static constexpr const char* kDefaultKey = "7";
    static constexpr int kKeyMaxLength = 255;

    explicit KeyedPanel(ShellContext& shell, QWidget* parent = nullptr);

    // The commands of the panel, one per control event.
    void cmdVovAdd_Click();
    void cmdVovDel_Click();
    void cmdVovClear_Click();
    void VovType_Click(int index);
    // Keys every listed file in place with the key of txtKey, off the
    // window's thread. A key code page 932 cannot hold is refused before any
    // file is touched, and so is one typed masked that a second entry does
    // not repeat (the initial key is not asked again).
    void cmdVovEnc_Click();
    // Appends each dropped path and selects the first entry with its text.
    // `unnamed`: dropped files whose names are not UTF-8, escaped.
    void lstVov_OLEDragDrop(const QStringList& paths, const QStringList& unnamed = {});
    // Whether the keyed library was found; without it the method is disabled.
    void setLibraryPresent(bool present);

protected:
    ShellContext& m_shell;

private:
    // The controls, by their object names. The window's enablement tick
    // reads and sets them; everything else goes through the commands above.
    friend class EnablementTick;

    QLabel* Label5;
    QListWidget* lstVov;
    QGroupBox* Frame2;
    QWidget* Picture2;
    // VovType_0, the only member; the group's ids are the indices.
    std::array<QRadioButton*, 1> VovType;
    QButtonGroup* VovTypeGroup;
    QPushButton* cmdVovAdd;
    QPushButton* cmdVovDel;
    QPushButton* cmdVovClear;
    QLabel* Label6;
    QLineEdit* txtKey;
    QPushButton* cmdVovEnc;
    QProgressBar* VovPrg;
    QPushButton* VovCancel;

    void createControls();
    void connectCommands();
};

}  // namespace dozo
