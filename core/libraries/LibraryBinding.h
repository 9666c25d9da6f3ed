#pragma once

#include "core/libraries/Library.h"
#include "core/startup/AppDirectories.h"

namespace dozo {

// The four libraries the application reaches, each bound on first use with
// the search order: application directory, system directory, then the
// dynamic loader's own search. The archiver skips the application
// directory, as start-up does when it looks for it.
class LibraryBinding {
public:
    explicit LibraryBinding(const AppDirectories& dirs);

    Library& unlha32() { return m_unlha32; }
    Library& rozu32() { return m_rozu32; }
    Library& vod32() { return m_vod32; }
    Library& rivo() { return m_rivo; }

private:
    Library m_unlha32;
    Library m_rozu32;
    Library m_vod32;
    Library m_rivo;
};

}  // namespace dozo
