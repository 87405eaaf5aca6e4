#include "main_window.h"

#include <QApplication>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <exception>

#include "conversion_error.h"
#include "path_box.h"
#include "qt_file_dialog.h"

namespace sorrelin {
namespace {

// The layout's unit: 15 twips make one device-independent pixel.
QRect Twips(int left, int top, int width, int height) {
  return QRect(left / 15, top / 15, width / 15, height / 15);
}

// The layout was made for a small 8-point font; larger ones clip the captions.
constexpr int kFontPointSize = 8;

// Wait cursor and no input while a command runs; input given meanwhile is dropped.
class BusyWindow {
 public:
  explicit BusyWindow(QWidget* window) : window_(window) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    window_->setEnabled(false);
  }
  ~BusyWindow() {
    QCoreApplication::processEvents();
    window_->setEnabled(true);
    QApplication::restoreOverrideCursor();
  }
  BusyWindow(const BusyWindow&) = delete;
  BusyWindow& operator=(const BusyWindow&) = delete;

 private:
  QWidget* window_;
};

}  // namespace

MainWindow::MainWindow(std::unique_ptr<FileDialog> dialog,
                       std::unique_ptr<MessagePresenter> messages)
    : command1_(new QPushButton(QStringLiteral("Conversion"), this)),
      command2_(new QPushButton(QStringLiteral("Path"), this)),
      text1_(new PathBox(this)),
      image1_(new QLabel(this)),
      cmd_(dialog ? std::move(dialog) : std::make_unique<QtFileDialog>(this)),
      messages_(messages ? std::move(messages) : std::make_unique<MessageBoxPresenter>(this)) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QStringLiteral("Sorrelin"));
  QIcon icon;
  icon.addFile(QStringLiteral(":/sorrelin/icon-16.png"), QSize(16, 16));
  icon.addFile(QStringLiteral(":/sorrelin/icon-32.png"), QSize(32, 32));
  setWindowIcon(icon);
  QFont smallFont = font();
  smallFont.setPointSize(kFontPointSize);
  setFont(smallFont);
  setFixedSize(5070 / 15, 1515 / 15);

  command1_->setObjectName(QStringLiteral("Command1"));
  command1_->setGeometry(Twips(600, 840, 975, 375));
  command1_->setToolTip(QStringLiteral("Realize the conversion"));
  command2_->setObjectName(QStringLiteral("Command2"));
  command2_->setGeometry(Twips(600, 240, 975, 375));
  command2_->setToolTip(QStringLiteral("Choose the *.XMLdig file"));
  text1_->setObjectName(QStringLiteral("Text1"));
  text1_->setGeometry(Twips(1680, 120, 3255, 1245));
  text1_->setToolTip(QStringLiteral("Path of the *.XMLdig file"));
  text1_->setPlainText(kRootFolder);
  image1_->setObjectName(QStringLiteral("Image1"));
  image1_->setGeometry(Twips(0, -240, 435, 1995));
  image1_->setPixmap(QPixmap(QStringLiteral(":/sorrelin/strip.bmp")));
  image1_->lower();

  setTabOrder(command1_, command2_);
  setTabOrder(command2_, text1_);
  command1_->setFocus();

  connect(command1_, &QPushButton::clicked, this, &MainWindow::OnConversionClicked);
  connect(command2_, &QPushButton::clicked, this, &MainWindow::OnPathClicked);
}

MainWindow::~MainWindow() = default;

std::string MainWindow::PathText() const { return text1_->toPlainText().toStdString(); }

void MainWindow::SetPathText(const QString& text) { text1_->setPlainText(text); }

void MainWindow::ShowMessage(const std::string& text) {
  // A conversion keeps the window busy; its message is answered with the window's input.
  const bool busy = !isEnabled();
  if (busy) {
    QApplication::restoreOverrideCursor();
    setEnabled(true);
  }
  messages_->Show(QString::fromStdString(text));
  if (busy) {
    setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
  }
}

// The top-level error policy: one message with the failure's number and
// description, and the window carries on.
template <typename Command>
void MainWindow::RunReportingFailures(Command command) {
  try {
    command();
  } catch (const ConversionError& error) {
    messages_->Show(QStringLiteral("Error %1: %2")
                        .arg(error.Number())
                        .arg(QString::fromStdString(error.what())));
  } catch (const std::exception& error) {
    messages_->Show(QStringLiteral("Error: %1").arg(QString::fromStdString(error.what())));
  }
}

void MainWindow::OnConversionClicked() {
  RunReportingFailures([this] {
    BusyWindow busy(this);
    RunConversion(*this);
  });
}

void MainWindow::OnPathClicked() {
  RunReportingFailures(
      [this] { ChooseInputFile(*cmd_, [this](const QString& name) { SetPathText(name); }); });
}

}  // namespace sorrelin
