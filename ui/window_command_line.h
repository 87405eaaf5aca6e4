#pragma once

#include <QString>
#include <QStringList>

namespace sorrelin {

// Reads the window's command line, "sorrelin [FILE]", and answers --help (-h) and
// --version (-v), which end the program with status 0. A usage error ends it with
// status 2, as sorrelin-convert does: "sorrelin: WHAT" and a hint to try --help.
// Returns FILE as an absolute native path, or empty when none is given.
QString FileArgument(const QStringList& arguments);

}  // namespace sorrelin
