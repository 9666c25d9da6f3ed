#pragma once

#include "core/jobs/JobControl.h"

#include <QString>

namespace dozo {

// Every window of the user's packs through the one list file: each holds it
// from writing its list to the archiver's return and the list's removal, or
// a second window's list would be what the first's archiver reads (and packs,
// reporting success), or be removed before its own archiver read it. The
// wait lasts as long as the other pack, so it looks for a cancel meanwhile.
class HeldListFile {
public:
    HeldListFile(const QString& path, const JobControl* control);
    ~HeldListFile();
    HeldListFile(const HeldListFile&) = delete;
    HeldListFile& operator=(const HeldListFile&) = delete;

    bool cancelled() const { return m_cancelled; }

private:
    int m_fd = -1;
    bool m_cancelled = false;
};

}  // namespace dozo
