#pragma once

#include "../shell/ShellContext.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QWidget>

namespace dozo {

// Tab 1 "複数ファイル圧縮": packs the listed files into one LHA archive or
// extracts an archive.
class ArchivePanel : public QWidget {
    Q_OBJECT
public:
    explicit ArchivePanel(ShellContext& shell, QWidget* parent = nullptr);

    QLabel* Label3;
    QListWidget* FL;
    // Scratch text for the extract command; never shown to the user.
    QLabel* L1;
    QPushButton* cmdDelete;
    QPushButton* cmdClear;
    QPushButton* cmdCompress;
    QPushButton* cmdDevelop;

protected:
    ShellContext& m_shell;

private:
    void createControls();
};

}  // namespace dozo
