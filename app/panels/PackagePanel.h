#pragma once

#include "../shell/ShellContext.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

namespace dozo {

// Tab 0 "RIVO暗号化": one target file and a password for the package library.
class PackagePanel : public QWidget {
    Q_OBJECT
public:
    static constexpr int kPasswordMaxLength = 100;

    explicit PackagePanel(ShellContext& shell, QWidget* parent = nullptr);

    QLabel* Label1;
    QLineEdit* TFile;
    QPushButton* BR;
    QLabel* Label2;
    QLineEdit* PASS;
    QFrame* Line3;
    QFrame* Line4;
    QPushButton* LHAEnc;
    QPushButton* Enc;

protected:
    ShellContext& m_shell;

private:
    void createControls();
};

}  // namespace dozo
