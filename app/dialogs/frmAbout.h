#pragma once

#include "app/shell/QtUiServices.h"
#include "app/shell/UiServices.h"

#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>

namespace dozo {

// The About box: an independent, modeless window without an owner, so the
// program keeps running while it is open and ends only when it and the main
// window are both closed. It is destroyed when closed.
class frmAbout : public QDialog {
    Q_OBJECT
public:
    // `ui` answers the system information button's message; nullptr means the
    // real message box, owned by this box. When given, it must outlive the box.
    explicit frmAbout(UiServices* ui = nullptr);

    // "Version <major>.<minor as 00>".
    static QString versionText(int major, int minor);

    QLabel* picIcon;
    // Member 0 is the title, member 1 its shadow behind it.
    QLabel* lblTitle[2];
    QLabel* lblVersion;
    QLabel* lblDescription;
    // Member 0 the shadow line, member 1 the highlight below it.
    QFrame* Line1[2];
    QLabel* lblDisclaimer;
    QPushButton* cmdOK;
    QPushButton* cmdSysInfo;
    // The copyright and licence line, and the button that shows the notices
    // of Dozo and of what it uses.
    QLabel* lblLicense;
    QPushButton* cmdLicenses;

    // The title's colour on `palette`: the designed dark olive where it is
    // readable, else the palette's text colour.
    static QColor titleColour(const QPalette& palette);

    // The notices: Dozo's licence, then every third party's.
    static QString notices();
    // The open notices window, or nullptr.
    QPlainTextEdit* licensesWindow() const { return m_licenses; }

protected:
    void changeEvent(QEvent* event) override;

private:
    void createControls();
    void colourTitle();
    void Form_Load();
    void cmdSysInfo_Click();
    void cmdLicenses_Click();
    void fixGeometry();

    QtUiServices m_qtUi;
    UiServices* m_ui;
    QPointer<QPlainTextEdit> m_licenses;
};

}  // namespace dozo
