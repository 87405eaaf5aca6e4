// What the window's tests share: stand-ins for the dialogs and message boxes, a
// document that never ends, and a shown window.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QThread>
#include <chrono>
#include <memory>
#include <thread>

#include "main_window.h"
#include "message_presenter.h"
#include "path_box.h"
#include "qt_file_dialog.h"
#include "test_support.h"

namespace sorrelin {

struct FakeMessages : MessagePresenter {
  explicit FakeMessages(QStringList& shown) : shown(shown) {}
  void Show(const QString& text) override { shown << text; }
  QStringList& shown;
};

// ShowOpen "chooses" the next queued name, or cancels (keeping the last name).
struct FakeDialog : QtFileDialog {
  explicit FakeDialog(QStringList& choices) : QtFileDialog(nullptr), choices(choices) {}
  void ShowOpen() override { name = choices.isEmpty() ? name : choices.takeFirst(); }
  QString FileName() const override { return name; }
  // The save dialog "chooses" `saveAs`, or cancels when it is empty.
  QString ShowSave(const QString&, const QString& suggested, const QString&) override {
    suggestedSave = suggested;
    return saveAs;
  }
  QStringList& choices;
  QString name, saveAs, suggestedSave;
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

struct Window {
  QStringList messages, choices;
  FakeDialog* files = nullptr;  // the window's
  std::unique_ptr<MainWindow> window;

  explicit Window(ConversionEnvironment environment = {}) {
    auto dialog = std::make_unique<FakeDialog>(choices);
    files = dialog.get();
    window = std::make_unique<MainWindow>(
        std::move(dialog), std::make_unique<FakeMessages>(messages), std::move(environment));
    window->show();
    window->activateWindow();
    QCoreApplication::processEvents();  // the activation, so that the window has the keyboard
  }
  QPushButton* Button(const char* name) { return window->findChild<QPushButton*>(name); }
  PathBox* PathField() { return window->findChild<PathBox*>("Text1"); }
  // Clicks Conversion and waits until the conversion has ended.
  void Convert() {
    Button("Command1")->click();
    QCoreApplication::processEvents();
    Await([this] { return window->isEnabled(); }, 15000);
  }
};

}  // namespace sorrelin
