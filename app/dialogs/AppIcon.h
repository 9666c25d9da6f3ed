#pragma once

#include <QIcon>
#include <QPixmap>

namespace dozo {

// The application icon (a sheet locked by a padlock), compiled into the
// program at 32, 48 and 256 pixels; the desktop entry installs the same
// pictures under the name "dozo".
class AppIcon {
public:
    static QIcon icon();
    // The 32 x 32 picture the About box shows.
    static QPixmap small();
};

}  // namespace dozo
