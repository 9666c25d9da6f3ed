#pragma once

#include <QString>

namespace dozo {

// Helper programs we start (a system information program, a dialog) are
// looked for in the absolute folders of PATH only: an empty or relative entry
// means the current folder, which is whatever folder the user happens to be
// in, and a program there is not one they chose to run. Every lookup of a
// program by name in the window and dozo-cli goes through here.
//
// The executable regular file `name` in the first absolute folder of `path`
// (a PATH value) that holds one, as an absolute path; empty when there is
// none, or when `name` is not a bare file name.
QString findProgram(const QString& name, const QString& path);
// The same in this process's PATH.
QString findProgram(const QString& name);

}  // namespace dozo
