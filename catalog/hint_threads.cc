#include "catalog/hint_threads.h"

#include <system_error>
#include <utility>

namespace korvex {

HintThreads::HintThreads(int threads, size_t waiting) : waiting_(waiting) {
  for (int i = 0; i < threads; ++i) {
    try {
      threads_.emplace_back([this] { Work(); });
    } catch (const std::system_error&) {
      break;  // fewer threads, or jobs on the caller's
    }
  }
}

HintThreads::~HintThreads() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    jobs_.clear();
  }
  wake_.notify_all();
  for (std::thread& t : threads_) t.join();
}

void HintThreads::Add(std::function<void()> job) {
  if (threads_.empty()) {
    job();
    return;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (jobs_.size() >= waiting_) return;
    jobs_.push_back(std::move(job));
  }
  wake_.notify_one();
}

void HintThreads::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
    if (stopping_) return;
    std::function<void()> job = std::move(jobs_.front());
    jobs_.pop_front();
    lock.unlock();
    job();
    lock.lock();
  }
}

}  // namespace korvex
