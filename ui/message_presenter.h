#pragma once

#include <QString>

class QWidget;

namespace sorrelin {

// Shows the window's messages; returns when the user has dismissed one.
class MessagePresenter {
 public:
  virtual ~MessagePresenter() = default;
  virtual void Show(const QString& text) = 0;
};

// A modal message box owned by `parent`: OK only, no icon, titled "Sorrelin", centred
// on the parent's window and kept on its screen.
class MessageBoxPresenter : public MessagePresenter {
 public:
  explicit MessageBoxPresenter(QWidget* parent) : parent_(parent) {}
  void Show(const QString& text) override;

 private:
  QWidget* parent_;
};

}  // namespace sorrelin
