#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <stop_token>
#include <system_error>
#include <thread>
#include <utility>

namespace sorrelin {

// Two blocks passed between a producer, which fills them, and a consumer, which takes
// them, in turn; one of the two may be a thread of its own, started by Start. The
// state both sides wait on is one atomic word: a side that finds its block ready goes
// on without a lock, and one that waits spins briefly before it sleeps, so a thread is
// woken at most once per block. The thread's waits end once it is asked to stop, as
// the destructor does before joining it; the stop changes the word itself rather than
// going through a stop callback, which MinGW's libstdc++ can miss. What the thread
// raises is its fault: the other side sees it after the blocks passed before it (a
// consumer when none is left, a producer at once), and the thread ends. Without a
// thread, both sides run on the caller's thread, each wait already met.
template <typename Block>
class HandOff {
 public:
  HandOff(Block first, Block second) : blocks_{std::move(first), std::move(second)} {}
  HandOff(const HandOff&) = delete;
  HandOff& operator=(const HandOff&) = delete;
  ~HandOff() {
    if (!thread_.joinable()) return;
    thread_.request_stop();
    state_.fetch_or(kStopped, std::memory_order_release);
    state_.notify_all();
  }

  // Runs `body(std::stop_token)` on a thread of its own; false where none can be started.
  template <typename Body>
  bool Start(Body body) {
    try {
      thread_ = std::jthread([this, body = std::move(body)](std::stop_token stop) mutable {
        try {
          body(std::move(stop));
        } catch (...) {
          Fail(std::current_exception());
        }
      });
    } catch (const std::system_error&) {
      return false;
    }
    return true;
  }
  bool Threaded() const noexcept { return thread_.joinable(); }

  // The producer: the block to fill, once the consumer has given it back or failed;
  // null once `stop` (the thread's own) is asked, even with a block free.
  Block* ToFill(std::stop_token stop = {}) {
    for (;;) {
      const std::uint32_t state = state_.load(std::memory_order_acquire);
      if (stop.stop_requested()) return nullptr;
      if ((state & kPassed) < 2 || (state & kFailed)) return &blocks_[filling_];
      state_.wait(state, std::memory_order_acquire);
    }
  }
  // Passes the block ToFill gave to the consumer.
  void Pass() {
    filling_ ^= 1;
    state_.fetch_add(1, std::memory_order_release);
    state_.notify_one();
  }
  // Waits until the consumer has given back every block passed, or failed: its fault.
  std::exception_ptr Drain() {
    for (;;) {
      const std::uint32_t state = state_.load(std::memory_order_acquire);
      if ((state & kPassed) == 0 || (state & kFailed)) return Fault();
      state_.wait(state, std::memory_order_acquire);
    }
  }

  // The consumer: the next block passed, once there is one; null once `stop` is asked,
  // even with one passed. With none left, raises the producer's fault.
  Block* ToTake(std::stop_token stop = {}) {
    for (;;) {
      const std::uint32_t state = state_.load(std::memory_order_acquire);
      if (stop.stop_requested()) return nullptr;
      if ((state & kPassed) > 0) return &blocks_[taking_];
      if (state & kFailed) std::rethrow_exception(fault_);
      state_.wait(state, std::memory_order_acquire);
    }
  }
  // Gives the block ToTake gave back to the producer.
  void GiveBack() {
    taking_ ^= 1;
    state_.fetch_sub(1, std::memory_order_release);
    state_.notify_one();
  }

  // Ends the failing side's work: the other side sees `fault` as said above. The
  // first fault is kept.
  void Fail(std::exception_ptr fault) {
    if (claimed_.exchange(true, std::memory_order_acq_rel)) return;
    fault_ = std::move(fault);
    state_.fetch_or(kFailed, std::memory_order_release);
    state_.notify_all();
  }
  std::exception_ptr Fault() const {
    return (state_.load(std::memory_order_acquire) & kFailed) ? fault_ : nullptr;
  }

 private:
  static constexpr std::uint32_t kPassed = 3;  // blocks passed and not yet given back
  static constexpr std::uint32_t kFailed = 4;  // fault_ is set
  static constexpr std::uint32_t kStopped = 8;

  Block blocks_[2];
  int filling_ = 0;  // the producer's block
  int taking_ = 0;   // the consumer's block
  std::atomic<std::uint32_t> state_{0};
  std::atomic<bool> claimed_{false};  // a fault is being kept
  std::exception_ptr fault_;
  std::jthread thread_;  // last: joined before the rest goes
};

}  // namespace sorrelin
