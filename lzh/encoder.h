// The lh5 encoder: turns bytes into the block stream that the setup
// program's decoder reads (see encoder.cpp for how it works).
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

namespace lzh {

enum class Effort {
    // Lazy matching over hash chains, blocks split on a coarse grid, each
    // with codes of its own but parsed only once: for large trees.
    fast,
    // Optimal parsing, repeated under each block's own codes.
    strong,
};

// Cores that encoders may borrow for pieces of their input. Whoever calls
// encode is taken to hold a core already; each further piece it works on at
// the same time takes one from here and gives it back when done. Who works
// on which piece never changes the output.
class CoreBudget {
  public:
    explicit CoreBudget(unsigned cores) : free_(cores) {}
    // Takes a core if one is free.
    bool tryTake() {
        std::lock_guard lock(mutex_);
        if (free_ == 0) {
            return false;
        }
        --free_;
        return true;
    }
    // Waits for a core.
    void take() {
        std::unique_lock lock(mutex_);
        freed_.wait(lock, [this] { return free_ > 0; });
        --free_;
    }
    // A wait for a core that another thread may call off.
    struct Wait {
        bool calledOff = false; // guarded by the budget's lock
    };
    // Waits for a core until one comes free (true: taken) or the wait is
    // called off (false). Plain condition variables only: the waits of
    // std::stop_token hang now and then under Wine, with MinGW's runtime.
    bool takeUnlessCalledOff(Wait& wait) {
        std::unique_lock lock(mutex_);
        freed_.wait(lock, [&] { return free_ > 0 || wait.calledOff; });
        if (wait.calledOff) {
            return false;
        }
        --free_;
        return true;
    }
    void callOff(Wait& wait) {
        {
            std::lock_guard lock(mutex_);
            wait.calledOff = true;
        }
        freed_.notify_all();
    }
    void give() {
        {
            std::lock_guard lock(mutex_);
            ++free_;
        }
        // All: a waiter that is being called off must not swallow the news.
        freed_.notify_all();
    }

  private:
    std::mutex mutex_;
    std::condition_variable freed_;
    unsigned free_;
};

// Positions are 32-bit, and a match may look up to 256 bytes ahead.
inline constexpr std::size_t largestInput = 0xFFFFFFFFu - 256;

// Compresses the whole input (at most largestInput bytes; more throws
// std::length_error) into one stream. An empty input gives an empty stream.
// With a budget, pieces of a large input are encoded on borrowed cores as
// they come free; the stream is the same either way.
std::vector<std::uint8_t> encode(std::span<const std::uint8_t> input,
                                 Effort effort = Effort::strong, CoreBudget* cores = nullptr);

} // namespace lzh
