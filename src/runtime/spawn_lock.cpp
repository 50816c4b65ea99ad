// Windows only: the spawn lock's sleeping and waking, on the system's wait on an address. A sleeper
// is woken by WakeByAddressSingle or when the word no longer holds its value.
#include "win/spawn_lock.hpp"

#include "win/kernel32/windows.hpp"

namespace ostrand {

static_assert(sizeof(std::atomic<std::uint32_t>) == sizeof(std::uint32_t) &&
              std::atomic<std::uint32_t>::is_always_lock_free);

void SpawnLock::wait_while_equal(std::atomic<std::uint32_t>& word, std::uint32_t value) noexcept {
    // The lock re-reads the word after every return, so a failed or early wait only costs a round.
    static_cast<void>(WaitOnAddress(&word, &value, sizeof value, INFINITE));
}

void SpawnLock::wake_one(std::atomic<std::uint32_t>& word) noexcept {
    WakeByAddressSingle(&word);
}

}  // namespace ostrand
