#include "main_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpression>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTimer>
#include <QWindow>

#include "path_box.h"
#include "qt_file_dialog.h"
#include "test_support.h"
#include "window_command_line.h"

namespace sorrelin {
namespace {

using namespace testing;  // the shared document builder and file helpers

class FakeMessages : public MessagePresenter {
 public:
  explicit FakeMessages(QStringList& shown) : shown_(shown) {}
  void Show(const QString& text) override { shown_ << text; }

 private:
  QStringList& shown_;
};

// ShowOpen "chooses" the next queued name, or cancels (keeping the last name) when
// none is left.
class FakeDialog : public FileDialog {
 public:
  explicit FakeDialog(QStringList& choices) : choices_(choices) {}
  void SetDialogTitle(const QString&) override {}
  void SetCancelError(bool) override {}
  void SetFilter(const QString&) override {}
  void SetFlags(int) override {}
  void SetInitDir(const QString&) override {}
  void ShowOpen() override {
    if (!choices_.isEmpty()) fileName_ = choices_.takeFirst();
  }
  QString FileName() const override { return fileName_; }

 private:
  QStringList& choices_;
  QString fileName_;
};

struct Window {
  QStringList messages, choices;
  MainWindow window{std::make_unique<FakeDialog>(choices),
                    std::make_unique<FakeMessages>(messages)};

  Window() {
    window.show();
    window.activateWindow();
    QCoreApplication::processEvents();  // the activation, so that the window has the keyboard
  }
  void SetPath(const std::filesystem::path& path) {
    window.PathField()->setPlainText(QString::fromStdString(Text(path)));
  }
  // Sends a key press to the widget with the keyboard focus.
  void Press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier, QString text = {}) {
    QWidget* focus = QApplication::focusWidget();
    ASSERT_NE(focus, nullptr);
    QKeyEvent event(QEvent::KeyPress, key, modifiers, text);
    QCoreApplication::sendEvent(focus, &event);
  }
};

TEST(MainWindow, CaptionsFitTheirButtons) {
  Window w;
  for (QPushButton* button : {w.window.ConversionButton(), w.window.PathButton()}) {
    SCOPED_TRACE(button->text().toStdString());
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    if (button->autoDefault()) option.features |= QStyleOptionButton::AutoDefaultButton;
    const QRect contents =
        button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
    EXPECT_LE(button->fontMetrics().horizontalAdvance(button->text()), contents.width());
    EXPECT_LE(button->fontMetrics().height(), contents.height());
  }
}

TEST(MainWindow, ConversionClickConvertsSilentlyOrShowsOneMessageAndCarriesOn) {
  TempFolder folder;
  WriteFile(folder / "run1.XMLdig", DocumentXml(2, 3, std::vector<std::uint8_t>{1, 0, 1, 0, 1, 1}));
  WriteFile(folder / "bad.XMLdig", DocumentXml("two", "3", "AQ=="));
  Window w;
  w.window.ConversionButton()->click();  // the initial path is a folder
  for (const char* name : {"bad.XMLdig", "bad.XMLdig", "run1.XMLdig"}) {
    w.SetPath(folder / name);
    w.window.ConversionButton()->click();
  }
  const QStringList expected = {
      "Error: \"" + kRootFolder + "\" is a folder, not a document",
      "Error 1007: line count is not a number: \"two\"",
      "Error 1007: line count is not a number: \"two\"",
  };
  EXPECT_EQ(w.messages, expected);
  EXPECT_EQ(ReadFile(folder / "run1.txt"), "1,0,1,\r\n0,1,1,\r\n");
  EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"bad.XMLdig", "run1.XMLdig", "run1.txt"}));
  EXPECT_TRUE(w.window.isVisible());
  EXPECT_TRUE(w.window.isEnabled());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::focusWidget(), w.window.ConversionButton());
}

// A document of a few read blocks, so that a conversion reports its progress a few times.
void WriteLongDocument(const std::filesystem::path& path) {
  WriteFile(path, DocumentXml(1, 3 << 20, std::vector<std::uint8_t>(3 << 20, 7)));
}

TEST(MainWindow, ProgressShowsInTheTitleWhileTheWindowIsBusy) {
  TempFolder folder;
  WriteLongDocument(folder / "long.XMLdig");
  Window w;
  w.window.SetProgressDelay(std::chrono::milliseconds(0));
  QStringList titles;
  QObject::connect(&w.window, &QWidget::windowTitleChanged, [&](const QString& title) {
    titles << title;
    if (title == "Sorrelin") return;  // the conversion has ended
    EXPECT_FALSE(w.window.isEnabled());
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  });
  w.SetPath(folder / "long.XMLdig");
  w.window.ConversionButton()->click();

  ASSERT_GE(titles.size(), 3);
  EXPECT_EQ(titles.takeLast(), "Sorrelin");
  int last = -1;
  static const QRegularExpression progress(QStringLiteral("^Sorrelin \u2013 (\\d+) %$"));
  for (const QString& title : titles) {
    const QRegularExpressionMatch match = progress.match(title);
    ASSERT_TRUE(match.hasMatch()) << title.toStdString();
    EXPECT_GT(match.captured(1).toInt(), last);
    last = match.captured(1).toInt();
  }
  EXPECT_LE(last, 100);
  EXPECT_EQ(std::filesystem::file_size(folder / "long.txt"), 2u * (3 << 20) + 2);
  EXPECT_TRUE(w.messages.isEmpty());
}

