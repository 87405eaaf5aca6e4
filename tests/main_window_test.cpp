#include "main_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTimer>

#include "path_box.h"
#include "qt_file_dialog.h"
#include "test_support.h"

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

// Records every call in order; ShowOpen "chooses" the next queued name, or
// cancels (keeping the last name) when the queue is empty.
class FakeDialog : public FileDialog {
 public:
  FakeDialog(QStringList& calls, QStringList& choices) : calls_(calls), choices_(choices) {}
  void SetDialogTitle(const QString& title) override { calls_ << "title " + title; }
  void SetCancelError(bool cancelError) override {
    calls_ << QStringLiteral("cancelError %1").arg(cancelError);
  }
  void SetFilter(const QString& filter) override { calls_ << "filter " + filter; }
  void SetFlags(int flags) override { calls_ << QStringLiteral("flags %1").arg(flags); }
  void SetInitDir(const QString& folder) override { calls_ << "initDir " + folder; }
  void ShowOpen() override {
    calls_ << QStringLiteral("show");
    if (!choices_.isEmpty()) fileName_ = choices_.takeFirst();
  }
  QString FileName() const override { return fileName_; }

 private:
  QStringList& calls_;
  QStringList& choices_;
  QString fileName_;
};

struct Window {
  QStringList messages, dialogCalls, choices;
  MainWindow window{std::make_unique<FakeDialog>(dialogCalls, choices),
                    std::make_unique<FakeMessages>(messages)};
};

TEST(MainWindow, HasTheControlsTextsAndGeometryOfTheLayout) {
  Window w;
  MainWindow& window = w.window;
  window.show();
  EXPECT_EQ(window.objectName(), "Form1");
  EXPECT_EQ(window.windowTitle(), "Sorrelin");
  EXPECT_EQ(window.size(), QSize(338, 101));
  EXPECT_EQ(window.minimumSize(), window.maximumSize());
  EXPECT_FALSE(window.windowIcon().isNull());

  struct Control {
    const char* name;
    QRect geometry;
    QString text;
    QString toolTip;
  };
  const std::vector<Control> controls = {
      {"Command1", {40, 56, 65, 25}, "Conversion", "Realize the conversion"},
      {"Command2", {40, 16, 65, 25}, "Path", "Choose the *.XMLdig file"},
      {"Text1", {112, 8, 217, 83}, kRootFolder, "Path of the *.XMLdig file"},
  };
  for (const Control& c : controls) {
    SCOPED_TRACE(c.name);
    auto* widget = window.findChild<QWidget*>(c.name);
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(widget->geometry(), c.geometry);
    EXPECT_EQ(widget->toolTip(), c.toolTip);
    if (auto* button = qobject_cast<QPushButton*>(widget)) {
      EXPECT_EQ(button->text(), c.text);
      QStyleOptionButton option;
      option.initFrom(button);
      option.text = button->text();
      const QRect contents =
          button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
      EXPECT_LE(button->fontMetrics().horizontalAdvance(c.text), contents.width());
      EXPECT_LE(button->fontMetrics().height(), contents.height());
    } else {
      EXPECT_EQ(window.PathField()->toPlainText(), c.text);
    }
  }
  auto* image = window.findChild<QLabel*>("Image1");
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->geometry(), QRect(0, -16, 29, 133));
  EXPECT_EQ(image->pixmap().size(), QSize(29, 133));
  EXPECT_EQ(image->focusPolicy(), Qt::NoFocus);

  EXPECT_EQ(window.focusWidget(), window.ConversionButton());
  EXPECT_EQ(window.ConversionButton()->nextInFocusChain(), window.PathButton());
  EXPECT_EQ(window.PathButton()->nextInFocusChain(), window.PathField());
}

