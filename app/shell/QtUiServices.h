#pragma once

#include "app/shell/UiServices.h"

#include <QPointer>
#include <QWidget>

namespace dozo {

// The real dialogs, owned by (and centred on) the given window.
class QtUiServices : public UiServices {
public:
    explicit QtUiServices(QWidget* owner = nullptr);
    void setOwner(QWidget* owner) { m_owner = owner; }

    Answer messageBox(const QString& text, const QString& title, Buttons buttons,
                      Icon icon) override;
    std::optional<QString> openFileDialog(const QString& title, const QString& filter,
                                          const QString& proposedName) override;
    std::optional<QStringList> openFilesDialog(const QString& title,
                                               const QString& filter) override;
    std::optional<QString> saveFileDialog(const QString& title, const QString& filter,
                                          const QString& proposedName, Existing existing) override;
    std::optional<QString> browseFolder(const QString& prompt) override;
    std::optional<QString> askSecret(const QString& prompt, const QString& title) override;
    bool openDocument(const QString& path) override;
    bool startProgram(const QString& path) override;

private:
    // Save asks before replacing a file; SaveAddingTo does not.
    enum class DialogMode { OpenOne, OpenSeveral, Save, SaveAddingTo };
    std::optional<QStringList> fileDialog(DialogMode mode, const QString& title,
                                          const QString& filter, const QString& proposedName);

    QPointer<QWidget> m_owner;
};

}  // namespace dozo
