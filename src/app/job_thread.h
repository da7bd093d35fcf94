// One Writer job at a time on a thread of its own (the worker's run, or a command of the
// window), so that the window's thread never waits on the Writer and keeps painting.
#pragma once

#include <atomic>
#include <functional>
#include <thread>

namespace vx3::app {

class JobThread {
 public:
  // `ended` is called on the job's thread after each job, once Running() is false.
  explicit JobThread(std::function<void()> ended) : ended_(std::move(ended)) {}
  // Waits for a job that is still going: the run state and the bridge outlive every transfer.
  ~JobThread() { Join(); }
  JobThread(const JobThread&) = delete;
  JobThread& operator=(const JobThread&) = delete;

  // Starts `job` on a new thread and returns at once; false (and nothing starts) while a job runs.
  bool Start(std::function<void()> job) {
    if (Running()) return false;
    // The previous job has ended; its thread only has to be collected.
    Join();
    running_.store(true, std::memory_order_release);
    thread_ = std::thread([this, job = std::move(job)] {
      job();
      running_.store(false, std::memory_order_release);
      if (ended_) ended_();
    });
    return true;
  }
  // True from Start until the job has made its last call.
  bool Running() const { return running_.load(std::memory_order_acquire); }
  // Waits until the job that is going (if any) has ended.
  void Join() {
    if (thread_.joinable()) thread_.join();
  }

 private:
  std::function<void()> ended_;
  std::thread thread_;
  std::atomic<bool> running_{false};
};

}  // namespace vx3::app
