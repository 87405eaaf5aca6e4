#pragma once

#include <QWidget>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>

#include "background_conversion.h"
#include "file_selection.h"
#include "message_presenter.h"

class QLabel;
class QPushButton;

namespace sorrelin {

class PathBox;

// Form1: the path box, the Conversion and Path buttons and the side image. Each
// click runs its command to completion; a failure is shown with its number and
// the window stays open. A conversion runs on a worker thread while the window
// waits for it, busy but painting, with its progress in the title; Escape or
// closing the window cancels it. An interrupt signal ends the program once no
// conversion runs.
class MainWindow : public QWidget, public ConversionDisplay {
 public:
  // Without arguments the window uses Qt's file dialog and message boxes.
  explicit MainWindow(std::unique_ptr<FileDialog> dialog = nullptr,
                      std::unique_ptr<MessagePresenter> messages = nullptr);
  ~MainWindow() override;

  std::string PathText() const;
  void SetPathText(const QString& text);
  void ShowMessage(const std::string& text) override;
  void ShowProgress(int percent) override;
  // How long a conversion runs before its progress shows in the title.
  void SetProgressDelay(std::chrono::milliseconds delay) { progressDelay_ = delay; }

  QPushButton* ConversionButton() const { return command1_; }
  QPushButton* PathButton() const { return command2_; }
  PathBox* PathField() const { return text1_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  class Converting;

  void OnConversionClicked();
  void OnPathClicked();
  void EndIfInterrupted();
  template <typename Command>
  void RunReportingFailures(Command command);

  QPushButton* command1_;
  QPushButton* command2_;
  PathBox* text1_;
  QLabel* image1_;
  std::unique_ptr<FileDialog> cmd_;
  std::unique_ptr<MessagePresenter> messages_;
  std::chrono::milliseconds progressDelay_{500};
  bool converting_ = false;
  bool closeWhenConverted_ = false;
  std::atomic<bool> cancelRequested_ = false;
};

}  // namespace sorrelin
