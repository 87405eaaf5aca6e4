#include "output_opener.h"

#include <QDesktopServices>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#include "formats/format_module.h"

namespace sorrelin {

OpenCommand OpenCommandFor(const FormatModule& format, const QString& path) {
  if (format.extension == ".sr") {
    const QString viewer = QStandardPaths::findExecutable(QStringLiteral("pulseview"));
    if (!viewer.isEmpty()) return {viewer, {QStringLiteral("-i"), path}};
  }
  return {};
}

bool OpenOutput(const FormatModule& format, const QString& path) {
  const OpenCommand command = OpenCommandFor(format, path);
  if (command.program.isEmpty()) return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
  return QProcess::startDetached(command.program, command.arguments);
}

}  // namespace sorrelin
