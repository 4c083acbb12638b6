#include "tests/support/query_file.h"

#include "data/query_desc.h"

namespace query_file {

std::string Packed(const std::string& dataSource, const std::string& query, const std::string& name,
                   const std::string& connect) {
  QueryDesc q;
  q.name = name;
  q.dataSource = dataSource;
  q.query = query;
  q.connect = connect.empty() ? "DSN=" + dataSource : connect;
  std::string bytes(static_cast<size_t>(q.GetPackedSize()), '\0');
  q.Pack(reinterpret_cast<unsigned char*>(&bytes[0]), bytes.size());
  return bytes;
}

}  // namespace query_file
