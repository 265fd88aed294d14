#include "core/worker_pool.h"

#include <utility>

namespace velmora {

WorkerPool::WorkerPool(int workers) : workers_(workers > 0 ? workers : CoreCount()) {
  // The callers who wait run tasks too: the pool adds the others.
  for (int i = 1; i < workers_; ++i) threads_.emplace_back([this] { WorkerLoop(); });
}

WorkerPool::~WorkerPool() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

int WorkerPool::CoreCount() {
  const unsigned cores = std::thread::hardware_concurrency();
  return cores > 0 ? static_cast<int>(cores) : 1;
}

void WorkerPool::Enqueue(Task task) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++task.batch->pending_;
    queue_.push_back(std::move(task));
  }
  changed_.notify_all();
}

bool WorkerPool::RunOne(std::unique_lock<std::mutex>& lock) {
  // Callers of several documents may wait at once: however many threads look for
  // work, no more tasks run at once than the pool has workers.
  if (queue_.empty() || running_ >= workers_) return false;
  Task task = std::move(queue_.front());
  queue_.pop_front();
  ++running_;
  lock.unlock();
  task.run();
  task.run = nullptr;  // whatever the task holds is released outside the lock
  lock.lock();
  --running_;
  --task.batch->pending_;
  changed_.notify_all();
  return true;
}

void WorkerPool::WorkerLoop() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (RunOne(lock)) continue;
    if (stopping_) return;
    changed_.wait(lock);
  }
}

WorkerPool::Batch::~Batch() { Wait(); }

void WorkerPool::Batch::Add(std::function<void()> task) {
  if (pool_.threads_.empty()) {
    task();
    return;
  }
  pool_.Enqueue({std::move(task), this});
}

void WorkerPool::Batch::Wait() {
  std::unique_lock<std::mutex> lock(pool_.mutex_);
  while (pending_ > 0) {
    if (!pool_.RunOne(lock)) pool_.changed_.wait(lock);
  }
}

}  // namespace velmora
