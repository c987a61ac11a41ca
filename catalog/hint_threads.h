// Threads that hand the system hints off the caller's thread, so that a hint
// that waits on a cold medium does not hold up the caller.  Jobs start in the
// order given; those not yet started when it is destroyed are dropped.
#ifndef KORVEX_CATALOG_HINT_THREADS_H_
#define KORVEX_CATALOG_HINT_THREADS_H_

#include <stddef.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace korvex {

class HintThreads {
 public:
  // With no threads (none asked for, or none to be had) a job runs at once
  // on the caller's thread.  At most `waiting` jobs wait; later ones are
  // dropped, as a hint may be.
  HintThreads(int threads, size_t waiting);
  // Drops the jobs not started and joins the threads.
  ~HintThreads();
  HintThreads(const HintThreads&) = delete;
  HintThreads& operator=(const HintThreads&) = delete;

  void Add(std::function<void()> job);

 private:
  void Work();

  const size_t waiting_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> jobs_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace korvex

#endif  // KORVEX_CATALOG_HINT_THREADS_H_
