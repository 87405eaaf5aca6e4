#pragma once

#include <QString>
#include <QStringList>

namespace sorrelin {

struct FormatModule;
struct ConversionRequest;
struct ConversionResult;

// The output of a conversion that ended well to open: its file, or the first
// segment's of every segment; empty where there is none.
QString OutputToOpen(const ConversionRequest& request, const ConversionResult& result);

// A program and its arguments; no program means the one the desktop associates with
// the file's type.
struct OpenCommand {
  QString program;
  QStringList arguments;
};

// How an output is opened: a sigrok session in PulseView, with the file as its input,
// when PulseView is installed (its desktop entry takes no file); any other output, or
// a session without PulseView, with the desktop's program for its type.
OpenCommand OpenCommandFor(const FormatModule& format, const QString& path);

// Opens the output as OpenCommandFor says, without waiting for the program; returns
// whether it could be started.
bool OpenOutput(const FormatModule& format, const QString& path);

}  // namespace sorrelin
