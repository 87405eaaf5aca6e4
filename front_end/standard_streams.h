#pragma once

#include <string>

namespace sorrelin {

// Opens the null device on each of the standard descriptors 0, 1 and 2 that is closed,
// so that no file the program opens later takes its number and gets what was meant
// for that stream. It is opened the other way round (standard input for writing, the
// others for reading), so that using such a stream still fails. To be called first.
// Nothing on Windows.
void OpenClosedStandardStreams() noexcept;

// A write to a pipe that no one reads then fails (EPIPE) instead of ending the
// process with SIGPIPE. Nothing where the system has no SIGPIPE.
void FailWritesToClosedPipes() noexcept;

// Flushes standard output (std::cout and stdout); empty when all written to it went,
// else "cannot write standard output" and, where known, why.
std::string StandardOutputFault();

}  // namespace sorrelin
