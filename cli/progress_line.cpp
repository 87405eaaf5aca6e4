#include "progress_line.h"

#include <algorithm>
#include <cstdio>

#include "platform.h"

namespace sorrelin {
namespace {

constexpr std::chrono::seconds kShowAfter{1};
constexpr std::chrono::milliseconds kRefreshEvery{250};
// Keeps the line within 80 columns, so that a carriage return goes back to its start.
constexpr std::size_t kMaxNameBytes = 40;

// The document's file name, its start cut off when it is long (never inside a UTF-8 character).
std::string ShortName(const std::string& pathText) {
  std::string name = PathToText(PathFromText(pathText).filename());
  if (name.empty()) name = pathText;
  if (name.size() <= kMaxNameBytes) return name;
  std::size_t start = name.size() - (kMaxNameBytes - 3);
  while (start < name.size() && (static_cast<unsigned char>(name[start]) & 0xC0) == 0x80) ++start;
  return "..." + name.substr(start);
}

}  // namespace

ProgressLine::ProgressLine(std::ostream* terminal, const std::string& pathText)
    : terminal_(terminal), name_(ShortName(pathText)) {}

void ProgressLine::Update(std::uint64_t bytesRead, std::uint64_t bytesTotal) {
  const Clock::time_point now = Clock::now();
  if (!terminal_ || now - start_ < kShowAfter || now - shownAt_ < kRefreshEvery) return;
  shownAt_ = now;
  const double seconds = std::chrono::duration<double>(now - start_).count();
  const double bytesPerSecond = static_cast<double>(bytesRead) / seconds;
  char text[160];
  if (bytesTotal > 0) {
    const std::uint64_t read = std::min(bytesRead, bytesTotal);
    const auto secondsLeft = static_cast<long long>(
        bytesPerSecond > 0 ? static_cast<double>(bytesTotal - read) / bytesPerSecond : 0);
    std::snprintf(text, sizeof text, "%s: %d %%, %.0f MB/s, %lld:%02lld left", name_.c_str(),
                  static_cast<int>(100.0 * static_cast<double>(read) / bytesTotal),
                  bytesPerSecond / 1e6, secondsLeft / 60, secondsLeft % 60);
  } else {
    std::snprintf(text, sizeof text, "%s: %.0f MB read, %.0f MB/s", name_.c_str(),
                  static_cast<double>(bytesRead) / 1e6, bytesPerSecond / 1e6);
  }
  const std::string line = text;
  // Spaces cover the end of a longer line shown before.
  *terminal_ << '\r' << line << std::string(shownLength_ - std::min(shownLength_, line.size()), ' ')
             << std::flush;
  shownLength_ = std::max(shownLength_, line.size());
}

void ProgressLine::Erase() {
  if (shownLength_ == 0) return;
  *terminal_ << '\r' << std::string(shownLength_, ' ') << '\r' << std::flush;
  shownLength_ = 0;
}

}  // namespace sorrelin
