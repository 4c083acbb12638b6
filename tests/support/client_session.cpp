#include "tests/support/client_session.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <utility>

namespace client_session {

namespace {

// The line the client is asked to print after each answer.
constexpr const char kEnd[] = "VT_END_OF_ANSWER";
constexpr int kAnswerMs = 60000;

// Writes all of text to a pipe whose reader may be gone: a closed pipe is a
// failure, not a signal that ends the test.
bool WriteAll(int fd, const char* text, size_t size) {
  sigset_t pipe, old;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe, &old);
  bool ok = true;
  while (size > 0 && ok) {
    const ssize_t n = ::write(fd, text, size);
    if (n > 0) {
      text += n;
      size -= static_cast<size_t>(n);
    } else if (n < 0 && errno == EAGAIN) {
      pollfd p{fd, POLLOUT, 0};
      ok = ::poll(&p, 1, kAnswerMs) == 1;
    } else if (!(n < 0 && errno == EINTR)) {
      ok = false;
    }
  }
  if (!ok) {
    // The signal the failed write raised is taken here, not on unblocking.
    const timespec none{0, 0};
    sigtimedwait(&pipe, nullptr, &none);
  }
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  return ok;
}

}  // namespace

ClientSession::ClientSession(std::vector<std::string> argv, std::string echo)
    : argv_(std::move(argv)), echo_(std::move(echo)) {}

ClientSession::~ClientSession() { End(); }

bool ClientSession::Start() {
  int in[2], out[2];
  if (::pipe2(in, O_CLOEXEC) != 0) return false;
  if (::pipe2(out, O_CLOEXEC) != 0) {
    ::close(in[0]);
    ::close(in[1]);
    return false;
  }
  std::vector<char*> args;
  for (std::string& a : argv_) args.push_back(a.data());
  args.push_back(nullptr);
  pid_ = ::fork();
  if (pid_ == 0) {
    ::dup2(in[0], 0);
    ::dup2(out[1], 1);
    ::dup2(out[1], 2);
    ::execvp(args[0], args.data());
    ::_exit(127);
  }
  ::close(in[0]);
  ::close(out[1]);
  if (pid_ < 0) {
    ::close(in[1]);
    ::close(out[0]);
    return false;
  }
  in_ = in[1];
  out_ = out[0];
  // Writes wait in WriteAll's poll, so that an answer is read meanwhile.
  ::fcntl(in_, F_SETFL, O_NONBLOCK);
  return true;
}

void ClientSession::End() {
  if (pid_ <= 0) return;
  ::close(in_);
  ::close(out_);
  ::kill(pid_, SIGTERM);
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
  in_ = out_ = -1;
}

std::string ClientSession::Ask(const std::string& sql, bool* ok) {
  if (ok != nullptr) *ok = false;
  if (pid_ <= 0 && !Start()) return std::string();
  const std::string text = sql + "\n" + echo_ + " " + kEnd + "\n";
  const std::string end = std::string(kEnd) + "\n";
  std::string answer;
  size_t written = 0;
  bool done = false;
  while (!done) {
    pollfd p[2] = {{out_, POLLIN, 0}, {written < text.size() ? in_ : -1, POLLOUT, 0}};
    if (::poll(p, 2, kAnswerMs) <= 0) break;
    if (p[1].revents != 0) {
      // As much as the pipe takes now; the rest when it drained.
      const size_t chunk = std::min<size_t>(text.size() - written, 4096);
      if (!WriteAll(in_, text.data() + written, chunk)) break;
      written += chunk;
    }
    if (p[0].revents != 0) {
      char buffer[4096];
      const ssize_t n = ::read(out_, buffer, sizeof buffer);
      if (n <= 0) break;
      answer.append(buffer, static_cast<size_t>(n));
      done = answer.size() >= end.size() && answer.compare(answer.size() - end.size(), end.size(), end) == 0 &&
             (answer.size() == end.size() || answer[answer.size() - end.size() - 1] == '\n');
    }
  }
  if (!done) {
    End();
    return answer;
  }
  answer.resize(answer.size() - end.size());
  if (ok != nullptr) *ok = true;
  return answer;
}

}  // namespace client_session
