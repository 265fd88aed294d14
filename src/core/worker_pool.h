#pragma once
// Workers for the pictures of the documents being shrunk. A caller hands a batch of
// tasks to the pool and waits for them; while it waits it runs queued tasks itself,
// so the pool never waits on itself. However many callers wait, at most N tasks run
// at once in a pool of N (N - 1 threads of its own and the callers). With one worker
// no thread is started and every task runs at once, in the caller, in the order it
// was added.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace velmora {

class WorkerPool {
 public:
  // workers: how many tasks run at once at most, the waiting caller included; 0
  // means one per processor core.
  explicit WorkerPool(int workers);
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  int Workers() const { return workers_; }

  // Tasks whose end one caller waits for. Tasks must not throw.
  class Batch {
   public:
    explicit Batch(WorkerPool& pool) : pool_(pool) {}
    // Waits for the tasks still queued or running: none outlives the batch.
    ~Batch();
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;

    void Add(std::function<void()> task);
    // Returns when every task added so far has ended, running queued tasks meanwhile.
    void Wait();

   private:
    friend class WorkerPool;
    WorkerPool& pool_;
    size_t pending_ = 0;  // guarded by the pool's mutex
  };

  // One processor core's worth: the number of cores, at least 1.
  static int CoreCount();

 private:
  struct Task {
    std::function<void()> run;
    Batch* batch;
  };

  void Enqueue(Task task);
  // Runs one queued task; false when there was none. Called with the lock held,
  // which it releases while the task runs.
  bool RunOne(std::unique_lock<std::mutex>& lock);
  void WorkerLoop();

  int workers_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Task> queue_;
  int running_ = 0;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace velmora
