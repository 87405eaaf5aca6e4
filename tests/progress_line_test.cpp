// The progress line as a terminal of a set width shows it, through a pseudo-terminal.
#include "progress_line.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <functional>
#include <iostream>
#include <thread>

namespace sorrelin {
namespace {

// A pseudo-terminal that standard error writes to while an action runs.
class PseudoTerminal {
 public:
  PseudoTerminal() : master_(::posix_openpt(O_RDWR | O_NOCTTY)) {
    if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0) {
      slave_ = ::open(::ptsname(master_), O_RDWR | O_NOCTTY);
    }
  }
  ~PseudoTerminal() {
    ::close(slave_);
    ::close(master_);
  }
  bool Open() const { return slave_ >= 0; }
  void Resize(int columns) {
    const winsize size{24, static_cast<unsigned short>(columns), 0, 0};
    ::ioctl(master_, TIOCSWINSZ, &size);
  }
  // The bytes that `action` wrote to standard error, as the terminal received them.
  std::string Capture(const std::function<void()>& action) {
    const int standardError = ::dup(STDERR_FILENO);
    ::dup2(slave_, STDERR_FILENO);
    action();
    ::dup2(standardError, STDERR_FILENO);
    ::close(standardError);
    // Everything written before the mark has come through once the mark has.
    const std::string mark = "<end of capture>";
    [[maybe_unused]] const auto written = ::write(slave_, mark.data(), mark.size());
    std::string bytes;
    pollfd ready{master_, POLLIN, 0};
    char buffer[4096];
    while (!bytes.ends_with(mark) && ::poll(&ready, 1, 5000) > 0) {
      const ssize_t count = ::read(master_, buffer, sizeof buffer);
      if (count <= 0) break;
      bytes.append(buffer, static_cast<std::size_t>(count));
    }
    EXPECT_TRUE(bytes.ends_with(mark));
    bytes.resize(bytes.size() - std::min(bytes.size(), mark.size()));
    return bytes;
  }

 private:
  int master_;
  int slave_ = -1;
};

// One line of a terminal, one character a column: what the bytes written leave on it.
struct TerminalLine {
  explicit TerminalLine(std::size_t columns) : cells(columns, " ") {}
  void Show(const std::string& bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      const auto byte = static_cast<unsigned char>(bytes[i]);
      if (byte == '\r') {
        column = 0;
        atEnd = false;
      } else if (bytes.compare(i, 3, "\x1b[K") == 0) {
        std::fill(cells.begin() + static_cast<long>(column), cells.end(), std::string(" "));
        i += 2;
      } else if (byte < 0x20 || byte == 0x7F) {
        unexpected += bytes[i];
      } else if ((wrapped = wrapped || atEnd)) {
        return;  // the rest goes to the next line
      } else {
        std::size_t length = 1;
        while (i + length < bytes.size() && (bytes[i + length] & 0xC0) == 0x80) ++length;
        cells[column] = bytes.substr(i, length);
        i += length - 1;
        atEnd = column + 1 == cells.size();
        if (!atEnd) ++column;
      }
    }
  }
  // What the line shows, without the spaces at its end.
  std::string Text() const {
    std::string text;
    for (const std::string& cell : cells) text += cell;
    return text.substr(0, text.find_last_not_of(' ') + 1);
  }

  std::vector<std::string> cells;
  std::size_t column = 0;
  bool atEnd = false, wrapped = false;
  std::string unexpected;  // control characters other than \r and "clear to the end"
};

TEST(ProgressLineTest, FitsTheTerminalWithTheNameShortenedAndLeavesNothingWhenErased) {
  std::string name = "R\x01un ";
  for (int i = 0; i < 200; ++i) name += "é";
  name += ".XMLdig";
  PseudoTerminal terminal;
  ASSERT_TRUE(terminal.Open());
  const auto start = std::chrono::steady_clock::now();
  ProgressLine line(&std::cerr, "some folder/" + name);
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));  // it shows after a second
  // The megabytes a second (" MB/s") or seconds left (" left") a line shows; 0 if none.
  const auto told = [](const std::string& text, const char* what) {
    const std::size_t at = text.find(what), from = text.rfind(' ', at - 1) + 1;
    const std::string number = at == std::string::npos ? "0" : text.substr(from, at - from);
    const std::size_t colon = number.find(':');  // M:SS, or "<1 s"
    return number == "s" ? 0.5
           : colon == std::string::npos
               ? std::stod(number)
               : std::stod(number) * 60 + std::stod(number.substr(colon + 1));
  };
  const double firstRate =
      42 / std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  // Each width is taken at once after a resize, not at the next quarter of a second.
  for (const int columns : {40, 200}) {
    SCOPED_TRACE(columns);
    terminal.Resize(columns);
    std::raise(SIGWINCH);
    TerminalLine shown(static_cast<std::size_t>(columns));
    shown.Show(terminal.Capture([&] { line.Update(42'000'000, 100'000'000); }));
    const std::string text = shown.Text();
    EXPECT_EQ(text.rfind("R\\x01un é", 0), 0u) << text;
    EXPECT_NE(text.find("é…é"), std::string::npos) << text;
    EXPECT_NE(text.find("é.XMLdig: 42 %, "), std::string::npos) << text;
    EXPECT_EQ(text.find("left"), std::string::npos) << text;  // not before two seconds
    EXPECT_TRUE(columns != 200 || std::abs(told(text, " MB/s") - firstRate) <= firstRate / 5)
        << text;
    for (const std::string& cell : shown.cells) {  // no character is cut: only whole ones
      EXPECT_TRUE(cell == "é" || cell == "…" || (cell.size() == 1 && cell[0] > 0 && cell[0] < 0x7F))
          << text;
    }

    // The terminal echoes Ctrl-C where the cursor is.
    shown.Show(terminal.Capture([&] {
      std::cerr << "^C";
      line.Erase();
    }));
    EXPECT_EQ(shown.Text(), "");
    EXPECT_FALSE(shown.wrapped);
    EXPECT_EQ(shown.unexpected, "");
  }
  // Later the rate follows the recent one, and the time left is told until all is read.
  const auto second = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - second).count();
  const double rate = firstRate + (18 / seconds - firstRate) * (1 - std::exp(-seconds / 3));
  for (const int read : {60, 100}) {
    terminal.Resize(199 + read / 100);
    std::raise(SIGWINCH);
    TerminalLine shown(200);
    shown.Show(terminal.Capture([&] { line.Update(read * 1'000'000, 100'000'000); }));
    const std::string text = shown.Text();
    EXPECT_TRUE(read != 60 || std::abs(told(text, " MB/s") - rate) <= rate / 5) << text;
    const double left = told(text, " left");
    EXPECT_TRUE(read == 60 ? std::abs(left - 40 / told(text, " MB/s")) <= 1 : left == 0) << text;
  }
}

}  // namespace
}  // namespace sorrelin
