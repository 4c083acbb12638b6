#include "platform/mail/mail.h"

#include "platform/win/codepage_text.h"
#include "platform/win/fileio.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

extern char** environ;

namespace vt_mail {
namespace {

// The program found on the PATH (or at one of the extra places); empty when none.
std::string FindProgram(const char* name, const std::vector<std::string>& extra = {}) {
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string dir = dirs.substr(start, end - start);
    if (dir.empty()) dir = ".";
    const std::string candidate = dir + "/" + name;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  for (const std::string& e : extra)
    if (::access(e.c_str(), X_OK) == 0) return e;
  return std::string();
}

// Runs the program with its arguments; its exit status, or -1 when it could
// not run. With input, that text is written to its standard input; with
// output, its standard output is gathered there.
int RunProgram(const std::string& program, const std::vector<std::string>& args, const std::string* input,
               std::string* output) {
  int in[2] = {-1, -1}, out[2] = {-1, -1};
  if (input != nullptr && ::pipe2(in, O_CLOEXEC) != 0) return -1;
  if (output != nullptr && ::pipe2(out, O_CLOEXEC) != 0) {
    if (input != nullptr) { ::close(in[0]); ::close(in[1]); }
    return -1;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (input != nullptr) posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  if (output != nullptr) posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (input != nullptr) ::close(in[0]);
  if (output != nullptr) ::close(out[1]);
  if (spawned != 0) {
    if (input != nullptr) ::close(in[1]);
    if (output != nullptr) ::close(out[0]);
    return -1;
  }
  if (input != nullptr) {
    // A mailer that stops reading early must not kill the program.
    sighandler_t old = ::signal(SIGPIPE, SIG_IGN);
    WriteFileHandle(in[1], input->data(), input->size());
    ::close(in[1]);
    ::signal(SIGPIPE, old);
  }
  if (output != nullptr) {
    char buf[4096];
    long n;
    while ((n = ReadFileHandle(out[0], buf, sizeof buf)) > 0) output->append(buf, static_cast<size_t>(n));
    ::close(out[0]);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Base64Lines(const std::string& data) {
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  size_t line = 0;
  for (size_t i = 0; i < data.size(); i += 3) {
    const uint32_t a = static_cast<unsigned char>(data[i]);
    const uint32_t b = i + 1 < data.size() ? static_cast<unsigned char>(data[i + 1]) : 0;
    const uint32_t c = i + 2 < data.size() ? static_cast<unsigned char>(data[i + 2]) : 0;
    const uint32_t v = (a << 16) | (b << 8) | c;
    out += kDigits[(v >> 18) & 63];
    out += kDigits[(v >> 12) & 63];
    out += i + 1 < data.size() ? kDigits[(v >> 6) & 63] : '=';
    out += i + 2 < data.size() ? kDigits[v & 63] : '=';
    if ((line += 4) == 76) {
      out += "\r\n";
      line = 0;
    }
  }
  if (line != 0) out += "\r\n";
  return out;
}

// A header text as RFC 2047 wants it when it holds more than ASCII.
std::string HeaderText(const std::string& ansi) {
  bool plain = true;
  for (char c : ansi)
    if (static_cast<unsigned char>(c) >= 0x80 || c == '\r' || c == '\n') plain = false;
  if (plain) return ansi;
  std::string utf8 = AnsiToUtf8(ansi);
  for (char& c : utf8)
    if (c == '\r' || c == '\n') c = ' ';
  return "=?UTF-8?B?" + Base64Lines(utf8).substr(0, Base64Lines(utf8).find("\r\n")) + "?=";
}

// Addresses end at the first line break, so nothing can be added to the headers.
std::string OneLine(const std::string& text) { return text.substr(0, text.find_first_of("\r\n")); }

}  // namespace

bool DesktopMailerAvailable() {
  const std::string xdgEmail = FindProgram("xdg-email");
  const std::string xdgMime = FindProgram("xdg-mime");
  if (xdgEmail.empty() || xdgMime.empty()) return false;
  std::string handler;
  if (RunProgram(xdgMime, {"query", "default", "x-scheme-handler/mailto"}, nullptr, &handler) != 0) return false;
  return handler.find_first_not_of(" \t\r\n") != std::string::npos;
}

bool SendmailAvailable() { return !FindProgram("sendmail", {"/usr/sbin/sendmail", "/usr/lib/sendmail"}).empty(); }

bool BuildMimeMessage(const MailMessage& m, std::string* out) {
  std::string data;
  if (!ReadWholeFile(OsFileName(m.attachmentPath), data)) return false;
  const std::string boundary = "=_vortelle_" + std::to_string(static_cast<long>(std::time(nullptr))) + "_" +
                               std::to_string(static_cast<long>(::getpid()));
  std::string name = OneLine(m.attachmentName);
  for (char& c : name)
    if (c == '"' || c == '\\') c = '_';
  std::string s;
  s += "To: " + OneLine(m.to) + "\r\n";
  s += "Subject: " + HeaderText(OneLine(m.subject)) + "\r\n";
  s += "MIME-Version: 1.0\r\n";
  s += "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"\r\n\r\n";
  s += "--" + boundary + "\r\n";
  s += "Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n";
  s += AnsiToUtf8(m.body) + "\r\n";
  s += "--" + boundary + "\r\n";
  s += "Content-Type: application/octet-stream; name=\"" + AnsiToUtf8(name) + "\"\r\n";
  s += "Content-Transfer-Encoding: base64\r\n";
  s += "Content-Disposition: attachment; filename=\"" + AnsiToUtf8(name) + "\"\r\n\r\n";
  s += Base64Lines(data);
  s += "--" + boundary + "--\r\n";
  *out = s;
  return true;
}

MailResult SendMail(const MailMessage& m, std::string* error) {
  auto fail = [error](MailResult r, const char* why) {
    if (error != nullptr) *error = why;
    return r;
  };
  if (DesktopMailerAvailable()) {
    const std::string file = OsFileName(m.attachmentPath);
    const int rc = RunProgram(FindProgram("xdg-email"),
                              {"--subject", AnsiToUtf8(OneLine(m.subject)), "--body", AnsiToUtf8(m.body), "--attach", file},
                              nullptr, nullptr);
    return rc == 0 ? MailResult::kHandedOver : fail(MailResult::kFailed, "the desktop's mail program did not take the message");
  }
  const std::string sendmail = FindProgram("sendmail", {"/usr/sbin/sendmail", "/usr/lib/sendmail"});
  if (sendmail.empty()) return fail(MailResult::kNoMailer, "no mail program is set up");
  std::string text;
  if (!BuildMimeMessage(m, &text)) return fail(MailResult::kFailed, "the report file cannot be read");
  const int rc = RunProgram(sendmail, {"-t", "-i"}, &text, nullptr);
  return rc == 0 ? MailResult::kHandedOver : fail(MailResult::kFailed, "sendmail did not take the message");
}

}  // namespace vt_mail
