#pragma once

#include "app/panels/FileDropFilter.h"
#include "app/shell/ShellContext.h"
#include "core/jobs/PackageJob.h"
#include "core/libraries/PackageCall.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStringList>
#include <QWidget>

namespace dozo {

// Tab 0 "RIVO暗号化": one target file and a password for the package library.
class PackagePanel : public QWidget {
    Q_OBJECT
public:
    static constexpr int kPasswordMaxLength = PackageCall::kPasswordMaxLength;

    explicit PackagePanel(ShellContext& shell, QWidget* parent = nullptr);

    // The commands of the panel; the menu twins run the same ones.
    void BR_Click();
    void Enc_Click();
    void LHAEnc_Click();
    // Takes the first dropped path as the target.
    void TFile_OLEDragDrop(const QStringList& paths);
    // A drop on the target field or the window: its first file becomes the
    // target, unless no path can name it, which an error box then says.
    void takeDrop(const FileDropFilter::Dropped& files);
    // Shows the target the window state holds (start-up's argument).
    void showTarget();

protected:
    ShellContext& m_shell;

private:
    // The controls, by their object names. The window's enablement tick
    // reads and sets them; everything else goes through the commands above.
    friend class EnablementTick;

    QLabel* Label1;
    QLineEdit* TFile;
    QPushButton* BR;
    QLabel* Label2;
    QLineEdit* PASS;
    QFrame* Line3;
    QFrame* Line4;
    QPushButton* LHAEnc;
    QPushButton* Enc;
    QProgressBar* PkgPrg;
    QPushButton* PkgCancel;

    void createControls();
    void connectCommands();
    // Steps shared by both package commands, up to a complete package at
    // EFN; false when the command ends there. `thenArchive` also refuses an
    // archive name that cannot be used, before any work is done.
    void encrypt(bool thenArchive);
    bool targetIsUsable();
    void showError(const QString& text);
    void showAborted(const QString& reason);
    void showCompleted();
    void showCancelled(const PackageJob::Outcome& outcome);
};

}  // namespace dozo
