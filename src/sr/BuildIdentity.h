#pragma once

// What tells one build of the program from another, for results that a change of the code may
// invalidate.

#include <QByteArray>

namespace sr {

// The program's version and the GNU build ID of the executable or library holding this code
// (the linker's hash of its contents), as text; where there is no such note, the file's size and
// modification time instead. The same for every run of one build.
QByteArray buildIdentity();

} // namespace sr
