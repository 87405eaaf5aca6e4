#include "main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDir>
#include <QDropEvent>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <utility>

#include "conversion_error.h"
#include "convert_to_menu.h"
#include "failure_text.h"
#include "interrupt_signals.h"
#include "interrupt_watch.h"
#include "output_opener.h"
#include "path_box.h"
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

// The local path of the first file in dropped data, or empty.
QString DroppedPath(const QMimeData* data) {
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile()) return QDir::toNativeSeparators(url.toLocalFile());
  }
  return {};
}

}  // namespace

MainWindow::MainWindow(std::unique_ptr<FileDialog> dialog,
                       std::unique_ptr<MessagePresenter> messages,
                       ConversionEnvironment environment)
    : command1_(new QPushButton(QStringLiteral("Conversion"), this)),
      command2_(new QPushButton(QStringLiteral("Path"), this)),
      text1_(new PathBox(this)),
      image1_(new QLabel(this)),
      convertMenu_(MakeConvertToMenu(
          this, [this](const FormatModule& format) { OpenConvertDialog(format); })),
      cmd_(dialog ? std::move(dialog) : std::make_unique<QtFileDialog>(this)),
      messages_(messages ? std::move(messages) : std::make_unique<MessageBoxPresenter>(this)),
      environment_(std::move(environment)) {
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
  command1_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(command1_, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { ShowConvertMenu(command1_->mapToGlobal(at)); });
  command1_->installEventFilter(this);  // the Menu key and Shift+F10
  text1_->AddToContextMenu(convertMenu_);
  connect(command2_, &QPushButton::clicked, this, &MainWindow::OnPathClicked);
  WatchInterruptSignals(this, [this] { OnInterruptSignal(); });
}

MainWindow::~MainWindow() {
  if (!job_) return;
  delete job_;  // cancels, and waits until the worker has stopped
  qApp->removeEventFilter(this);
  QApplication::restoreOverrideCursor();
}

std::string MainWindow::PathText() const { return text1_->toPlainText().toStdString(); }

void MainWindow::SetPathText(const QString& text) { text1_->ShowPath(text); }

void MainWindow::ShowMessage(const std::string& text) {
  messages_->Show(QString::fromStdString(text));
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == command1_ && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Menu ||
        (key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier)) {
      ShowConvertMenu(command1_->mapToGlobal(QPoint(0, command1_->height())));
      return true;
    }
  }
  // Installed on the application while a conversion runs; a message box keeps its keys.
  if (event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape && watched->isWidgetType() &&
      static_cast<QWidget*>(watched)->window() == this) {
    if (job_) job_->Cancel();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (job_) {  // cancel, and close once the conversion has stopped
    job_->Cancel();
    closeWhenConverted_ = true;
    event->ignore();
    return;
  }
  QWidget::closeEvent(event);
}

void MainWindow::contextMenuEvent(QContextMenuEvent* event) { ShowConvertMenu(event->globalPos()); }

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (!DroppedPath(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
  const QString path = DroppedPath(event->mimeData());
  if (path.isEmpty()) return;
  SetPathText(path);
  event->acceptProposedAction();
}

void MainWindow::OnConversionClicked() {
  ConversionRequest request;  // a table beside the document, replacing no other document
  request.pathText = PathText();
  StartConversion(std::move(request));
}

void MainWindow::ShowConvertMenu(const QPoint& at) {
  if (!job_) convertMenu_->popup(at);
}

void MainWindow::OpenConvertDialog(const FormatModule& format) {
  if (job_) return;
  const std::string path = PathText();
  auto* dialog =
      new ConvertDialog(format, path, knownSegments_.first == path ? knownSegments_.second : 0,
                        convertChoices_, *cmd_, this);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  connect(dialog, &QDialog::finished, this, [this, dialog](int result) {
    convertChoices_ = dialog->Choices();
    if (result == QDialog::Accepted) {
      StartConversion(dialog->Request(),
                      convertChoices_.openWhenDone ? dialog->Request().format : nullptr);
    }
  });
  dialog->open();
}

void MainWindow::StartConversion(ConversionRequest request, const FormatModule* opened) {
  if (job_) return;
  openedFormat_ = opened;
  started_ = request;
  SetBusy(true);
  job_ = new ConversionJob(
      std::move(request), environment_,
      [this](int percent) { setWindowTitle(QStringLiteral("Sorrelin \u2013 %1 %").arg(percent)); },
      [this](const ConversionResult& result) { OnConversionEnded(result); }, this);
}

// The top-level error policy: one message for a failure, with its number when it
// has one, and the window carries on.
void MainWindow::OnConversionEnded(const ConversionResult& result) {
  std::exchange(job_, nullptr)->deleteLater();  // its watcher is telling this now
  SetBusy(false);
  if (const std::string failure = FailureText(result); !failure.empty()) ShowMessage(failure);
  if (result.kind == ConversionResult::Kind::kConverted) {
    knownSegments_ = {started_.pathText, result.figures.segments};
    if (const QString output = OutputToOpen(started_, result); openedFormat_ && !output.isEmpty())
      OpenOutput(*openedFormat_, output);
  }
  if (const int signal = CaughtInterruptSignal()) EndAsSignalled(signal);
  if (std::exchange(closeWhenConverted_, false)) close();
}

void MainWindow::OnPathClicked() {
  ChooseInputFile(*cmd_, [this](const QString& name) { SetPathText(name); });
}

void MainWindow::OnInterruptSignal() {
  const int signal = CaughtInterruptSignal();
  if (signal == 0) return;
  if (!job_) EndAsSignalled(signal);
  // The conversion stops at its next block, and its end ends the program.
  job_->Cancel();
}

// While busy: the wait cursor, no input (input given meanwhile is dropped) but
// Escape, which cancels. Afterwards the title and the keyboard focus are as they were.
void MainWindow::SetBusy(bool busy) {
  if (busy) {
    focusBeforeBusy_ = focusWidget();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    setEnabled(false);
    qApp->installEventFilter(this);  // a disabled window gets no key events
    return;
  }
  qApp->removeEventFilter(this);
  setEnabled(true);
  QApplication::restoreOverrideCursor();
  setWindowTitle(kTitle);
  if (focusBeforeBusy_) focusBeforeBusy_->setFocus();
}

}  // namespace sorrelin