TEST(MainWindow, EscapeOrClosingCancelsAndKeepsTheEarlierOutput) {
  for (const bool closing : {false, true}) {
    SCOPED_TRACE(closing ? "closing" : "Escape");
    TempFolder folder;
    WriteLongDocument(folder / "long.XMLdig");
    WriteFile(folder / "long.txt", "earlier");
    Window w;
    w.window.SetProgressDelay(std::chrono::milliseconds(0));
    QObject::connect(&w.window, &QWidget::windowTitleChanged, [&w, closing] {
      if (closing) {
        w.window.close();
      } else {
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(&w.window, &escape);
      }
    });
    w.SetPath(folder / "long.XMLdig");
    w.window.ConversionButton()->click();
    EXPECT_EQ(ReadFile(folder / "long.txt"), "earlier");
    EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"long.XMLdig", "long.txt"}));
    EXPECT_TRUE(w.messages.isEmpty());
    EXPECT_EQ(w.window.isVisible(), !closing);
    EXPECT_EQ(w.window.windowTitle(), "Sorrelin");
  }
}

TEST(MainWindow, PathClickCopiesTheDialogsFileNameEvenAfterACancel) {
  Window w;
  w.choices = {"/acq/run1.XMLdig"};
  w.window.PathButton()->click();
  EXPECT_EQ(w.window.PathField()->toPlainText(), "/acq/run1.XMLdig");
  w.window.PathField()->setPlainText("typed");
  w.window.PathButton()->click();  // cancelled: the dialog keeps its last name
  EXPECT_EQ(w.window.PathField()->toPlainText(), "/acq/run1.XMLdig");

  Window fresh;
  fresh.window.PathButton()->click();  // cancelled before any choice
  EXPECT_EQ(fresh.window.PathField()->toPlainText(), "");
}

TEST(MainWindow, KeyboardEnterPressesTabSelectsThePathAndLineBreaksAreDropped) {
  Window w;
  w.choices = {"/acq/run1.XMLdig", "/acq/run2.XMLdig"};
  w.window.PathButton()->setFocus();
  w.Press(Qt::Key_Return);
  EXPECT_EQ(w.window.PathField()->toPlainText(), "/acq/run1.XMLdig");
  w.Press(Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_EQ(w.window.PathField()->toPlainText(), "/acq/run2.XMLdig");

  w.Press(Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), w.window.PathField());
  QApplication::clipboard()->setText("/data/run\n1\r\n.XMLdig");
  w.window.PathField()->paste();  // replaces the whole path
  w.Press(Qt::Key_Return, Qt::NoModifier, "\r");
  w.Press(Qt::Key_X, Qt::NoModifier, "x");
  EXPECT_EQ(w.window.PathField()->toPlainText(), "/data/run1.XMLdigx");
}

TEST(MainWindow, DroppedFileAndFileArgumentGoToThePathBox) {
  Window w;
  QMimeData data;
  data.setUrls({QUrl("https://example.org/run0.XMLdig"), QUrl::fromLocalFile("/acq/run 1.XMLdig")});
  const QPoint onThePathBox = w.window.PathField()->geometry().center();
  QDragEnterEvent enter(onThePathBox, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(w.window.windowHandle(), &enter);
  QDropEvent drop(onThePathBox, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(w.window.windowHandle(), &drop);
  EXPECT_EQ(w.window.PathField()->toPlainText(), QDir::toNativeSeparators("/acq/run 1.XMLdig"));

  EXPECT_EQ(FileArgument({"sorrelin"}), "");
  EXPECT_EQ(FileArgument({"sorrelin", "run1.XMLdig"}),
            QDir::toNativeSeparators(QDir::current().absoluteFilePath("run1.XMLdig")));
}

// Closes the next modal window once it is up, after `check` has looked at it.
template <typename Check>
void WhenModalAppears(Check check) {
  QTimer::singleShot(0, [check] {
    QWidget* modal = QApplication::activeModalWidget();
    ASSERT_NE(modal, nullptr);
    check(modal);
  });
}

TEST(QtParts, FileDialogFiltersAnyCaseAndKeepsTheLastChoiceOnCancel) {
  TempFolder folder;
  WriteFile(folder / "run1.XMLDIG", "<x/>");
  QWidget owner;
  QtFileDialog dialog(&owner);
  dialog.SetFilter(kDialogFilter);
  dialog.SetInitDir(QString::fromStdString(Text(folder.path())));
  const QString chosen = QString::fromStdString(Text(folder / "run1.XMLDIG"));
  WhenModalAppears([&](QWidget* modal) {
    auto* fileDialog = qobject_cast<QFileDialog*>(modal);
    ASSERT_NE(fileDialog, nullptr);
    EXPECT_EQ(fileDialog->nameFilters(), QStringList{"Digital files (*.XMLdig)"});
    fileDialog->selectFile(chosen);
    static_cast<QDialog*>(fileDialog)->accept();
  });
  dialog.ShowOpen();
  EXPECT_EQ(QFileInfo(dialog.FileName()).canonicalFilePath(),
            QFileInfo(chosen).canonicalFilePath());
  WhenModalAppears([](QWidget* modal) { static_cast<QDialog*>(modal)->reject(); });
  dialog.ShowOpen();
  EXPECT_EQ(QFileInfo(dialog.FileName()).canonicalFilePath(),
            QFileInfo(chosen).canonicalFilePath());
}

}  // namespace
}  // namespace sorrelin
