#include "window_command_line.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "message_text.h"
#include "standard_streams.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace sorrelin {
namespace {

const QString kProgram = QStringLiteral("sorrelin");

// Writes `text` to `stream`. A window program on Windows started without a console
// or redirected handles has nowhere to write: it shows a message box instead, as
// QCommandLineParser does.
void Tell(const QString& text, std::FILE* stream) {
#ifdef _WIN32
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  GetStartupInfoW(&startup);
  if (GetConsoleWindow() == nullptr && (startup.dwFlags & STARTF_USESTDHANDLES) == 0) {
    MessageBoxW(nullptr, reinterpret_cast<const wchar_t*>(text.utf16()), L"Sorrelin",
                stream == stderr ? MB_OK | MB_ICONERROR : MB_OK | MB_ICONINFORMATION);
    return;
  }
#endif
  std::fputs(text.toLocal8Bit().constData(), stream);
  std::fflush(stream);
}

// Ends after --help or --version: with status 1 and a line saying so where standard
// output could not take the answer.
[[noreturn]] void EndAnswered(const QString& answer) {
  Tell(answer, stdout);
  if (const std::string fault = StandardOutputFault(); !fault.empty()) {
    Tell(kProgram + QStringLiteral(": ") + QString::fromStdString(fault) + u'\n', stderr);
    std::exit(EXIT_FAILURE);
  }
  std::exit(EXIT_SUCCESS);
}

[[noreturn]] void EndWithUsageError(QString what) {
  if (what.endsWith(u'.')) what.chop(1);  // QCommandLineParser ends its sentences
  // An argument quoted in it is shown with its control characters escaped.
  what = QString::fromStdString(Escaped(what.toStdString()));
  Tell(kProgram + QStringLiteral(": ") + what + QStringLiteral("\nTry '") + kProgram +
           QStringLiteral(" --help' for more information.\n"),
       stderr);
  std::exit(2);
}

}  // namespace

QString FileArgument(const QStringList& arguments) {
  QCommandLineParser parser;
  parser.setApplicationDescription(
      QStringLiteral("Converts a digital waveform document (.XMLdig) into a text table beside "
                     "it.\nFILE starts in the path box; nothing is converted until the "
                     "Conversion button is clicked."));
  const QCommandLineOption help = parser.addHelpOption();
  const QCommandLineOption version = parser.addVersionOption();
  parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("The document to convert."),
                               QStringLiteral("[FILE]"));
  // parse() rather than process(): the answers and their exit statuses are the program's.
  if (!parser.parse(arguments)) EndWithUsageError(parser.errorText());
  if (parser.isSet(QStringLiteral("help-all"))) parser.process(arguments);  // Qt's, and ends
  if (parser.isSet(help)) EndAnswered(parser.helpText());
  if (parser.isSet(version))
    EndAnswered(kProgram + u' ' + QCoreApplication::applicationVersion() + u'\n');
  const QStringList files = parser.positionalArguments();
  if (files.size() > 1) EndWithUsageError(QStringLiteral("only one FILE can be given"));
  return files.isEmpty() ? QString()
                         : QDir::toNativeSeparators(QFileInfo(files.first()).absoluteFilePath());
}

}  // namespace sorrelin
