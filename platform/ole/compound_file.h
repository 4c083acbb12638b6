// Compound files (storages and streams) held whole in memory.
// A report file is read into a tree of storages and streams, changed there,
// and written back in one step, so a failed save never damages the old file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vt_ole {

struct Stream {
  std::string name;  // Windows-1252 bytes, e.g. "\005SummaryInformation"
  std::vector<uint8_t> data;
};

struct Storage {
  std::string name;
  std::vector<Stream> streams;
  std::vector<Storage> storages;
  uint8_t classId[16] = {};  // the class the storage names (all zero: none)

  // Names compare ignoring ASCII case, as compound files do.
  const Stream* FindStream(const std::string& n) const;
  Stream* FindStream(const std::string& n);
  const Storage* FindStorage(const std::string& n) const;
  Storage* FindStorage(const std::string& n);
  // Creates the stream, or replaces the bytes of an existing one.
  Stream& PutStream(const std::string& n, std::vector<uint8_t> data);
  Storage& PutStorage(const std::string& n);
  bool RemoveStream(const std::string& n);
};

enum class StorageError {
  kNone = 0,
  kNotFound,     // no such file
  kNotCompound,  // the file is not a compound file
  kCorrupt,      // a compound file the library cannot read
  kTooLarge,     // beyond the limits below
  kCannotCreate,
  kWriteFailed,
};

// Limits on what a file may make us hold, so a hostile file cannot exhaust memory.
constexpr uint64_t kMaxTotalBytes = 512ull << 20;
constexpr int kMaxDepth = 32;
constexpr size_t kMaxEntries = 100000;

// True when the file carries the compound-file signature and the library can open it.
bool IsStorageFile(const std::string& path);

StorageError ReadStorageFile(const std::string& path, Storage& root, std::string* message = nullptr);

// Writes the whole tree to a new file beside path and renames it over path
// only when complete.
StorageError WriteStorageFile(const std::string& path, const Storage& root, std::string* message = nullptr);

}  // namespace vt_ole
