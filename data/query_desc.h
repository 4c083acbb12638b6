// A query handed over by another program or window: its name, data source,
// connect text and SQL, in one packed form (the drag-and-drop and clipboard
// format "DivediViruveQuery" and the content of a query-definition file).
#pragma once

#include <cstddef>
#include <string>

class QueryDesc {
 public:
  QueryDesc() = default;
  ~QueryDesc() = default;

  int Clear();
  bool IsComplete() const;
  // 0 when not complete.
  int GetPackedSize() const;
  // Writes the packed, inverted form; false when not complete or when the
  // buffer is smaller than GetPackedSize().
  bool Pack(unsigned char* buffer, size_t size) const;
  // Reads a whole file and parses it; true when the result is complete.
  bool FromDropText(const char* path);
  // Inverts the bytes in place and reads the items; never reads past size.
  bool Parse(unsigned char* buffer, size_t size);

  std::string name;
  std::string dataSource;
  std::string query;
  std::string connect;
};
