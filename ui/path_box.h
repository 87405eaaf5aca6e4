#pragma once

#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>

namespace sorrelin {

// An editable path field that shows a long path in full, wrapped inside its box,
// and takes no line breaks: Enter is ignored and pasted line breaks are dropped.
// Lines end after a path separator ('/' or '\'), so that names stay whole unless one
// is wider than the box; the text is the path as it was given. Tabbing into it selects
// its text, so that typing replaces it. Files dropped on it are left to the window.
class PathBox : public QPlainTextEdit {
 public:
  explicit PathBox(QWidget* parent = nullptr);

  // Replaces the text with `path`, with the cursor and the view at its end, where
  // the document's name is.
  void ShowPath(const QString& path);
  // A menu added under the box's own editing menu, which is shown on a right-click.
  void AddToContextMenu(QMenu* menu) { addedMenu_ = menu; }

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void insertFromMimeData(const QMimeData* source) override;
  void showEvent(QShowEvent* event) override;

 private:
  bool showEndWhenShown_ = false;
  QPointer<QMenu> addedMenu_;
};

}  // namespace sorrelin
