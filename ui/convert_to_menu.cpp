#include "convert_to_menu.h"

#include <QMenu>
#include <utility>

#include "formats/format_list.h"

namespace sorrelin {

QMenu* MakeConvertToMenu(QWidget* parent, std::function<void(const FormatModule&)> chosen) {
  auto* menu = new QMenu(QStringLiteral("Convert &to"), parent);
  menu->setObjectName(QStringLiteral("ConvertToMenu"));
  for (const FormatModule* format : AllFormats()) {
    const QString text =
        QString::fromUtf8(format->choice.data(), static_cast<qsizetype>(format->choice.size()));
    QAction* entry = menu->addAction(text + QStringLiteral("..."));
    QObject::connect(entry, &QAction::triggered, menu, [format, chosen] { chosen(*format); });
  }
  return menu;
}

}  // namespace sorrelin
