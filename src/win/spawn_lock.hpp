// Portable: the lock type behind process_start_lock. One 32-bit word: free, held, or held while some
// thread may be sleeping on it. Taking a free lock and releasing one that nobody waits for are single
// atomic operations; only contention asks the system to put a thread to sleep or wake one.
#pragma once

#include <atomic>
#include <cstdint>

namespace ostrand {

class SpawnLock {
public:
    SpawnLock() = default;
    SpawnLock(const SpawnLock&) = delete;
    SpawnLock& operator=(const SpawnLock&) = delete;

    void lock() noexcept {
        std::uint32_t seen = free_state;
        if (state_.compare_exchange_strong(seen, held_state, std::memory_order_acquire,
                                           std::memory_order_relaxed)) {
            return;
        }
        // From here the word says "contended" whenever this thread may sleep, so that the holder's
        // release wakes it.
        if (seen != contended_state) {
            seen = state_.exchange(contended_state, std::memory_order_acquire);
        }
        while (seen != free_state) {
            wait_while_equal(state_, contended_state);
            seen = state_.exchange(contended_state, std::memory_order_acquire);
        }
    }

    void unlock() noexcept {
        if (state_.exchange(free_state, std::memory_order_release) == contended_state) {
            wake_one(state_);
        }
    }

    // Whether some thread holds the lock at this moment. For checks that it is held or free where that
    // is known to be settled, never for deciding whether to take it.
    bool held() const noexcept { return state_.load(std::memory_order_relaxed) != free_state; }

private:
    static constexpr std::uint32_t free_state = 0;
    static constexpr std::uint32_t held_state = 1;
    static constexpr std::uint32_t contended_state = 2;

    // The system's part. Sleeps while `word` holds `value`; may also return early, for any reason.
    static void wait_while_equal(std::atomic<std::uint32_t>& word, std::uint32_t value) noexcept;
    // Wakes one thread sleeping in wait_while_equal on `word`, if there is one.
    static void wake_one(std::atomic<std::uint32_t>& word) noexcept;

    std::atomic<std::uint32_t> state_{free_state};
};

}  // namespace ostrand
