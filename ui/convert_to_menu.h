#pragma once

#include <functional>

class QMenu;
class QWidget;

namespace sorrelin {

struct FormatModule;

// The "Convert to" menu, owned by `parent`: an entry per format, in the order of the
// list of formats ("CSV for spreadsheets..."), each calling `chosen` with its format.
QMenu* MakeConvertToMenu(QWidget* parent, std::function<void(const FormatModule&)> chosen);

}  // namespace sorrelin
