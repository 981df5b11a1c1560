// Memory for whole pictures (the client frame, the square under a turned
// view): backed by large pages where the system allows, so that a pass
// reading or writing across many rows does not walk the page tables at
// every row. Released with free().
#pragma once
#include <cstddef>

// bytes of memory, or null when there is none.
void* big_block_alloc(size_t bytes);

// For a unique_ptr that owns such a block.
struct BigBlockFree {
    void operator()(void* p) const;
};
