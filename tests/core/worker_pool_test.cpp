#include "core/worker_pool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace velmora {
namespace {

TEST(WorkerPool, OneWorkerRunsEveryTaskAtOnceInTheCallerInOrder) {
  WorkerPool pool(1);
  std::vector<int> order;
  const std::thread::id caller = std::this_thread::get_id();
  bool elsewhere = false;
  WorkerPool::Batch batch(pool);
  for (int i = 0; i < 5; ++i) {
    batch.Add([&, i] {
      elsewhere = elsewhere || std::this_thread::get_id() != caller;
      order.push_back(i);
    });
    EXPECT_EQ(order.size(), static_cast<size_t>(i + 1)) << "ran when added";
  }
  batch.Wait();
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
  EXPECT_FALSE(elsewhere);
}

// Several callers wait at once, as the documents of one command line do: every task
// runs, each caller returns when its own tasks are done, and no more tasks run at once
// than the pool has workers.
TEST(WorkerPool, CallersWaitingTogetherNeverRunMoreTasksThanWorkers) {
  for (int workers : {2, 3, 8}) {
    WorkerPool pool(workers);
    std::atomic<int> running{0};
    std::atomic<int> most{0};
    std::atomic<int> done{0};
    auto task = [&] {
      const int now = ++running;
      int seen = most.load();
      while (now > seen && !most.compare_exchange_weak(seen, now)) {
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      --running;
      ++done;
    };
    std::vector<std::thread> callers;
    std::vector<int> ownDone(4, 0);
    for (int c = 0; c < 4; ++c) {
      callers.emplace_back([&, c] {
        std::atomic<int> mine{0};
        WorkerPool::Batch batch(pool);
        for (int i = 0; i < 10; ++i) {
          batch.Add([&] {
            task();
            ++mine;
          });
        }
        batch.Wait();
        ownDone[static_cast<size_t>(c)] = mine.load();
      });
    }
    for (std::thread& caller : callers) caller.join();
    EXPECT_EQ(done.load(), 40) << workers;
    EXPECT_EQ(ownDone, std::vector<int>(4, 10)) << workers;
    EXPECT_LE(most.load(), workers) << workers;
    EXPECT_GE(most.load(), 2) << workers;
  }
}

TEST(WorkerPool, BatchThatGoesOutOfScopeWaitsForItsTasks) {
  WorkerPool pool(4);
  std::atomic<int> done{0};
  {
    WorkerPool::Batch batch(pool);
    for (int i = 0; i < 8; ++i) {
      batch.Add([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ++done;
      });
    }
  }
  EXPECT_EQ(done.load(), 8);
}

}  // namespace
}  // namespace velmora
