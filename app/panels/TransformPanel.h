#pragma once

#include "app/shell/ShellContext.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>
#include <QWidget>
#include <array>

namespace dozo {

// Tab 2 "Rozu32": runs one of the seven transforms on every listed file.
class TransformPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr int kMethodCount = 7;

    explicit TransformPanel(ShellContext& shell, QWidget* parent = nullptr);

    // The commands of the panel, one per control event.
    void BR2_Click();
    void Del2_Click();
    void CmdCL_Click();
    void EncType_Click(int index);
    // Runs the method of ET on every listed file, each in place, off the
    // window's thread; the closing message names every file that failed.
    void cmdEnc_Click();
    // Appends the dropped paths in their order; folders and duplicates too.
    // `unnamed`: dropped files whose names are not UTF-8, escaped.
    void IFN_OLEDragDrop(const QStringList& paths, const QStringList& unnamed = {});
    // Whether the transform library was found; without it the methods are
    // disabled.
    void setLibraryPresent(bool present);

protected:
    ShellContext& m_shell;

private:
    // The controls, by their object names. The window's enablement tick
    // reads and sets them; everything else goes through the commands above.
    friend class EnablementTick;

    QLabel* Label4;
    QListWidget* IFN;
    QGroupBox* Frame1;
    QWidget* Picture1;
    // EncType_0 ... EncType_6; the group's ids are the indices.
    std::array<QRadioButton*, kMethodCount> EncType;
    QButtonGroup* EncTypeGroup;
    QPushButton* BR2;
    QPushButton* Del2;
    QPushButton* CmdCL;
    QPushButton* cmdEnc;
    QProgressBar* Prg1;
    QPushButton* cmdCancel;

    void createControls();
    void connectCommands();
};

}  // namespace dozo
