// sorrelin: the window, optionally with a document in its path box.
#include <QApplication>

#include "interrupt_signals.h"
#include "main_window.h"
#include "window_command_line.h"

int main(int argc, char** argv) {
  sorrelin::CatchInterruptSignals();
  QCoreApplication::setApplicationName(QStringLiteral("Sorrelin"));
  QCoreApplication::setApplicationVersion(QStringLiteral(SORRELIN_VERSION));
  // Read before the window system is reached, so --help and --version need no display.
  const QString file = [&] {
    const QCoreApplication reader(argc, argv);
    return sorrelin::FileArgument(QCoreApplication::arguments());
  }();
  QApplication app(argc, argv);
  sorrelin::MainWindow window;
  if (!file.isEmpty()) window.SetPathText(file);
  window.show();
  return app.exec();
}
