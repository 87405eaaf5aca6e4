#pragma once

#include <QString>
#include <QStringList>

namespace sorrelin {

// Reads the window's command line, "sorrelin [FILE]", with QCommandLineParser:
// --help, --version and usage errors are answered and end the program. Returns
// FILE as an absolute native path, or empty when none is given.
QString FileArgument(const QStringList& arguments);

}  // namespace sorrelin
