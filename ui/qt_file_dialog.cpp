#include "qt_file_dialog.h"

#include <QDir>
#include <QFileDialog>

namespace sorrelin {

QStringList QtNameFilters(const QString& filter) {
  QStringList entries;
  const QStringList parts = filter.split(QLatin1Char('|'));
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    const QString& description = parts[i];
    QString patterns = parts[i + 1];
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    entries << (description.contains(QLatin1Char('(') + patterns + QLatin1Char(')'))
                    ? description
                    : description + QStringLiteral(" (") + patterns + QLatin1Char(')'));
  }
  return entries;
}

void QtFileDialog::ShowOpen() {
  QFileDialog dialog(parent_, title_, initDir_);
  dialog.setObjectName(QStringLiteral("CMD"));
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  // Acquisition software names its files in any letter case.
  dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);
  dialog.setNameFilters(QtNameFilters(filter_));
  if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
    fileName_ = QDir::toNativeSeparators(dialog.selectedFiles().constFirst());
  }
}

QString QtFileDialog::ShowSave(const QString& title, const QString& suggested,
                               const QString& filter) {
  QFileDialog dialog(parent_, title);
  dialog.setObjectName(QStringLiteral("SaveAs"));
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setNameFilter(filter);
  dialog.selectFile(suggested);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return QDir::toNativeSeparators(dialog.selectedFiles().constFirst());
}

}  // namespace sorrelin
