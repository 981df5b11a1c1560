#include "platform/big_block.h"

#include <cstdlib>

#include <sys/mman.h>

namespace {

constexpr size_t kLargePage = size_t{2} << 20;

}  // namespace

void* big_block_alloc(size_t bytes) {
    if (bytes < kLargePage) return malloc(bytes);
    // Aligned to a large page and a whole number of them, so the system
    // can back every part of it with one.
    size_t rounded = (bytes + kLargePage - 1) / kLargePage * kLargePage;
    void* block = aligned_alloc(kLargePage, rounded);
    if (!block) return nullptr;
#ifdef MADV_HUGEPAGE
    madvise(block, rounded, MADV_HUGEPAGE);
#endif
    return block;
}

void BigBlockFree::operator()(void* p) const { free(p); }
