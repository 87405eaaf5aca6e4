// sorrelin: the window.
#include <QApplication>

#include "main_window.h"
#include "platform.h"

int main(int argc, char** argv) {
  sorrelin::CatchInterruptSignals();
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Sorrelin"));
  QApplication::setApplicationVersion(QStringLiteral("1.00"));
  sorrelin::MainWindow window;
  window.show();
  return app.exec();
}
