#include "main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDropEvent>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <exception>
#include <utility>

#include "conversion_error.h"
#include "path_box.h"
#include "platform.h"
#include "qt_file_dialog.h"

namespace sorrelin {
namespace {

const QString kTitle = QStringLiteral("Sorrelin");

// The layout's unit: 15 twips make one device-independent pixel.
QRect Twips(int left, int top, int width, int height) {
  return QRect(left / 15, top / 15, width / 15, height / 15);
}

// The layout was made for a small 8-point font; larger ones clip the captions.
constexpr int kFontPointSize = 8;

// How often an idle window looks for an interrupt signal.
constexpr std::chrono::milliseconds kInterruptPollInterval{150};

// The local path of the first file in dropped data, or empty.
QString DroppedPath(const QMimeData* data) {
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile()) return QDir::toNativeSeparators(url.toLocalFile());
  }
  return {};
}

}  // namespace

// While a conversion runs: the wait cursor, no input (input given meanwhile is
// dropped) but Escape, which cancels. Afterwards the title and the keyboard focus
// are as they were.
class MainWindow::Converting {
 public:
  explicit Converting(MainWindow& window) : window_(window), focus_(window.focusWidget()) {
    window_.converting_ = true;
    window_.cancelRequested_ = false;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    window_.setEnabled(false);
    qApp->installEventFilter(&window_);  // a disabled window gets no key events
  }
  ~Converting() {
    qApp->removeEventFilter(&window_);
    QCoreApplication::processEvents();
    window_.setEnabled(true);
    QApplication::restoreOverrideCursor();
    window_.setWindowTitle(kTitle);
    if (focus_) focus_->setFocus();
    window_.converting_ = false;
  }
  Converting(const Converting&) = delete;
  Converting& operator=(const Converting&) = delete;

 private:
  MainWindow& window_;
  QPointer<QWidget> focus_;
};

MainWindow::MainWindow(std::unique_ptr<FileDialog> dialog,
                       std::unique_ptr<MessagePresenter> messages)
    : command1_(new QPushButton(QStringLiteral("Conversion"), this)),
      command2_(new QPushButton(QStringLiteral("Path"), this)),
      text1_(new PathBox(this)),
      image1_(new QLabel(this)),
      cmd_(dialog ? std::move(dialog) : std::make_unique<QtFileDialog>(this)),
      messages_(messages ? std::move(messages) : std::make_unique<MessageBoxPresenter>(this)) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(kTitle);
  // The size is fixed: no maximise button.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  QIcon icon;
  icon.addFile(QStringLiteral(":/sorrelin/icon-16.png"), QSize(16, 16));
  icon.addFile(QStringLiteral(":/sorrelin/icon-32.png"), QSize(32, 32));
  setWindowIcon(icon);
  QFont smallFont = font();
  smallFont.setPointSize(kFontPointSize);
  setFont(smallFont);
  setFixedSize(5070 / 15, 1515 / 15);
  setAcceptDrops(true);

  command1_->setObjectName(QStringLiteral("Command1"));
  command1_->setGeometry(Twips(600, 840, 975, 375));
  command1_->setToolTip(QStringLiteral("Realize the conversion"));
  command2_->setObjectName(QStringLiteral("Command2"));
  command2_->setGeometry(Twips(600, 240, 975, 375));
  command2_->setToolTip(QStringLiteral("Choose the *.XMLdig file"));
  for (QPushButton* button : {command1_, command2_}) button->setAutoDefault(true);  // Enter
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
  auto* interruptPoll = new QTimer(this);
  connect(interruptPoll, &QTimer::timeout, this, &MainWindow::EndIfInterrupted);
  interruptPoll->start(kInterruptPollInterval);
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

void MainWindow::ShowProgress(int percent) {
  setWindowTitle(QStringLiteral("Sorrelin \u2013 %1 %").arg(percent));
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  // Installed on the application while a conversion runs; a message box keeps its keys.
  if (event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape && watched->isWidgetType() &&
      static_cast<QWidget*>(watched)->window() == this) {
    cancelRequested_ = true;
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (converting_) {  // cancel, and close once the conversion has stopped
    cancelRequested_ = true;
    closeWhenConverted_ = true;
    event->ignore();
    return;
  }
  QWidget::closeEvent(event);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (!DroppedPath(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
  const QString path = DroppedPath(event->mimeData());
  if (path.isEmpty()) return;
  SetPathText(path);
  event->acceptProposedAction();
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
    Converting converting(*this);
    RunConversionInBackground(PathText(), *this, cancelRequested_, progressDelay_);
  });
  EndIfInterrupted();
  if (std::exchange(closeWhenConverted_, false)) close();
}

void MainWindow::OnPathClicked() {
  RunReportingFailures(
      [this] { ChooseInputFile(*cmd_, [this](const QString& name) { SetPathText(name); }); });
}

void MainWindow::EndIfInterrupted() {
  const int signal = CaughtInterruptSignal();
  if (signal == 0) return;
  if (!converting_) EndAsSignalled(signal);
  // The conversion stops at its next block; a message it shows is closed so that it can.
  if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
}

}  // namespace sorrelin
