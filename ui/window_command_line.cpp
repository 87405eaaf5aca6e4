#include "window_command_line.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <cstdio>
#include <cstdlib>

namespace sorrelin {

QString FileArgument(const QStringList& arguments) {
  QCommandLineParser parser;
  parser.setApplicationDescription(
      QStringLiteral("Converts a digital waveform document (.XMLdig) into a text table beside "
                     "it.\nFILE starts in the path box; nothing is converted until the "
                     "Conversion button is clicked."));
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("The document to convert."),
                               QStringLiteral("[FILE]"));
  parser.process(arguments);
  const QStringList files = parser.positionalArguments();
  if (files.size() > 1) {
    const QString error = QCoreApplication::applicationName() + ": only one FILE can be given\n";
    std::fputs(qPrintable(error), stderr);
    std::exit(EXIT_FAILURE);
  }
  return files.isEmpty() ? QString()
                         : QDir::toNativeSeparators(QFileInfo(files.first()).absoluteFilePath());
}

}  // namespace sorrelin
