#pragma once

#include <QPointer>
#include <QWidget>
#include <memory>
#include <string>
#include <utility>

#include "conversion_command.h"
#include "conversion_job.h"
#include "convert_dialog.h"
#include "file_selection.h"
#include "message_presenter.h"

class QLabel;
class QMenu;
class QPushButton;

namespace sorrelin {

class PathBox;

// Form1: the path box, the Conversion and Path buttons and the side image. A click
// on Conversion starts the conversion on a worker thread; meanwhile the window is
// busy, takes no input but Escape, which cancels, and shows the progress in its
// title. A failure is shown with its number, and the window stays open. Closing the
// window while busy cancels, then closes. An interrupt signal ends the program once
// no conversion runs. The "Convert to" menu (a right-click anywhere, or the Menu key
// or Shift+F10 on Conversion) opens a format's dialog, whose conversion runs the same
// way and may open its output when done.
class MainWindow : public QWidget {
 public:
  // Without arguments the window uses Qt's file dialog and message boxes, and
  // converts files.
  explicit MainWindow(std::unique_ptr<FileDialog> dialog = nullptr,
                      std::unique_ptr<MessagePresenter> messages = nullptr,
                      ConversionEnvironment environment = {});
  ~MainWindow() override;

  std::string PathText() const;
  void SetPathText(const QString& text);
  void ShowMessage(const std::string& text);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void OnConversionClicked();
  void ShowConvertMenu(const QPoint& at);
  void OpenConvertDialog(const FormatModule& format);
  // Runs `request` as Conversion does; once converted, opens the output with `opened`.
  void StartConversion(ConversionRequest request, const FormatModule* opened = nullptr);
  void OnPathClicked();
  void OnConversionEnded(const ConversionResult& result);
  void OnInterruptSignal();
  void SetBusy(bool busy);

  QPushButton* command1_;
  QPushButton* command2_;
  PathBox* text1_;
  QLabel* image1_;
  QMenu* convertMenu_;
  std::unique_ptr<FileDialog> cmd_;
  std::unique_ptr<MessagePresenter> messages_;
  ConversionEnvironment environment_;  // a copy for each conversion
  ConversionJob* job_ = nullptr;       // the conversion under way, if any
  QPointer<QWidget> focusBeforeBusy_;  // where the keyboard returns after a conversion
  bool closeWhenConverted_ = false;
  ConvertChoices convertChoices_;  // the last "Convert to" dialog's, kept while running
  ConversionRequest started_;  // the conversion under way, or the last
  // The format of the output to open once the conversion under way has ended well.
  const FormatModule* openedFormat_ = nullptr;
  // The segments with data of a document converted, as its last conversion found them.
  std::pair<std::string, std::uint64_t> knownSegments_;
};

}  // namespace sorrelin