TEST(MainWindow, ConversionClickConvertsSilentlyOrShowsOneMessageAndCarriesOn) {
  TempFolder folder;
  WriteFile(folder / "run1.XMLdig",
            testing::DocumentXml(2, 3, std::vector<std::uint8_t>{1, 0, 1, 0, 1, 1}));
  WriteFile(folder / "bad.XMLdig", testing::DocumentXml("two", "3", "AQ=="));
  Window w;
  w.window.show();
  w.window.ConversionButton()->click();  // the initial path is a folder
  for (const char* name : {"bad.XMLdig", "bad.XMLdig", "run1.XMLdig"}) {
    w.window.PathField()->setPlainText(QString::fromStdString(testing::Text(folder / name)));
    w.window.ConversionButton()->click();
  }
  const QStringList expected = {
      "Error: \"" + kRootFolder + "\" is a folder, not a document",
      "Error 1007: line count is not a number: \"two\"",
      "Error 1007: line count is not a number: \"two\"",
  };
  EXPECT_EQ(w.messages, expected);
  EXPECT_EQ(testing::ReadFile(folder / "run1.txt"), "1,0,1,\r\n0,1,1,\r\n");
  EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"bad.XMLdig", "run1.XMLdig", "run1.txt"}));
  EXPECT_TRUE(w.window.isVisible());
  EXPECT_TRUE(w.window.isEnabled());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(MainWindow, PathClickSetsTheDialogUpEveryTimeAndCopiesItsFileName) {
  Window w;
  w.choices = {"/acq/run1.XMLdig"};
  w.window.PathButton()->click();
  EXPECT_EQ(w.window.PathField()->toPlainText(), "/acq/run1.XMLdig");
  w.window.PathField()->setPlainText("typed");
  w.window.PathButton()->click();  // cancelled: the dialog keeps its last name
  EXPECT_EQ(w.window.PathField()->toPlainText(), "/acq/run1.XMLdig");

  const QStringList once = {"title Choose the file *.xmldig",
                            "cancelError 0",
                            "filter Digital files (*.XMLdig)|*.XMLdig",
                            "flags 1",
                            "initDir " + kRootFolder,
                            "show"};
  EXPECT_EQ(w.dialogCalls, once + once);
  EXPECT_TRUE(w.messages.isEmpty());

  Window fresh;
  fresh.window.PathButton()->click();  // cancelled before any choice
  EXPECT_EQ(fresh.window.PathField()->toPlainText(), "");
}

TEST(PathBox, TakesNoLineBreaks) {
  PathBox box;
  box.setPlainText("/data/");
  box.moveCursor(QTextCursor::End);
  QApplication::clipboard()->setText("run\n1\r\n.XMLdig");
  box.paste();
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r");
  QCoreApplication::sendEvent(&box, &enter);
  QKeyEvent letter(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, "x");
  QCoreApplication::sendEvent(&box, &letter);
  EXPECT_EQ(box.toPlainText(), "/data/run1.XMLdigx");
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

TEST(QtParts, MessageBoxIsModalOkOnlyWithoutIconTitledSorrelin) {
  QWidget owner;
  MessageBoxPresenter presenter(&owner);
  bool seen = false;
  WhenModalAppears([&seen](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->windowTitle(), "Sorrelin");
    EXPECT_EQ(box->text(), "Error: something");
    EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
    EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
    seen = true;
    box->accept();
  });
  presenter.Show("Error: something");
  EXPECT_TRUE(seen);
}

TEST(QtParts, FileDialogShowsItsSettingsAndKeepsTheLastChoiceOnCancel) {
  TempFolder folder;
  WriteFile(folder / "run1.XMLDIG", "<x/>");
  QWidget owner;
  QtFileDialog dialog(&owner);
  dialog.SetDialogTitle(kDialogTitle);
  dialog.SetFilter(kDialogFilter);
  dialog.SetInitDir(QString::fromStdString(testing::Text(folder.path())));
  const QString chosen = QString::fromStdString(testing::Text(folder / "run1.XMLDIG"));
  WhenModalAppears([&](QWidget* modal) {
    auto* fileDialog = qobject_cast<QFileDialog*>(modal);
    ASSERT_NE(fileDialog, nullptr);
    EXPECT_EQ(fileDialog->windowTitle(), "Choose the file *.xmldig");
    EXPECT_EQ(fileDialog->nameFilters(), QStringList{"Digital files (*.XMLdig)"});
    EXPECT_EQ(QDir(fileDialog->directory()).canonicalPath(),
              QDir(QString::fromStdString(testing::Text(folder.path()))).canonicalPath());
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
