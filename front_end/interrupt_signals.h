#pragma once

namespace sorrelin {

// Catches the interrupt signals (SIGINT, SIGTERM and, where they exist, SIGHUP) so
// that a conversion can discard its output before the process ends, and ignores
// SIGXFSZ so that a file-size limit fails the write instead of killing the process.
// Signals ignored when the program started stay ignored. A read waiting for input
// is interrupted, so that a stalled pipe does not hold a stop back.
void CatchInterruptSignals();

// The interrupt signal caught since CatchInterruptSignals, or 0.
int CaughtInterruptSignal() noexcept;

// A descriptor that becomes readable when an interrupt signal is caught, for an event
// loop to watch; -1 where the system has none (then ask CaughtInterruptSignal).
int InterruptSignalDescriptor() noexcept;

// Ends the process as the signal would have ended it (exit status 128 + signal).
[[noreturn]] void EndAsSignalled(int signal);

}  // namespace sorrelin
