#include "tests/support/folder_faults.h"

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

FaultyFolder::FaultyFolder(Kind kind, long bytes) : kind_(kind) {
  char tmpl[] = "/tmp/vt_faulty_XXXXXX";
  if (mkdtemp(tmpl) == nullptr) {
    unavailable_ = "no temporary folder";
    return;
  }
  path_ = tmpl;
  if (geteuid() == 0) {
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
    mounted_ = mount("tmpfs", path_.c_str(), "tmpfs", 0, options.c_str()) == 0;
    if (!mounted_ && kind_ == kReadOnly) unavailable_ = "root cannot mount a tmpfs here";
  }
}

bool FaultyFolder::Arm() {
  if (!unavailable_.empty()) return false;
  if (kind_ == kReadOnly) {
    if (mounted_) return mount("tmpfs", path_.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    return chmod(path_.c_str(), 0555) == 0;
  }
  if (mounted_) {
    // Fill what is left, so the next write meets a full disk.
    const std::string filler = path_ + "/.filler";
    FILE* f = std::fopen(filler.c_str(), "wb");
    if (f == nullptr) return false;
    static const char block[4096] = {};
    while (std::fwrite(block, 1, sizeof block, f) == sizeof block) {
    }
    std::fclose(f);
    return true;
  }
  // No tmpfs: a file-size limit makes large writes fail as a full disk would.
  signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  savedLimit_ = old.rlim_cur;
  rlimit small = old;
  small.rlim_cur = 4096;
  limited_ = setrlimit(RLIMIT_FSIZE, &small) == 0;
  return limited_;
}

FaultyFolder::~FaultyFolder() {
  if (limited_) {
    rlimit r{};
    getrlimit(RLIMIT_FSIZE, &r);
    r.rlim_cur = savedLimit_;
    setrlimit(RLIMIT_FSIZE, &r);
  }
  if (path_.empty()) return;
  if (mounted_) umount2(path_.c_str(), MNT_DETACH);
  else chmod(path_.c_str(), 0755);
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}
