#pragma once

#include <atomic>
#include <cassert>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <stop_token>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace sorrelin {

// A few blocks (two or more) passed between a producer, which fills them, and a
// consumer, which takes them, in turn; one of the two may be a thread of its own,
// started by Start. Both sides look at one atomic word: a side that finds its block
// ready goes on without a lock, and one that does not tries a few times before it
// sleeps on the condition variable, so a thread is woken at most once per block. The
// thread's waits end once it is asked to stop, as the destructor does before joining
// it; the stop changes the word itself rather than going through a stop callback, which
// MinGW's libstdc++ can miss (as it can miss the wake-up of an atomic wait). What the
// thread raises is its fault: the other side sees it after the blocks passed before it
// (a consumer when none is left, a producer at once), and the thread ends. Without a
// thread, both sides run on the caller's thread, each wait already met.
template <typename Block>
class HandOff {
 public:
  explicit HandOff(std::vector<Block> blocks) : blocks_(std::move(blocks)) {
    assert(blocks_.size() >= 2 && blocks_.size() <= kPassed);
  }
  HandOff(const HandOff&) = delete;
  HandOff& operator=(const HandOff&) = delete;
  ~HandOff() {
    if (!thread_.joinable()) return;
    thread_.request_stop();
    state_.fetch_or(kStopped, std::memory_order_release);
    Change();
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
    Await([&](std::uint32_t s) {
      return (s & kPassed) < blocks_.size() || (s & kFailed) || stop.stop_requested();
    });
    if (stop.stop_requested()) return nullptr;
    return &blocks_[filling_];
  }
  // Passes the block ToFill gave to the consumer.
  void Pass() {
    filling_ = (filling_ + 1) % blocks_.size();
    state_.fetch_add(1, std::memory_order_release);
    Change();
  }
  // Waits until the consumer has given back every block passed, or failed: its fault.
  std::exception_ptr Drain() {
    Await([](std::uint32_t s) { return (s & kPassed) == 0 || (s & kFailed); });
    return Fault();
  }

  // The consumer: the next block passed, once there is one; null once `stop` is asked,
  // even with one passed. With none left, raises the producer's fault.
  Block* ToTake(std::stop_token stop = {}) {
    const std::uint32_t state = Await([&](std::uint32_t s) {
      return (s & kPassed) > 0 || (s & kFailed) || stop.stop_requested();
    });
    if (stop.stop_requested()) return nullptr;
    if ((state & kPassed) == 0) std::rethrow_exception(fault_);
    return &blocks_[taking_];
  }
  // Gives the block ToTake gave back to the producer.
  void GiveBack() {
    taking_ = (taking_ + 1) % blocks_.size();
    state_.fetch_sub(1, std::memory_order_release);
    Change();
  }

  // Ends the failing side's work: the other side sees `fault` as said above. The
  // first fault is kept.
  void Fail(std::exception_ptr fault) {
    if (claimed_.exchange(true, std::memory_order_acq_rel)) return;
    fault_ = std::move(fault);
    state_.fetch_or(kFailed, std::memory_order_release);
    Change();
  }
  std::exception_ptr Fault() const {
    return (state_.load(std::memory_order_acquire) & kFailed) ? fault_ : nullptr;
  }

 private:
  static constexpr std::uint32_t kPassed = 0xFF;   // blocks passed and not yet given back
  static constexpr std::uint32_t kFailed = 0x100;  // fault_ is set
  static constexpr std::uint32_t kStopped = 0x200;
  static constexpr int kTries = 16;  // looks at the word before sleeping

  // The state once `ready` holds for it.
  template <typename Ready>
  std::uint32_t Await(Ready ready) {
    for (int i = 0; i < kTries; ++i) {
      const std::uint32_t state = state_.load(std::memory_order_acquire);
      if (ready(state)) return state;
      std::this_thread::yield();
    }
    std::unique_lock lock(mutex_);
    std::uint32_t state;
    changed_.wait(lock, [&] { return ready(state = state_.load(std::memory_order_acquire)); });
    return state;
  }
  // Wakes a side that sleeps after the state changed: a waiter either saw the change
  // before it slept, or sleeps already and is woken.
  void Change() {
    { std::lock_guard lock(mutex_); }
    changed_.notify_all();
  }

  std::vector<Block> blocks_;  // at most kPassed
  std::size_t filling_ = 0;    // the producer's block
  std::size_t taking_ = 0;     // the consumer's block
  std::atomic<std::uint32_t> state_{0};
  std::atomic<bool> claimed_{false};  // a fault is being kept
  std::exception_ptr fault_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::jthread thread_;  // last: joined before the rest goes
};

// `count` blocks whose `bytes` hold `size` bytes each, for a HandOff.
template <typename Block>
std::vector<Block> BlocksOfBytes(std::size_t count, std::size_t size) {
  std::vector<Block> blocks(count);
  for (Block& block : blocks) block.bytes = std::make_unique_for_overwrite<char[]>(size);
  return blocks;
}

}  // namespace sorrelin
