// Tables of other database files of the same driver. A table listed from
// another file (or from another data source whose database is a file) comes
// back as "file\table"; drivers that read one file per connection reach the
// other file by attaching it under a schema name of its own.
#include "data/data_access.h"
#include "data/sql_names.h"

#include <filesystem>
#include <string>

namespace {

bool SamePlace(const std::string& a, const std::string& b) {
  if (a == b) return true;
  std::error_code ec;
  return !a.empty() && !b.empty() && std::filesystem::equivalent(a, b, ec) && !ec;
}

// The template with %1 the file as a quoted literal and %2 the schema.
std::string AttachStatement(const std::string& form, const std::string& file, const std::string& schema) {
  std::string literal = "'";
  for (char c : file) literal += c == '\'' ? std::string("''") : std::string(1, c);
  literal += "'";
  std::string out;
  for (size_t i = 0; i < form.size(); ++i) {
    if (form[i] == '%' && i + 1 < form.size() && (form[i + 1] == '1' || form[i + 1] == '2')) {
      out += form[i + 1] == '1' ? literal : schema;
      ++i;
    } else {
      out += form[i];
    }
  }
  return out;
}

}  // namespace

std::string DataAccess::SqlNameOfPlace(const char* reference) {
  const std::string ref = reference != nullptr ? reference : "";
  // A table file chosen in the folder of a source whose tables are files is
  // named by its file name, as the source lists it.
  const size_t sep = ref.rfind('/');
  if (current_ != nullptr && IsFileDataSource() && sep != std::string::npos && sep > 0 && sep + 1 < ref.size()) {
    char own[261] = {};
    std::error_code ec;
    std::string folder = GetDatabaseName(own, sizeof own) ? own : "";
    if (!folder.empty() && !std::filesystem::is_directory(folder, ec))
      folder = std::filesystem::path(folder).parent_path().string();
    if (SamePlace(ref.substr(0, sep), folder)) return ref.substr(sep + 1);
  }
  const size_t cut = ref.rfind('\\');
  if (current_ == nullptr || cut == std::string::npos || cut == 0 || cut + 1 >= ref.size()) return ref;
  const std::string place = ref.substr(0, cut);
  const std::string table = ref.substr(cut + 1);
  char own[261] = {};
  if (GetDatabaseName(own, sizeof own) && SamePlace(place, own)) return table;
  const std::string form = SqlIniString(GetPlatformName(), "AttachDatabase", "", 256);
  if (form.empty()) return ref;
  // Attaching makes the driver create a missing file: only an existing file
  // is attached, and only for a name a statement may hold.
  std::error_code ec;
  if (!SqlNameUsable(table) || !std::filesystem::is_regular_file(place, ec)) return ref;
  std::vector<std::string>& places = current_->attachedPlaces;
  size_t n = 0;
  while (n < places.size() && !SamePlace(places[n], place)) ++n;
  const std::string schema = "km_place" + std::to_string(n + 1);
  if (n == places.size()) {
    // Quietly: a file that cannot be attached leaves the table unknown, and
    // the statement that names it tells the user with the driver's words.
    char error[600] = {};
    const int failed = ExecSql(AttachStatement(form, place, schema).c_str(), error, sizeof error, SqlUse::kOwn);
    EndStatement();
    if (failed != 0) return ref;
    places.push_back(place);
  }
  return schema + "." + table;
}
