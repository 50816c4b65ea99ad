#include "win/spawn_lock.hpp"

#include <gtest/gtest.h>

#include <mutex>
#include <thread>
#include <vector>

namespace ostrand {
namespace {

// The launcher never contends for its lock, so only this test takes the contended path (the word
// marked contended, the wait, the wake on release): threads that increment a plain counter under the
// lock must not lose an increment, and must all finish.
TEST(SpawnLock, ExcludesAndWakesUnderContention) {
    SpawnLock lock;
    constexpr int threads = 4;
    constexpr int rounds = 20000;
    long counter = 0;
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&] {
            for (int i = 0; i < rounds; ++i) {
                const std::lock_guard<SpawnLock> guard(lock);
                EXPECT_TRUE(lock.held());
                const long seen = counter;
                std::this_thread::yield();
                counter = seen + 1;
            }
        });
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    EXPECT_EQ(counter, long{threads} * rounds);
    EXPECT_FALSE(lock.held());
}

}  // namespace
}  // namespace ostrand
