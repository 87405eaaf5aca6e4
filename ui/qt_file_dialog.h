#pragma once

#include <QString>
#include <QStringList>

#include "file_selection.h"

class QWidget;

namespace sorrelin {

// The file dialog on Qt's QFileDialog. It lives as long as its window and keeps the
// last file chosen, which is its file name after a cancel.
class QtFileDialog : public FileDialog {
 public:
  explicit QtFileDialog(QWidget* parent) : parent_(parent) {}

  void SetDialogTitle(const QString& title) override { title_ = title; }
  // A cancel is never an error here, and no Qt option matches the flags.
  void SetCancelError(bool) override {}
  void SetFilter(const QString& filter) override { filter_ = filter; }
  void SetFlags(int) override {}
  void SetInitDir(const QString& folder) override { initDir_ = folder; }
  void ShowOpen() override;
  QString FileName() const override { return fileName_; }
  QString ShowSave(const QString& title, const QString& suggested, const QString& filter) override;

 private:
  QWidget* parent_;
  QString title_;
  QString filter_;
  QString initDir_;
  QString fileName_;
};

// "Digital files (*.XMLdig)|*.XMLdig" in Qt's form: one "Description (patterns)"
// entry per pair.
QStringList QtNameFilters(const QString& filter);

}  // namespace sorrelin
