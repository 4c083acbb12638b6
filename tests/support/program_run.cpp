#include "tests/support/program_run.h"

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace program_run {

std::string Capture(const std::string& command, int* status) {
  std::string out;
  FILE* p = ::popen(command.c_str(), "r");
  if (p == nullptr) return out;
  std::array<char, 4096> buf{};
  size_t n = 0;
  while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) out.append(buf.data(), n);
  const int raw = ::pclose(p);
  if (status != nullptr) *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return out;
}

bool Have(const char* tool) { return !Capture(std::string("command -v ") + tool).empty(); }

std::string ProgramPath() {
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : (self.parent_path() / "vortelle").string();
}

std::string ProgramLeakOptions() {
  return "LSAN_OPTIONS=\"${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=" VT_SOURCE_DIR "/tests/lsan.supp\"";
}

bool MakeMarkingLibrary(const std::string& library, const std::string& marker) {
  std::ofstream(library + ".c") << "#include <stdio.h>\n__attribute__((constructor)) static void Mark(void) {\n"
                                   "  FILE* f = fopen(\"" + marker + "\", \"w\");\n  if (f) fclose(f);\n}\n"
                                   "int sqlite3_extension_init(void* a, void* b, void* c) { return 0; }\n";
  int built = -1;
  Capture("cc -shared -fPIC -o '" + library + "' '" + library + ".c' 2>&1", &built);
  if (built != 0) std::printf("no C compiler: the library is not made, the refusals are still checked\n");
  return built == 0;
}

}  // namespace program_run
