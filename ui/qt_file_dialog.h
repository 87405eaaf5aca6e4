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
  void SetCancelError(bool cancelError) override { cancelError_ = cancelError; }
  void SetFilter(const QString& filter) override { filter_ = filter; }
  void SetFlags(int flags) override { flags_ = flags; }
  void SetInitDir(const QString& folder) override { initDir_ = folder; }
  void ShowOpen() override;
  QString FileName() const override { return fileName_; }

 private:
  QWidget* parent_;
  QString title_;
  bool cancelError_ = false;  // nothing raises on cancel here; kept as set
  QString filter_;
  int flags_ = 0;  // kept as set; no Qt option corresponds
  QString initDir_;
  QString fileName_;
};

// "Digital files (*.XMLdig)|*.XMLdig" in Qt's form: one "Description (patterns)"
// entry per pair.
QStringList QtNameFilters(const QString& filter);

}  // namespace sorrelin
