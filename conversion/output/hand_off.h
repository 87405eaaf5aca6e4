#pragma once

#include <condition_variable>
#include <exception>
#include <mutex>
#include <stop_token>
#include <system_error>
#include <thread>
#include <utility>

namespace sorrelin {

// Two blocks passed between a producer, which fills them, and a consumer, which takes
// them, in turn; one of the two may be a thread of its own, started by Start. The
// thread's waits end once it is asked to stop, as the destructor does before joining
// it. The stop wakes them through the hand-off's own condition variable, not a stop
// callback: MinGW's libstdc++ can miss the wake-up that a callback's removal waits for. What the thread raises is its fault: the other side sees it after the blocks
// passed before it (a consumer when none is left, a producer at once), and the thread
// ends. Without a thread, both sides run on the caller's thread, each wait already met.
template <typename Block>
class HandOff {
 public:
  HandOff(Block first, Block second) : blocks_{std::move(first), std::move(second)} {}
  HandOff(const HandOff&) = delete;
  HandOff& operator=(const HandOff&) = delete;
  ~HandOff() {
    if (!thread_.joinable()) return;
    thread_.request_stop();
    { std::lock_guard lock(mutex_); }  // a waiter either saw the stop or is asleep now
    changed_.notify_all();
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
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return passed_ < 2 || fault_ || stop.stop_requested(); });
    if (stop.stop_requested()) return nullptr;
    return &blocks_[filling_];
  }
  // Passes the block ToFill gave to the consumer.
  void Pass() {
    {
      std::lock_guard lock(mutex_);
      filling_ ^= 1;
      ++passed_;
    }
    changed_.notify_one();
  }
  // Waits until the consumer has given back every block passed, or failed: its fault.
  std::exception_ptr Drain() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return passed_ == 0 || fault_; });
    return fault_;
  }

  // The consumer: the next block passed, once there is one; null once `stop` is asked,
  // even with one passed. With none left, raises the producer's fault.
  Block* ToTake(std::stop_token stop = {}) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return passed_ > 0 || fault_ || stop.stop_requested(); });
    if (stop.stop_requested()) return nullptr;
    if (passed_ == 0) std::rethrow_exception(fault_);
    return &blocks_[taking_];
  }
  // Gives the block ToTake gave back to the producer.
  void GiveBack() {
    {
      std::lock_guard lock(mutex_);
      taking_ ^= 1;
      --passed_;
    }
    changed_.notify_one();
  }

  // Ends the failing side's work: the other side sees `fault` as said above.
  void Fail(std::exception_ptr fault) {
    {
      std::lock_guard lock(mutex_);
      if (!fault_) fault_ = std::move(fault);
    }
    changed_.notify_all();
  }
  std::exception_ptr Fault() {
    std::lock_guard lock(mutex_);
    return fault_;
  }

 private:
  Block blocks_[2];
  int filling_ = 0;  // the producer's block
  int taking_ = 0;   // the consumer's block
  int passed_ = 0;   // passed and not yet given back
  std::exception_ptr fault_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::jthread thread_;  // last: joined before the rest goes
};

}  // namespace sorrelin
