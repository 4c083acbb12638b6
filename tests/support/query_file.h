// Query-definition files as another program hands them over.
#pragma once

#include <string>

namespace query_file {

// The packed bytes of a query file naming the data source and its statement.
std::string Packed(const std::string& dataSource, const std::string& query, const std::string& name = "Orders");

}  // namespace query_file
