#pragma once

#include <cstddef>
#include <cstdio>
#include <string_view>
#include <vector>

namespace sorrelin {

// Whether the stream is a terminal (a console on Windows).
bool IsTerminal(std::FILE* stream) noexcept;

// The width in columns of the terminal that standard error writes to (its console's
// window on Windows), or 80 when it cannot be told.
int StandardErrorColumns() noexcept;

// Starts noting when the terminal's window changes size (SIGWINCH), without
// interrupting a read or write. Does nothing on Windows, where a width is asked anew
// each time it matters.
void WatchTerminalSize();

// Whether the window changed size since the last call.
bool TerminalSizeChanged() noexcept;

// The characters of UTF-8 `text` one by one; a byte that starts no valid character is
// one on its own.
std::vector<std::string_view> Characters(std::string_view text);

// The columns a terminal takes to show one character: 2 for the wide ones (CJK, Hangul,
// fullwidth forms, emoji), otherwise 1 (also for combining marks, so a text never takes
// more columns than counted).
std::size_t CharacterColumns(std::string_view character) noexcept;

}  // namespace sorrelin
