#include "message_presenter.h"

#include <QMessageBox>
#include <QScreen>
#include <QShowEvent>
#include <algorithm>

namespace sorrelin {
namespace {

// A message box that places itself: centred on its owner's window and kept, frame
// and all, inside that screen's available area, so that its title bar can always be
// reached. Some window managers place a dialog where part of it is off the screen.
class PlacedMessageBox : public QMessageBox {
 public:
  using QMessageBox::QMessageBox;

 protected:
  // Sent before the box is mapped, once QMessageBox has given it its size.
  void showEvent(QShowEvent* event) override {
    QMessageBox::showEvent(event);
    if (!event->spontaneous()) Place();
  }

 private:
  void Place() {
    const QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr;
    if (owner == nullptr || owner->screen() == nullptr) return;
    // The box is not framed yet; the window manager frames it as it framed its owner.
    const QRect ownerFrame = owner->frameGeometry();
    const QRect ownerInside = owner->geometry();
    const QMargins frame(
        ownerInside.left() - ownerFrame.left(), ownerInside.top() - ownerFrame.top(),
        ownerFrame.right() - ownerInside.right(), ownerFrame.bottom() - ownerInside.bottom());
    QRect box(QPoint(), size().grownBy(frame));
    box.moveCenter(ownerFrame.center());
    // Where the box is larger than the area, its top left corner stays inside.
    const QRect area = owner->screen()->availableGeometry();
    box.moveLeft(std::max(area.left(), std::min(box.left(), area.right() + 1 - box.width())));
    box.moveTop(std::max(area.top(), std::min(box.top(), area.bottom() + 1 - box.height())));
    setGeometry(box.marginsRemoved(frame));
  }
};

}  // namespace

void MessageBoxPresenter::Show(const QString& text) {
  PlacedMessageBox box(QMessageBox::NoIcon, QStringLiteral("Sorrelin"), text, QMessageBox::Ok,
                       parent_);
  box.exec();
}

}  // namespace sorrelin
