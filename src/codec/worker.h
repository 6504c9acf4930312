// A second thread for the codec's large blocks: the caller hands it one job,
// does its own share meanwhile, and waits for it.  It is started only when a
// block is large enough to repay the hand-over, so small files stay on one
// thread.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace huffman {

class Worker {
 public:
  Worker();
  ~Worker();
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  // Runs `job` on the worker thread; one job at a time.
  void Start(std::function<void()> job);
  // Returns once the job started last has finished.
  void Wait();

  // A worker if the thread count allows a second thread (by default: if
  // this machine has a second hardware thread), else null.
  static std::unique_ptr<Worker> IfUseful();

 private:
  void Loop();

  std::mutex mutex;
  std::condition_variable changed;
  std::function<void()> job;
  bool busy = false;
  bool stopping = false;
  std::thread thread;
};

}  // namespace huffman
