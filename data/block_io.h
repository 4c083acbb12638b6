// Guarded reads of index and work files: a read that reports a failure as -1
// instead of ending the program, so callers turn it into their own codes.
#pragma once

#include <cstddef>
#include <cstdint>

// Up to count bytes from the file position of the open file handle: the
// number read (fewer at the end of the file), or -1 when the read failed.
long zread(int file, void* buffer, size_t count);

constexpr size_t kBlockSize = 512;
// The 512 bytes of block blockNumber: 0 when all were read, else 1.
int ReadBlock(int file, uint32_t blockNumber, void* buffer);
