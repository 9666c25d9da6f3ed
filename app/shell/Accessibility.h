#pragma once

#include <QFrame>
#include <QString>

namespace dozo {

// One line of an etched separator (two lines, the shadow above the
// highlight). Assistive technology hears of it as a separator: a plain
// QFrame is announced as a frame, a window within the window.
class EtchedLine : public QFrame {
    Q_OBJECT
public:
    explicit EtchedLine(QWidget* parent = nullptr);
};

// What a caption says without its access-key marking and its closing
// colon: "暗号化パスワード(&P)：" reads "暗号化パスワード". The access key
// itself is announced apart from the name.
QString spokenCaption(const QString& caption);

}  // namespace dozo
