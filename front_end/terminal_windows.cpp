#include <io.h>
#include <windows.h>

#include "terminal.h"

namespace sorrelin {

bool IsTerminal(std::FILE* stream) noexcept { return ::_isatty(::_fileno(stream)) != 0; }

int StandardErrorColumns() noexcept {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!::GetConsoleScreenBufferInfo(::GetStdHandle(STD_ERROR_HANDLE), &info)) return 80;
  const int columns = info.srWindow.Right - info.srWindow.Left + 1;
  return columns > 0 ? columns : 80;
}

void WatchTerminalSize() {}

bool TerminalSizeChanged() noexcept { return false; }

}  // namespace sorrelin
