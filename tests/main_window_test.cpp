// The window: its captions, conversions with their messages and progress, the path
// from the dialog, drops and the command line, where messages sit, and stopping a
// conversion that waits for data.
#include "main_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QListView>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QWindow>
#include <atomic>
#include <chrono>
#include <thread>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "message_presenter.h"
#include "path_box.h"
#include "qt_file_dialog.h"
#include "test_support.h"
#include "window_test_support.h"
#include "window_command_line.h"

namespace sorrelin {
namespace {

using namespace testing;  // the shared document builder and file helpers

TEST(MainWindow, CaptionsFitAndAClickConvertsSilentlyOrShowsOneMessageAndCarriesOn) {
  TempFolder folder;
  WriteFile(folder / "run1.XMLdig", DocumentXml("2", "3", "AQABAAEB"));
  WriteFile(folder / "bad.XMLdig", DocumentXml("two", "3", "AQ=="));
  Window w;
  for (QPushButton* button : {w.Button("Command1"), w.Button("Command2")}) {
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    if (button->autoDefault()) option.features |= QStyleOptionButton::AutoDefaultButton;
    const QRect contents =
        button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
    EXPECT_LE(button->fontMetrics().horizontalAdvance(button->text()), contents.width());
    EXPECT_LE(button->fontMetrics().height(), contents.height());
  }
  w.Convert();  // the initial path is a folder
  for (const char* name : {"", "bad.XMLdig", "run1.XMLdig"}) {
    w.window->SetPathText(*name ? QString::fromStdString(Text(folder / name)) : "");
    w.Convert();
  }
  const QStringList expected = {
      "Error: \"" + kRootFolder + "\" is a folder, not a document",
      "Error: no document named: the path is empty",
      "Error 1007: line count is not a number: \"two\"",
  };
  EXPECT_EQ(w.messages, expected);
  EXPECT_EQ(ReadFile(folder / "run1.txt"), "1,0,1,\r\n0,1,1,\r\n");
  // Not busy any longer, and the keyboard is back on the button.
  EXPECT_TRUE(w.window->isVisible() && w.window->isEnabled() && !QApplication::overrideCursor() &&
              QApplication::focusWidget() == w.Button("Command1"));
}

// A conversion long enough to report its progress a few times: it ends, or Escape or
// closing the window cancels it at its first progress.
TEST(MainWindow, ShowsProgressWhileBusyAndEscapeOrClosingCancels) {
  TempFolder folder;
  WriteFile(folder / "long.XMLdig", DocumentXml("1", "3145728", std::string(4 << 20, 'A')));
  for (const char* how : {"ends", "Escape", "close"}) {
    SCOPED_TRACE(how);
    WriteFile(folder / "long.txt", "earlier");
    // A block of at most 64 KiB every 20 ms: long enough to show the progress.
    Window w(EnvironmentFor(Way::kInPieces, 65536, 1, std::chrono::milliseconds(20)));
    QStringList titles;
    QObject::connect(w.window.get(), &QWidget::windowTitleChanged, [&](const QString& title) {
      titles << title;
      if (title == "Sorrelin") return;  // the conversion has ended
      EXPECT_FALSE(w.window->isEnabled());
      EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
      if (how[0] == 'E') QTest::keyClick(w.window.get(), Qt::Key_Escape);
      if (how[0] == 'c') w.window->close();
    });
    w.window->SetPathText(QString::fromStdString(Text(folder / "long.XMLdig")));
    w.Convert();
    EXPECT_EQ(titles.last(), "Sorrelin");
    EXPECT_EQ(w.window->isVisible(), how[0] != 'c');
    EXPECT_TRUE(w.messages.isEmpty());
    if (how[0] != 'e') {
      EXPECT_EQ(ReadFile(folder / "long.txt"), "earlier");
      continue;
    }
    EXPECT_EQ(std::filesystem::file_size(folder / "long.txt"), 2u * (3 << 20) + 2);
    ASSERT_GE(titles.size(), 3);  // 0 %, ..., then the plain title
    for (qsizetype i = 0; i + 1 < titles.size(); ++i) {
      EXPECT_EQ(titles[i], QStringLiteral("Sorrelin \u2013 %1 %").arg(titles[i].split(' ')[2]));
      EXPECT_GT(titles[i].split(' ')[2].toInt(), i ? titles[i - 1].split(' ')[2].toInt() : -1);
    }
  }
}

TEST(MainWindow, PathComesFromTheDialogEvenAfterACancelFromDropsAndTheCommandLine) {
  Window w;
  w.choices = {"/acq/run1.XMLdig", "/acq/run2.XMLdig"};
  w.Button("Command2")->setFocus();
  auto press = [](Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
    QTest::keyClick(QApplication::focusWidget(), key, modifiers);
  };
  press(Qt::Key_Return);
  EXPECT_EQ(w.PathField()->toPlainText(), "/acq/run1.XMLdig");
  press(Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_EQ(w.PathField()->toPlainText(), "/acq/run2.XMLdig");
  w.PathField()->setPlainText("typed");
  w.Button("Command2")->click();  // cancelled: the dialog keeps its last name
  EXPECT_EQ(w.PathField()->toPlainText(), "/acq/run2.XMLdig");

  press(Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), w.PathField());
  QApplication::clipboard()->setText("/data/run\n1\r\n.XMLdig");
  w.PathField()->paste();  // replaces the whole path
  press(Qt::Key_Return);
  press(Qt::Key_X);
  press(Qt::Key_Tab);  // leaves the box, which keeps its text
  EXPECT_EQ(QApplication::focusWidget(), w.Button("Command1"));
  EXPECT_EQ(w.PathField()->toPlainText(), "/data/run1.XMLdigx");

  QMimeData data;
  data.setUrls({QUrl("https://example.org/run0.XMLdig"), QUrl::fromLocalFile("/acq/run 1.XMLdig")});
  const QPoint onThePathBox = w.PathField()->geometry().center();
  QDragEnterEvent enter(onThePathBox, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(w.window->windowHandle(), &enter);
  QDropEvent drop(onThePathBox, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(w.window->windowHandle(), &drop);
  EXPECT_EQ(w.PathField()->toPlainText(), QDir::toNativeSeparators("/acq/run 1.XMLdig"));

  EXPECT_EQ(FileArgument({"sorrelin"}), "");
  EXPECT_EQ(FileArgument({"sorrelin", "run1.XMLdig"}),
            QDir::toNativeSeparators(QDir::current().absoluteFilePath("run1.XMLdig")));
}

// The real dialog lists documents in any letter case and nothing else; a message sits
// on its window, inside the screen; the picture runs down the window's left edge.
TEST(MainWindow, DialogListsDocumentsMessagesSitOnTheWindowAndThePictureFillsItsEdge) {
  TempFolder folder;
  for (const char* name : {"a.xmldig", "B.XMLDIG", "c.txt"}) WriteFile(folder / name, "");
  QtFileDialog dialog(nullptr);
  dialog.SetFilter(kDialogFilter);
  dialog.SetInitDir(QString::fromStdString(Text(folder.path())));
  QStringList listed;
  QTimer::singleShot(0, [&] {
    auto* shown = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(shown, nullptr);
    const QListView* view = shown->findChild<QListView*>("listView");
    for (int i = 0; i < 500 && view->model()->rowCount(view->rootIndex()) < 2; ++i)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QTest::qWait(100);  // a file listed late
    for (int row = 0; row < view->model()->rowCount(view->rootIndex()); ++row)
      listed << view->model()->index(row, 0, view->rootIndex()).data().toString();
    shown->close();
  });
  dialog.ShowOpen();
  listed.sort(Qt::CaseInsensitive);
  EXPECT_EQ(listed, QStringList({"a.xmldig", "B.XMLDIG"}));

  Window w;
  const QRect area = w.window->screen()->availableGeometry();
  for (const bool offScreen : {false, true}) {  // centred on the window, or inside the screen
    w.window->move(offScreen ? area.topLeft() - QPoint(300, 90) : area.center() - QPoint(150, 40));
    QRect box;
    QTimer::singleShot(0, [&] {
      QWidget* shown = QApplication::activeModalWidget();
      ASSERT_NE(shown, nullptr);
      box = shown->frameGeometry();
      shown->close();
    });
    MessageBoxPresenter(w.window.get()).Show("Error: x");
    const QPoint off = box.center() - w.window->frameGeometry().center();
    EXPECT_TRUE(area.contains(box)) << box.x() << ',' << box.y();
    EXPECT_TRUE(offScreen || off.manhattanLength() <= 2) << off.x() << ',' << off.y();
  }
  const QWidget* picture = w.window->findChild<QLabel*>("Image1");
  EXPECT_TRUE(picture->geometry().contains(QRect(0, 0, 20, w.window->height())));
  EXPECT_LT(picture->geometry().right(), w.Button("Command1")->geometry().left());
}

// A conversion waiting on a document that sends nothing, a stalled pipe or a FIFO
// without a writer, shows no progress; Escape, closing the window or destroying it
// ends it within a second, and nothing is written. Its thread leaves the stop
// signals to the window's.
TEST(MainWindow, EscapeClosingOrDestroyingEndsAConversionWaitingForDataWithinASecond) {
  std::atomic<bool> stopSignalsBlocked = false;
  ConversionEnvironment silent;  // tells whether the opening thread blocks the stop signals
  silent.openDocument = [&stopSignalsBlocked](std::string_view) {
#ifdef _WIN32
    stopSignalsBlocked = true;
#else  // so that the window's thread gets them
    stopSignalsBlocked = BlockedSignals().starts_with("111");
#endif
    return OpenedDocument{std::make_unique<SilentSource>(), {}};
  };
  std::vector<std::pair<const char*, ConversionEnvironment>> sources = {{"pipe", silent}};
#ifndef _WIN32
  sources.emplace_back("FIFO", ConversionEnvironment{});
#endif
  for (const auto& [source, environment] : sources) {
    for (const char* how : {"Escape", "close", "destroy"}) {
      SCOPED_TRACE(std::string(source) + ", " + how);
      TempFolder folder;
      const bool fifo = source[0] == 'F';
#ifndef _WIN32
      if (fifo) {
        ASSERT_EQ(mkfifo((folder / "run1.XMLdig").c_str(), 0600), 0);
      }
#endif
      Window w(environment);
      w.window->SetPathText(QString::fromStdString(Text(folder / "run1.XMLdig")));
      w.Button("Command1")->click();
      Await([] { return false; }, 600);  // past the half second after which progress shows
      EXPECT_FALSE(w.window->isEnabled());
      EXPECT_EQ(w.window->windowTitle().toStdString(), "Sorrelin");  // the size is not known
      QElapsedTimer stopping;
      stopping.start();
      if (how[0] == 'E') QTest::keyClick(w.window.get(), Qt::Key_Escape);
      if (how[0] == 'c') w.window->close();
      if (how[0] == 'd') w.window.reset();
      const auto& window = w.window;
      Await([&] { return !window || (how[0] == 'c' ? !window->isVisible() : window->isEnabled()); },
            5000);
      EXPECT_LT(stopping.elapsed(), 1000);
      EXPECT_EQ(QApplication::overrideCursor(), nullptr);
      EXPECT_TRUE(w.messages.isEmpty());
      EXPECT_TRUE(!window || window->isVisible() == (how[0] != 'c'));
      EXPECT_EQ(folder.Entries(),
                fifo ? std::vector<std::string>{"run1.XMLdig"} : std::vector<std::string>{});
    }
  }
  EXPECT_TRUE(stopSignalsBlocked);
}

}  // namespace
}  // namespace sorrelin
