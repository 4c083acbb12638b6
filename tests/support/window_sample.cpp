#include "tests/support/window_sample.h"

#include "expr/functions_common.h"
#include "platform/win/ui_app.h"
#include "tests/support/program_run.h"
#include "tests/support/sample_document.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include <unistd.h>

namespace window_sample {

std::string Make(const std::string& prefix, std::initializer_list<const char*> tools) {
  if (!std::filesystem::exists(program_run::ProgramPath()) ||
      program_run::Capture("ls /usr/lib/*/odbc/libsqlite3odbc.so 2>/dev/null").empty())
    return "";
  for (const char* tool : tools)
    if (!program_run::Have(tool)) return "";
  std::vector<char> tmpl(prefix.begin(), prefix.end());
  for (char c : std::string("_XXXXXX")) tmpl.push_back(c);
  tmpl.push_back('\0');
  if (::mkdtemp(tmpl.data()) == nullptr) return "";
  const std::string dir = tmpl.data();
  int status = -1;
  program_run::Capture("bash '" VT_SOURCE_DIR "/samples/make-sample' '" + dir + "' 2>&1", &status);
  if (status != 0) return "";
  std::ofstream(dir + "/kmw.ini", std::ios::app) << "\n[Preferences]\nShowSplash=0\n";
  setenv("ODBCINI", (dir + "/odbc.ini").c_str(), 1);
  setenv("ODBCSYSINI", dir.c_str(), 1);
  setenv("VORTELLE_WINDIR", dir.c_str(), 1);
  UiStartApplication();
  InstallBuiltinFunctionHandlers();
  SampleDocument sample;
  std::string error;
  return sample.Write("VortelleSample", dir + "/sales.kmw", &error) ? dir : "";
}

}  // namespace window_sample
