#pragma once

#include "../shell/ShellContext.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
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

protected:
    ShellContext& m_shell;

private:
    void createControls();
};

}  // namespace dozo
