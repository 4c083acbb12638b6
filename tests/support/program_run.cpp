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

namespace {
bool BuildLibrary(const std::string& library, const std::string& source) {
  std::ofstream(library + ".c") << source;
  int built = -1;
  Capture("cc -shared -fPIC -o '" + library + "' '" + library + ".c' -ldl 2>&1", &built);
  if (built != 0) std::printf("no C compiler: %s is not made\n", library.c_str());
  return built == 0;
}
}  // namespace

bool MakeMarkingLibrary(const std::string& library, const std::string& marker) {
  return BuildLibrary(library, "#include <stdio.h>\n__attribute__((constructor)) static void Mark(void) {\n"
                               "  FILE* f = fopen(\"" + marker + "\", \"w\");\n  if (f) fclose(f);\n}\n"
                               "int sqlite3_extension_init(void* a, void* b, void* c) { return 0; }\n");
}

std::string NoLocksEnvironment(const std::string& library, const std::string& folder) {
  const bool built = BuildLibrary(
      library,
      "#define _GNU_SOURCE\n#include <dlfcn.h>\n#include <errno.h>\n#include <fcntl.h>\n#include <stdarg.h>\n"
      "#include <stdio.h>\n#include <string.h>\n#include <unistd.h>\n"
      "static int Under(int fd) {\n  char link[64], path[4096];\n"
      "  snprintf(link, sizeof link, \"/proc/self/fd/%d\", fd);\n"
      "  ssize_t n = readlink(link, path, sizeof path - 1);\n  if (n <= 0) return 0;\n  path[n] = 0;\n"
      "  return strncmp(path, \"" + folder + "/\", " + std::to_string(folder.size() + 1) + ") == 0;\n}\n"
      "static int Pass(const char* name, int fd, int cmd, void* arg) {\n"
      "  if ((cmd == F_SETLK || cmd == F_SETLKW || cmd == F_OFD_SETLK || cmd == F_OFD_SETLKW) && Under(fd)) {\n"
      "    errno = ENOLCK;\n    return -1;\n  }\n"
      "  int (*real)(int, int, ...) = (int (*)(int, int, ...))dlsym(RTLD_NEXT, name);\n"
      "  return real(fd, cmd, arg);\n}\n"
      "#define TAKE(name) int name(int fd, int cmd, ...) { va_list a; va_start(a, cmd); "
      "void* arg = va_arg(a, void*); va_end(a); return Pass(#name, fd, cmd, arg); }\n"
      "TAKE(fcntl)\nTAKE(fcntl64)\n"
      "int flock(int fd, int op) {\n  if (Under(fd)) {\n    errno = ENOLCK;\n    return -1;\n  }\n"
      "  int (*real)(int, int) = (int (*)(int, int))dlsym(RTLD_NEXT, \"flock\");\n  return real(fd, op);\n}\n");
  return built ? "LD_PRELOAD='" + library + "' ASAN_OPTIONS=\"${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0\""
               : std::string();
}

}  // namespace program_run
