#include "data/block_io.h"

#include "platform/win/fileio.h"

#include <cstdint>

long zread(int file, void* buffer, size_t count) {
  // A read may come back short before the end (a signal, a pipe): go on until
  // the count is met, the file ends or the system reports an error. Linux
  // holds no mandatory locks, so there is no blocked read to offer a retry for.
  size_t done = 0;
  auto* out = static_cast<uint8_t*>(buffer);
  while (done < count) {
    const long n = ReadFileHandle(file, out + done, count - done);
    if (n < 0) return -1;
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<long>(done);
}

int ReadBlock(int file, uint32_t blockNumber, void* buffer) {
  const int64_t at = static_cast<int64_t>(blockNumber) * static_cast<int64_t>(kBlockSize);
  if (SeekFileHandle(file, at, SeekFrom::kStart) != at) return 1;
  return zread(file, buffer, kBlockSize) == static_cast<long>(kBlockSize) ? 0 : 1;
}
