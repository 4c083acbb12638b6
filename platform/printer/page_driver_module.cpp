// Opening the printer library by path: the library is built into the program,
// so the path only has to name it.
#include "platform/printer/page_driver.h"

#include <string>
#include <strings.h>

PageDriver* CreateQtPageDriver();

namespace {

std::string LowerFileName(const char* path) {
  std::string p = path ? path : "";
  size_t cut = p.find_last_of("/\\:");
  std::string name = cut == std::string::npos ? p : p.substr(cut + 1);
  for (char& c : name) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return name;
}

}  // namespace

const char* PageDriverModuleName() { return "kmpd.dll"; }

PageDriver* OpenPageDriverModule(const char* path) {
  std::string name = LowerFileName(path);
  if (name.empty() || name == PageDriverModuleName()) return CreateQtPageDriver();
  return nullptr;
}

void ClosePageDriverModule(PageDriver* driver) { delete driver; }
