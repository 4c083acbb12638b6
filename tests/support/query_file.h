// Query-definition files as another program hands them over.
#pragma once

#include <string>

namespace query_file {

// The packed bytes of a query file naming the data source and its statement,
// with its connect text ("DSN=" and the data source when none is given).
std::string Packed(const std::string& dataSource, const std::string& query, const std::string& name = "Orders",
                   const std::string& connect = std::string());

}  // namespace query_file
