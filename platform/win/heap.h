// The process heap: every block knows the size last asked for, starts
// zero-filled and is zero-filled again where it grows.
#pragma once

#include "platform/win/win_types.h"

// Size 0 still gives a unique block; null only when memory is exhausted.
void* HeapAllocRaw(size_t size);
// Keeps the old bytes and zero-fills the added ones; null leaves the old block as it was.
void* HeapReAllocRaw(void* block, size_t size);
// A null block is ignored (and reported as success).
BOOL HeapFreeRaw(void* block);
// The exact size last requested for the block; 0 for null.
size_t HeapSizeRaw(const void* block);

// Test hook: the n-th allocation from now (1 = the next) fails; 0 switches it off.
void HeapFailAfter(long n);
