// sorrelin: the window, optionally with a document in its path box.
#include <QApplication>
#include <QByteArray>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "interrupt_signals.h"
#include "main_window.h"
#include "standard_streams.h"
#include "window_command_line.h"

namespace {

// Qt's messages while the window system is reached, held back. When it cannot be
// reached (no display), Qt gives warnings, then ends the program with a fatal message
// that advises reinstalling it; one line saying what is wrong replaces them all.
// Otherwise they are passed on once the application exists.
struct HeldMessage {
  QtMsgType type;
  QByteArray file, function, category;
  int line;
  QString text;
};
std::mutex heldMutex;
std::vector<HeldMessage> held;
QtMessageHandler passOn = nullptr;

const char* OrNull(const QByteArray& text) { return text.isNull() ? nullptr : text.constData(); }

void Hold(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type == QtFatalMsg) {
    std::fputs(
        "sorrelin: cannot open a display; for conversions without one, use sorrelin-convert\n",
        stderr);
    std::_Exit(EXIT_FAILURE);  // inside Qt's start: nothing else is run
  }
  const std::lock_guard lock(heldMutex);
  held.push_back({type, QByteArray(context.file), QByteArray(context.function),
                  QByteArray(context.category), context.line, text});
}

void HoldMessages() { passOn = qInstallMessageHandler(Hold); }

void PassHeldMessagesOn() {
  qInstallMessageHandler(passOn);
  const std::lock_guard lock(heldMutex);
  for (const HeldMessage& message : held) {
    const QMessageLogContext context(OrNull(message.file), message.line, OrNull(message.function),
                                     OrNull(message.category));
    passOn(message.type, context, message.text);
  }
  held.clear();
}

}  // namespace

int main(int argc, char** argv) {
  sorrelin::OpenClosedStandardStreams();
  sorrelin::CatchInterruptSignals();
  QCoreApplication::setApplicationName(QStringLiteral("Sorrelin"));
  QCoreApplication::setApplicationVersion(QStringLiteral(SORRELIN_VERSION));
  // Read before the window system is reached, so --help and --version need no display.
  const QString file = [&] {
    const QCoreApplication reader(argc, argv);
    return sorrelin::FileArgument(QCoreApplication::arguments());
  }();
  HoldMessages();
  QApplication app(argc, argv);
  PassHeldMessagesOn();
  sorrelin::MainWindow window;
  if (!file.isEmpty()) window.SetPathText(file);
  window.show();
  return app.exec();
}
