#include "progress_line.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>

#include "message_text.h"
#include "platform/files.h"
#include "terminal.h"

namespace sorrelin {
namespace {

constexpr std::chrono::seconds kShowAfter{1};
constexpr std::chrono::milliseconds kRefreshEvery{250};
// The time left is told once the rate has been measured for this long over at least
// this share of the document.
constexpr std::chrono::seconds kEstimateAfter{2};
constexpr double kEstimateFrom = 0.02;
// No time left is told past this many seconds (nor for a rate of nothing).
constexpr double kLongestEstimate = 100 * 3600;
// The rate follows the recent one, its past fading out over about this many seconds.
constexpr double kRateMemory = 3;
// The name keeps at least this many columns before the rate and time left give way.
constexpr std::size_t kLeastNameColumns = 16;
// Free columns at the line's end: the terminal echoes Ctrl-C there as "^C", which
// must not wrap onto the next line, where erasing this one would not reach it.
constexpr std::size_t kEchoColumns = 2;
constexpr const char* kEllipsis = "\u2026";

using NameCharacters = std::vector<ProgressLine::NameCharacter>;

// The document's file name, its control characters escaped as failure lines do.
NameCharacters NameOf(const std::string& pathText) {
  std::string name = PathToText(PathFromText(pathText).filename());
  if (name.empty()) name = pathText;
  NameCharacters characters;
  for (const std::string_view character : Characters(name)) {
    std::string shown = Escaped(character);
    const std::size_t columns = shown == character ? CharacterColumns(character) : shown.size();
    characters.push_back({std::move(shown), columns});
  }
  return characters;
}

std::size_t ColumnsOf(NameCharacters::const_iterator first, NameCharacters::const_iterator last) {
  return std::accumulate(first, last, std::size_t{0},
                         [](std::size_t sum, const auto& c) { return sum + c.columns; });
}

std::string Joined(NameCharacters::const_iterator first, NameCharacters::const_iterator last) {
  std::string text;
  for (; first != last; ++first) text += first->text;
  return text;
}

// The name in at most `columns` columns: whole, or its start and end around an ellipsis.
std::string Fitted(const NameCharacters& name, std::size_t columns) {
  if (ColumnsOf(name.begin(), name.end()) <= columns) return Joined(name.begin(), name.end());
  if (columns == 0) return {};
  const std::size_t room = columns - 1;
  auto head = name.begin();
  std::size_t used = 0;
  while (used + head->columns <= room / 2) used += (head++)->columns;
  auto tail = name.end();
  while (tail != head && used + std::prev(tail)->columns <= room) used += (--tail)->columns;
  return Joined(name.begin(), head) + kEllipsis + Joined(tail, name.end());
}

// Megabytes, with a decimal below 10.
std::string Megabytes(double bytes) {
  char text[32];
  std::snprintf(text, sizeof text, bytes < 9.95e6 ? "%.1f MB" : "%.0f MB", bytes / 1e6);
  return text;
}

std::string TimeLeft(double seconds) {
  if (seconds < 1) return "<1 s left";
  const auto whole = static_cast<long long>(std::ceil(seconds));
  char text[48];
  if (whole < 3600) {
    std::snprintf(text, sizeof text, "%lld:%02lld left", whole / 60, whole % 60);
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld left", whole / 3600, whole / 60 % 60,
                  whole % 60);
  }
  return text;
}

// A part of the line after the name, and how long it stays when room is short.
struct StatusPart {
  std::string text;
  int rank;  // the lowest gives way first
};
constexpr int kRateRank = 0, kTimeLeftRank = 1, kAmountRank = 2;

// "name: part, part, ..." in at most `columns` columns: the parts give way one by one,
// then the name is shortened.
std::string Line(const NameCharacters& name, std::vector<StatusPart> parts, std::size_t columns) {
  const std::size_t leastName = std::min(ColumnsOf(name.begin(), name.end()), kLeastNameColumns);
  const auto lowestRank = [](const StatusPart& a, const StatusPart& b) { return a.rank < b.rank; };
  std::string status;
  while (!parts.empty()) {
    status.clear();
    for (const StatusPart& part : parts) status += (status.empty() ? ": " : ", ") + part.text;
    if (leastName + status.size() <= columns) break;
    parts.erase(std::min_element(parts.begin(), parts.end(), lowestRank));
  }
  if (parts.empty()) return Fitted(name, columns);
  return Fitted(name, columns - status.size()) + status;
}

#ifdef _WIN32
// Consoles may not read escape sequences: spaces cover the rest of the line, short of
// its last column, where the cursor would move on to the next line.
std::string ClearedToLineEnd(const std::string& shown) {
  std::size_t columns = 0;
  for (const std::string_view character : Characters(shown)) columns += CharacterColumns(character);
  const auto width = static_cast<std::size_t>(StandardErrorColumns());
  return std::string(width > columns + 1 ? width - 1 - columns : 0, ' ');
}
#else
std::string ClearedToLineEnd(const std::string&) { return "\x1b[K"; }
#endif

}  // namespace

