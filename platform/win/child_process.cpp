#include "platform/win/child_process.h"

#include "platform/win/fileio.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

extern char** environ;

struct ChildProcess {
  pid_t pid = -1;
  bool ended = false;
  DWORD exitCode = STILL_ACTIVE;
};

namespace {
DWORD CodeOfStatus(int status) {
  if (WIFEXITED(status)) return static_cast<DWORD>(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return static_cast<DWORD>(128 + WTERMSIG(status));
  return 1;
}
}  // namespace

HPROCESS StartProgram(const std::string& path, const std::vector<std::string>& args, DWORD* error) {
  if (error) *error = 0;
  const std::string native = NativePath(path);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(native.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  // Only the standard handles go to the program.
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, native.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    if (error) *error = static_cast<DWORD>(rc);
    return nullptr;
  }
  auto* p = new ChildProcess;
  p->pid = pid;
  return p;
}

BOOL GetExitCodeProcess(HPROCESS process, DWORD* code) {
  if (process == nullptr || code == nullptr) return FALSE;
  if (!process->ended) {
    int status = 0;
    const pid_t r = waitpid(process->pid, &status, WNOHANG);
    if (r < 0) return FALSE;
    if (r == process->pid) {
      process->ended = true;
      process->exitCode = CodeOfStatus(status);
    }
  }
  *code = process->ended ? process->exitCode : STILL_ACTIVE;
  return TRUE;
}

void CloseProcessHandle(HPROCESS process) {
  if (process == nullptr) return;
  if (!process->ended) {
    int status = 0;
    if (waitpid(process->pid, &status, WNOHANG) == 0) {
      const pid_t pid = process->pid;
      std::thread([pid] {
        int s = 0;
        while (waitpid(pid, &s, 0) < 0 && errno == EINTR) {
        }
      }).detach();
    }
  }
  delete process;
}
