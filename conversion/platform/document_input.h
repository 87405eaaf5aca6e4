#pragma once

#include <chrono>
#include <cstdio>
#include <filesystem>

#include "platform/files.h"

namespace sorrelin {

// Opens a document for reading without waiting for a writer to appear, as opening a
// FIFO would; reads then wait as usual. Null with errno set on failure.
UniqueFile OpenForReading(const std::filesystem::path& path);

// Waits at most `timeout` for bytes, or the end, to read from `file`; false when the
// time ran out or a signal came first. True at once where the system cannot tell.
bool WaitForInput(std::FILE* file, std::chrono::milliseconds timeout);

}  // namespace sorrelin
