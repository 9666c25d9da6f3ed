#pragma once

#include "../shell/ShellContext.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QWidget>
#include <array>

namespace dozo {

// Tab 2 "Rozu32": runs one of the seven transforms on every listed file.
class TransformPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr int kMethodCount = 7;

    explicit TransformPanel(ShellContext& shell, QWidget* parent = nullptr);

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

protected:
    ShellContext& m_shell;

private:
    void createControls();
};

}  // namespace dozo
