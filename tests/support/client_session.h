// A database's own command-line client (psql, sqlite3) kept running for a
// test's many questions: one client start and one connection for all of
// them instead of one each, its answers read up to a line the client prints
// on request after each.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace client_session {

class ClientSession {
 public:
  // argv: the client and its arguments (it reads SQL from its input);
  // echo: the client's command that prints the rest of its line.
  ClientSession(std::vector<std::string> argv, std::string echo);
  ~ClientSession();
  ClientSession(const ClientSession&) = delete;
  ClientSession& operator=(const ClientSession&) = delete;

  // What the client prints (its errors too) for the SQL text; *ok false,
  // and the client ended, when it did not answer within a minute or had
  // ended.
  std::string Ask(const std::string& sql, bool* ok = nullptr);

 private:
  bool Start();
  void End();

  std::vector<std::string> argv_;
  std::string echo_;
  pid_t pid_ = -1;
  int in_ = -1;   // the client's input
  int out_ = -1;  // its output and errors
};

}  // namespace client_session
