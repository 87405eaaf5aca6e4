// Stopping the window's conversion of a document that keeps it waiting for data.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#ifndef _WIN32
#include <pthread.h>
#include <sys/stat.h>

#include <csignal>
#endif

#include "main_window.h"
#include "path_box.h"
#include "test_support.h"

namespace sorrelin {
namespace {

using namespace testing;  // the shared file helpers

struct FakeMessages : MessagePresenter {
  explicit FakeMessages(QStringList& shown) : shown(shown) {}
  void Show(const QString& text) override { shown << text; }
  QStringList& shown;
};

// A pipe whose writer has stalled: every 50 ms a read returns no bytes, for ever.
struct SilentSource : BlockSource {
  Block Read(std::span<char>) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return {};
  }
  std::uint64_t Size() const override { return 0; }
  bool Rereadable() const override { return false; }
  bool Rewind() override { return false; }
  std::optional<FileIdentity> Identity() const override { return std::nullopt; }
};

// Whether the calling thread blocks the stop signals, so that the window's thread gets them.
bool StopSignalsBlocked() {
#ifdef _WIN32
  return true;
#else
  sigset_t mask;
  pthread_sigmask(SIG_BLOCK, nullptr, &mask);
  return sigismember(&mask, SIGINT) && sigismember(&mask, SIGTERM) && sigismember(&mask, SIGHUP);
#endif
}

// Opens a silent source, telling `stopSignalsBlocked` whether the opening thread blocks them.
ConversionEnvironment Silently(std::atomic<bool>& stopSignalsBlocked) {
  ConversionEnvironment environment;
  environment.openDocument = [&stopSignalsBlocked](std::string_view) {
    stopSignalsBlocked = StopSignalsBlocked();
    return OpenedDocument{std::make_unique<SilentSource>(), {}};
  };
  return environment;
}

// Processes events until `done` holds or `milliseconds` have passed.
template <typename Condition>
void Await(Condition done, int milliseconds) {
  QElapsedTimer timer;
  timer.start();
  while (!done() && timer.elapsed() < milliseconds) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(5);
  }
}

// A conversion waiting on a document that sends nothing, a stalled pipe or a FIFO
// without a writer, shows no progress; Escape, closing the window or destroying it
// ends it within a second, and nothing is written. Its thread leaves the stop
// signals to the window's.
TEST(MainWindow, EscapeClosingOrDestroyingEndsAConversionWaitingForDataWithinASecond) {
  std::atomic<bool> stopSignalsBlocked = false;
  std::vector<std::pair<const char*, ConversionEnvironment>> sources = {
      {"pipe", Silently(stopSignalsBlocked)}};
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
      QStringList messages;
      auto window = std::make_unique<MainWindow>(nullptr, std::make_unique<FakeMessages>(messages),
                                                 environment);
      window->show();
      window->findChild<PathBox*>("Text1")->setPlainText(
          QString::fromStdString(Text(folder / "run1.XMLdig")));
      window->findChild<QPushButton*>("Command1")->click();
      Await([] { return false; }, 600);  // past the half second after which progress shows
      EXPECT_FALSE(window->isEnabled());
      EXPECT_EQ(window->windowTitle().toStdString(), "Sorrelin");  // the size is not known
      QElapsedTimer stopping;
      stopping.start();
      if (how[0] == 'E') QTest::keyClick(window.get(), Qt::Key_Escape);
      if (how[0] == 'c') window->close();
      if (how[0] == 'd') window.reset();
      Await([&] { return !window || (how[0] == 'c' ? !window->isVisible() : window->isEnabled()); },
            5000);
      EXPECT_LT(stopping.elapsed(), 1000);
      EXPECT_EQ(QApplication::overrideCursor(), nullptr);
      EXPECT_TRUE(messages.isEmpty());
      if (window) {
        EXPECT_EQ(window->isVisible(), how[0] != 'c');
      }
      EXPECT_EQ(folder.Entries(),
                fifo ? std::vector<std::string>{"run1.XMLdig"} : std::vector<std::string>{});
    }
  }
  EXPECT_TRUE(stopSignalsBlocked);
}

}  // namespace
}  // namespace sorrelin
