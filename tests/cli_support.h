// Runs the sorrelin-convert program as a script would, and the texts it tells.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include "message_text.h"
#include "platform/files.h"
#include "test_support.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace sorrelin {
namespace {

using namespace testing;  // the shared document builder and file helpers
namespace fs = std::filesystem;

struct Outcome {
  int status;
  std::string out, err;
};

inline Outcome RunConvert(const TempFolder& folder, const std::string& arguments) {
  const auto out = folder / "stdout.log";
  const auto err = folder / "stderr.log";
  const std::string command = std::string("\"") + SORRELIN_CONVERT + "\" " + arguments + " >\"" +
                              Text(out) + "\" 2>\"" + Text(err) + "\"";
#ifdef _WIN32
  // cmd /c strips the outer quotes of a line with more than two: one more pair keeps
  // them. The line goes as wide text, so paths outside the ANSI code page survive.
  const int status = ::_wsystem(PathFromText("\"" + command + "\"").c_str());
  Outcome outcome{status, ReadFile(out), ReadFile(err)};
  // Standard error is a text stream on Windows: its lines end in CR LF. Standard output
  // carries outputs' bytes as they are, and text lines with CR LF (see TextLine).
  std::erase(outcome.err, '\r');
#else
  const int status = std::system(command.c_str());
  Outcome outcome{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(out), ReadFile(err)};
#endif
  fs::remove(out), fs::remove(err);
  return outcome;
}

inline std::string Arg(const std::filesystem::path& path) { return Quoted(Text(path)); }
// A line of text on standard output, as the system ends it.
inline std::string TextLine(const std::string& text) {
#ifdef _WIN32
  return text + "\r\n";
#else
  return text + "\n";
#endif
}
// A failure line on standard error.
inline std::string Line(const fs::path& path, const std::string& failure) {
  return "sorrelin-convert: " + Text(path) + ": " + failure + "\n";
}

}  // namespace
}  // namespace sorrelin
