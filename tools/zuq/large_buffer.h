// A buffer that is not cleared first, for data about to be written over in
// full: a large one is put on huge pages where the system offers them, so
// that filling it costs a few page faults, not one per 4 KiB.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>

#ifdef __linux__
#include <sys/mman.h>
#endif

template <typename T> class LargeBuffer {
  public:
    // False when the memory is not there; the buffer is then empty.
    bool allocate(std::size_t count) {
        const std::size_t size = count * sizeof(T);
        void* p = nullptr;
#ifdef __linux__
        if (size >= hugePage) {
            // Whole huge pages: a hint on part of one leaves all of it plain.
            const std::size_t whole = (size + hugePage - 1) / hugePage * hugePage;
            p = std::aligned_alloc(hugePage, whole);
            if (p) {
                madvise(p, whole, MADV_HUGEPAGE); // only a hint: without it, plain pages
            }
        }
#endif
        if (!p) {
            p = std::malloc(size ? size : 1);
        }
        data_.reset(static_cast<T*>(p));
        count_ = p ? count : 0;
        return p != nullptr;
    }
    void release() {
        data_.reset();
        count_ = 0;
    }
    T* data() const {
        return data_.get();
    }
    std::size_t size() const {
        return count_;
    }

  private:
    static constexpr std::size_t hugePage = std::size_t{2} << 20;

    struct Free {
        void operator()(T* p) const {
            std::free(p);
        }
    };
    std::unique_ptr<T[], Free> data_;
    std::size_t count_ = 0;
};
