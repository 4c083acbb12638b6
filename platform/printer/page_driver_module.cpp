// Opening the printer library by path: the library is built into the program,
// so the path only has to name it; tests may register stand-ins.
#include "platform/printer/page_driver.h"

#include <map>
#include <string>
#include <strings.h>

PageDriver* CreateQtPageDriver();

namespace {

using Factory = PageDriver* (*)();

std::map<std::string, Factory>& Registered() {
  static std::map<std::string, Factory> map;
  return map;
}

std::string LowerFileName(const char* path) {
  std::string p = path ? path : "";
  size_t cut = p.find_last_of("/\\:");
  std::string name = cut == std::string::npos ? p : p.substr(cut + 1);
  for (char& c : name) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return name;
}

}  // namespace

const char* PageDriverModuleName() { return "kmpd.dll"; }

void RegisterPageDriverModule(const char* fileName, PageDriver* (*factory)()) {
  std::string key = LowerFileName(fileName);
  if (factory)
    Registered()[key] = factory;
  else
    Registered().erase(key);
}

PageDriver* OpenPageDriverModule(const char* path) {
  std::string name = LowerFileName(path);
  auto it = Registered().find(name);
  if (it != Registered().end()) return it->second();
  if (name.empty() || name == PageDriverModuleName()) return CreateQtPageDriver();
  return nullptr;
}

void ClosePageDriverModule(PageDriver* driver) { delete driver; }