ProgressLine::ProgressLine(std::ostream* terminal, const std::string& pathText)
    : terminal_(terminal), name_(NameOf(pathText)) {
  if (terminal_) WatchTerminalSize();
}

void ProgressLine::Update(std::uint64_t bytesRead, std::uint64_t bytesTotal) {
  if (!terminal_) return;
  const bool resized = TerminalSizeChanged();
  const Clock::time_point now = Clock::now();
  if (now - start_ < kShowAfter || (!resized && now - shownAt_ < kRefreshEvery)) return;
  MeasureRate(bytesRead, now);
  std::vector<StatusPart> parts;
  if (bytesTotal > 0) {
    const std::uint64_t read = std::min(bytesRead, bytesTotal);
    const double share = static_cast<double>(read) / static_cast<double>(bytesTotal);
    parts.push_back({std::to_string(static_cast<int>(100 * share)) + " %", kAmountRank});
    parts.push_back({Megabytes(bytesPerSecond_) + "/s", kRateRank});
    const double secondsLeft = static_cast<double>(bytesTotal - read) / bytesPerSecond_;
    if (now - start_ >= kEstimateAfter && share >= kEstimateFrom && read < bytesTotal &&
        secondsLeft < kLongestEstimate) {
      parts.push_back({TimeLeft(secondsLeft), kTimeLeftRank});
    }
  } else {
    parts.push_back({Megabytes(static_cast<double>(bytesRead)) + " read", kAmountRank});
    parts.push_back({Megabytes(bytesPerSecond_) + "/s", kRateRank});
  }
  const auto width = static_cast<std::size_t>(StandardErrorColumns());
  const std::string line =
      Line(name_, std::move(parts), width > kEchoColumns ? width - kEchoColumns : 0);
  *terminal_ << '\r' << line << ClearedToLineEnd(line) << std::flush;
  shown_ = true;
}

void ProgressLine::MeasureRate(std::uint64_t bytesRead, Clock::time_point now) {
  const double sinceShown = std::chrono::duration<double>(now - shownAt_).count();
  if (shownAt_ == Clock::time_point{}) {
    bytesPerSecond_ =
        static_cast<double>(bytesRead) / std::chrono::duration<double>(now - start_).count();
  } else if (sinceShown > 0) {
    const double recent =
        std::max(0.0, static_cast<double>(bytesRead) - static_cast<double>(shownBytes_)) /
        sinceShown;
    bytesPerSecond_ += (recent - bytesPerSecond_) * (1 - std::exp(-sinceShown / kRateMemory));
  }
  shownAt_ = now;
  shownBytes_ = bytesRead;
}

void ProgressLine::Erase() {
  if (!shown_) return;
  *terminal_ << '\r' << ClearedToLineEnd({}) << '\r' << std::flush;
  shown_ = false;
}

}  // namespace sorrelin
