#pragma once

#include <QWidget>
#include <memory>
#include <string>

#include "conversion_command.h"
#include "file_selection.h"
#include "message_presenter.h"

class QLabel;
class QPushButton;

namespace sorrelin {

class PathBox;

// Form1: the path box, the Conversion and Path buttons and the side image. Each
// click runs its command to completion; a failure is shown with its number and
// the window stays open.
class MainWindow : public QWidget, public ConversionHost {
 public:
  // Without arguments the window uses Qt's file dialog and message boxes.
  explicit MainWindow(std::unique_ptr<FileDialog> dialog = nullptr,
                      std::unique_ptr<MessagePresenter> messages = nullptr);
  ~MainWindow() override;

  std::string PathText() const override;
  void SetPathText(const QString& text);
  void ShowMessage(const std::string& text) override;

  QPushButton* ConversionButton() const { return command1_; }
  QPushButton* PathButton() const { return command2_; }
  PathBox* PathField() const { return text1_; }

 private:
  void OnConversionClicked();
  void OnPathClicked();
  template <typename Command>
  void RunReportingFailures(Command command);

  QPushButton* command1_;
  QPushButton* command2_;
  PathBox* text1_;
  QLabel* image1_;
  std::unique_ptr<FileDialog> cmd_;
  std::unique_ptr<MessagePresenter> messages_;
};

}  // namespace sorrelin
