#include "message_presenter.h"

#include <QMessageBox>

namespace sorrelin {

void MessageBoxPresenter::Show(const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Sorrelin"), text, QMessageBox::Ok, parent_);
  box.exec();
}

}  // namespace sorrelin
