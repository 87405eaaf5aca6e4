#include "output_opener.h"

#include <QDesktopServices>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#include "conversion_error.h"
#include "conversion_request.h"
#include "formats/format_module.h"
#include "outcome.h"

namespace sorrelin {

QString OutputToOpen(const ConversionRequest& request, const ConversionResult& result) {
  try {
    return QString::fromStdString(request.segment == kEverySegment
                                      ? OutputPathOfSegment(request, 1, result.figures.segments)
                                      : OutputPathOf(request));
  } catch (const ConversionError&) {  // no output is made: the conversion has told why
    return {};
  }
}

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
