// Host stand-in for the spawn lock's sleeping and waking, for builds that do not target Windows: the
// standard library's wait on an atomic word.
#include "win/spawn_lock.hpp"

namespace ostrand {

void SpawnLock::wait_while_equal(std::atomic<std::uint32_t>& word, std::uint32_t value) noexcept {
    word.wait(value, std::memory_order_relaxed);
}

void SpawnLock::wake_one(std::atomic<std::uint32_t>& word) noexcept {
    word.notify_one();
}

}  // namespace ostrand
