#pragma once

#include <QPlainTextEdit>

namespace sorrelin {

// An editable path field that shows a long path in full, wrapped inside its box,
// and takes no line breaks: Enter is ignored and pasted line breaks are dropped.
// Tabbing into it selects its text, so that typing replaces it. Files dropped on
// it are left to the window.
class PathBox : public QPlainTextEdit {
 public:
  explicit PathBox(QWidget* parent = nullptr);

 protected:
  void focusInEvent(QFocusEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void insertFromMimeData(const QMimeData* source) override;
};

}  // namespace sorrelin
