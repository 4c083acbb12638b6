#include "files/member_source.h"

#include "files/report_stream.h"
#include "foundation/library_file.h"

#include <cstdint>
#include <vector>

std::string ReadMemberDataSourceName(LibraryFile& engine, LibFileControlBlock* library, DWORD firstRecord) {
  engine.LibRewind(library, firstRecord);
  std::vector<uint8_t> data;
  // Every record is read whole; a member that never names its source ends
  // at its end record (or where its chain breaks off).
  for (int n = 0; n < 100000; ++n) {
    uint8_t head[4];
    if (engine.LibRead(library, 4, head) != 0) return std::string();
    const uint16_t type = static_cast<uint16_t>(head[0] | (head[1] << 8));
    const uint16_t length = static_cast<uint16_t>(head[2] | (head[3] << 8));
    if (n == 0 && type != rec::Header) return std::string();
    data.resize(length);
    if (length != 0 && engine.LibRead(library, length, data.data()) != 0) return std::string();
    if (type == rec::End) return std::string();
    if (type == rec::TableName) {
      size_t end = 0;
      while (end < data.size() && data[end] != 0) ++end;
      return std::string(data.begin(), data.begin() + static_cast<long>(end));
    }
    if (type == rec::DataSourceEntry) {
      if (data.empty()) return std::string();
      const size_t count = data[0];
      if (count + 1 > data.size()) return std::string();
      return std::string(data.begin() + 1, data.begin() + 1 + static_cast<long>(count));
    }
  }
  return std::string();
}
