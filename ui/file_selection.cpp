#include "file_selection.h"

namespace sorrelin {

void ChooseInputFile(FileDialog& dialog, const std::function<void(const QString&)>& setPathText) {
  dialog.SetDialogTitle(kDialogTitle);
  dialog.SetCancelError(false);
  dialog.SetFilter(kDialogFilter);
  dialog.SetFlags(1);
  dialog.SetInitDir(kRootFolder);
  dialog.ShowOpen();
  setPathText(dialog.FileName());
}

}  // namespace sorrelin
