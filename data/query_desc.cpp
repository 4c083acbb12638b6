#include "data/query_desc.h"
#include "platform/win/fileio.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace {
const char kName[] = "NAME=";
const char kSource[] = "DATA_SOURCE=";
const char kConnect[] = "CONNECT=";
const char kQuery[] = "QUERY=";

bool Starts(const unsigned char* item, size_t len, const char* key) {
  size_t k = std::strlen(key);
  return len >= k && std::memcmp(item, key, k) == 0;
}
}  // namespace

int QueryDesc::Clear() {
  name.clear();
  dataSource.clear();
  query.clear();
  connect.clear();
  return 1;
}

bool QueryDesc::IsComplete() const {
  return !name.empty() && !dataSource.empty() && !query.empty() && !connect.empty();
}

int QueryDesc::GetPackedSize() const {
  if (!IsComplete()) return 0;
  return static_cast<int>(name.size() + dataSource.size() + connect.size() + query.size() + 36);
}

bool QueryDesc::Pack(unsigned char* buffer, size_t size) const {
  int need = GetPackedSize();
  if (need == 0 || !buffer || size < static_cast<size_t>(need)) return false;
  std::memset(buffer, 0, need);
  size_t at = 0;
  auto put = [&](const char* key, const std::string& value) {
    std::memcpy(buffer + at, key, std::strlen(key));
    at += std::strlen(key);
    std::memcpy(buffer + at, value.data(), value.size());
    at += value.size() + 1;  // the NUL is already there
  };
  put(kName, name);
  put(kSource, dataSource);
  put(kConnect, connect);
  put(kQuery, query);
  for (int i = 0; i < need; ++i) buffer[i] = static_cast<unsigned char>(~buffer[i]);
  return true;
}

bool QueryDesc::FromDropText(const char* path) {
  Clear();
  if (!path) return false;
  FILE* f = std::fopen(OsFileName(path).c_str(), "rb");
  if (!f) return false;
  std::vector<unsigned char> data;
  unsigned char chunk[4096];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) data.insert(data.end(), chunk, chunk + n);
  std::fclose(f);
  return Parse(data.data(), data.size());
}

bool QueryDesc::Parse(unsigned char* buffer, size_t size) {
  Clear();
  if (!buffer) return false;
  for (size_t i = 0; i < size; ++i) buffer[i] = static_cast<unsigned char>(~buffer[i]);
  size_t at = 0;
  while (at < size) {
    // An item ends at its NUL or at the end of the block, whichever comes first.
    const unsigned char* item = buffer + at;
    const void* nul = std::memchr(item, 0, size - at);
    size_t len = nul ? static_cast<size_t>(static_cast<const unsigned char*>(nul) - item) : size - at;
    if (len == 0) break;
    auto value = [&](const char* key) {
      size_t k = std::strlen(key);
      return std::string(reinterpret_cast<const char*>(item) + k, len - k);
    };
    if (Starts(item, len, kName)) name = value(kName);
    else if (Starts(item, len, kSource)) dataSource = value(kSource);
    else if (Starts(item, len, kQuery)) query = value(kQuery);
    else if (Starts(item, len, kConnect)) connect = value(kConnect);
    at += len + 1;
  }
  return IsComplete();
}
