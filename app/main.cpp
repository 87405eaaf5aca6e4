// sorrelin: the window, optionally with a document in its path box.
#include <QApplication>

#include "main_window.h"
#include "platform.h"
#include "window_command_line.h"

int main(int argc, char** argv) {
  sorrelin::CatchInterruptSignals();
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Sorrelin"));
  QApplication::setApplicationVersion(QStringLiteral("1.00"));
  const QString file = sorrelin::FileArgument(QApplication::arguments());
  sorrelin::MainWindow window;
  if (!file.isEmpty()) window.SetPathText(file);
  window.show();
  return app.exec();
}
