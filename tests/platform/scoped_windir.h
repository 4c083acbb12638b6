// Points the emulated Windows directory at a fresh folder for one test.
#pragma once

#include <cstdlib>
#include <fstream>
#include <string>

#include <unistd.h>

// Sets an environment variable for one scope, restoring what was there.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    const char* old = std::getenv(name);
    had_ = old != nullptr;
    if (had_) old_ = old;
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (had_) ::setenv(name_, old_.c_str(), 1);
    else ::unsetenv(name_);
  }

 private:
  const char* name_;
  std::string old_;
  bool had_ = false;
};

class ScopedWinDir {
 public:
  ScopedWinDir() {
    char tmpl[] = "/tmp/vt-windir-XXXXXX";
    dir_ = ::mkdtemp(tmpl);
    const char* old = std::getenv("VORTELLE_WINDIR");
    had_old_ = old != nullptr;
    if (had_old_) old_ = old;
    ::setenv("VORTELLE_WINDIR", dir_.c_str(), 1);
  }
  ~ScopedWinDir() {
    if (had_old_) ::setenv("VORTELLE_WINDIR", old_.c_str(), 1);
    else ::unsetenv("VORTELLE_WINDIR");
    std::string cmd = "rm -rf '" + dir_ + "'";
    if (std::system(cmd.c_str()) != 0) {
    }
  }
  const std::string& dir() const { return dir_; }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  void Write(const std::string& name, const std::string& bytes) const {
    std::ofstream(Path(name), std::ios::binary) << bytes;
  }
  std::string Read(const std::string& name) const {
    std::ifstream in(Path(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

 private:
  std::string dir_;
  std::string old_;
  bool had_old_ = false;
};
