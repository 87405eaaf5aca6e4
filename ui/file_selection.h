#pragma once

#include <QString>
#include <functional>

namespace sorrelin {

// The open-file dialog as the file selection drives it: its settings, showing it,
// and the file name it holds afterwards (after a cancel too).
class FileDialog {
 public:
  virtual ~FileDialog() = default;
  virtual void SetDialogTitle(const QString& title) = 0;
  virtual void SetCancelError(bool cancelError) = 0;
  // Pairs of a description and a pattern, all separated by "|".
  virtual void SetFilter(const QString& filter) = 0;
  virtual void SetFlags(int flags) = 0;
  virtual void SetInitDir(const QString& folder) = 0;
  // Shows the modal open-file dialog; returns when it is closed.
  virtual void ShowOpen() = 0;
  virtual QString FileName() const = 0;
  // Shows a modal save-file dialog titled `title`, in the folder of `suggested` and
  // with its name, offering `filter` ("Description (*.ext)"); returns the path chosen,
  // or an empty text after a cancel.
  virtual QString ShowSave(const QString& title, const QString& suggested,
                           const QString& filter) = 0;
};

inline const QString kDialogTitle = QStringLiteral("Choose the file *.xmldig");
inline const QString kDialogFilter = QStringLiteral("Digital files (*.XMLdig)|*.XMLdig");

// The file system's root, where the dialog starts and the path box begins.
#ifdef _WIN32
inline const QString kRootFolder = QStringLiteral("C:\\");
#else
inline const QString kRootFolder = QStringLiteral("/");
#endif

// Sets the dialog up, shows it, and hands its file name to `setPathText`, whether
// the user chose a file or cancelled.
void ChooseInputFile(FileDialog& dialog, const std::function<void(const QString&)>& setPathText);

}  // namespace sorrelin
