// Memory between two inaccessible pages: a read or write one byte beyond either end faults.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <sys/mman.h>
#include <unistd.h>

namespace vorbo_test {

class fenced {
  public:
    explicit fenced(std::size_t bytes) {
        page_ = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
        inner_ = (bytes + page_ - 1) / page_ * page_ + page_;
        void *m = mmap(nullptr, inner_ + 2 * page_, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        EXPECT_NE(m, MAP_FAILED);
        base_ = static_cast<unsigned char *>(m);
        EXPECT_EQ(mprotect(base_ + page_, inner_, PROT_READ | PROT_WRITE), 0);
    }
    ~fenced() { munmap(base_, inner_ + 2 * page_); }
    fenced(const fenced &) = delete;
    fenced &operator=(const fenced &) = delete;

    unsigned char *first() { return base_ + page_; } // starts at the fence
    unsigned char *ending(std::size_t n) { return base_ + page_ + inner_ - n; } // ends at it

  private:
    std::size_t page_ = 0, inner_ = 0;
    unsigned char *base_ = nullptr;
};

} // namespace vorbo_test
