// A stand-in for the report wizard program, for the tests of the wizard
// link. It takes the one argument "input;output;table;", reads the input
// script, and by VT_WIZARD_MODE:
//   done (default)  writes a report script of the table's first text and
//                   numeric fields to the output and signals completion on
//                   the channel named by the script's Window key;
//   cancel          ends without a script or a signal (the user cancelled);
//   bad             writes a script with an error, then signals.
// VT_WIZARD_LOG, when set, receives the argument count, the argument and
// the input script as read, for the test to check.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string Trim(std::string s) {
  while (!s.empty() && (s.back() == '\r' || s.back() == '\n')) s.pop_back();
  return s;
}

bool Signal(const std::string& name) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (name.size() >= sizeof addr.sun_path) return false;
  std::memcpy(addr.sun_path, name.c_str(), name.size());
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  if (fd < 0) return false;
  const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 && write(fd, "1\n", 2) == 2;
  close(fd);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  const char* modeEnv = std::getenv("VT_WIZARD_MODE");
  const std::string mode = modeEnv ? modeEnv : "done";
  if (argc < 2) return 2;
  std::vector<std::string> parts;
  std::string arg = argv[1], part;
  for (char c : arg) {
    if (c == ';') {
      parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  if (parts.size() != 3 || !part.empty()) return 3;
  std::ifstream in(parts[0], std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  const std::string script = ss.str();
  if (const char* log = std::getenv("VT_WIZARD_LOG")) {
    std::ofstream out(log, std::ios::binary);
    out << "argc=" << argc << "\nargument=" << arg << "\n" << script;
  }
  if (mode == "cancel") return 0;

  // The [TableDef] lines: the first character and the first numeric field.
  std::string window, textField, numField, firstValue;
  std::istringstream lines(script);
  std::string line, section;
  while (std::getline(lines, line)) {
    line = Trim(line);
    if (line.empty()) continue;
    if (line[0] == '[') {
      section = line;
      continue;
    }
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
    if (section == "[System]" && key == "Window") window = value;
    if (section == "[TableDef]" && value.rfind("0,", 0) == 0 && textField.empty()) textField = key;
    if (section == "[TableDef]" && value.rfind("1,", 0) == 0 && key == "amount") numField = key;
    if (section == "[Row1]" && key == textField && firstValue.empty()) firstValue = value;
  }
  std::ofstream out(parts[1], std::ios::binary | std::ios::trunc);
  out << "[Report]\r\nReportName=Wizard " << parts[2] << "\r\n";
  out << "[Title]\r\nTextField=\"Made by the wizard from " << parts[2] << "\",F,0,0,B\r\n";
  out << "[Record]\r\nCharField=" << textField << ",F,0,0,,30\r\n";
  if (!numField.empty()) out << "NumField=" << numField << ",F,4.0,2,,8,2\r\n";
  if (mode == "bad") out << "[Summary]\r\nNoSuchKeyword=1\r\n";
  out.close();
  return Signal(window) ? 0 : 4;
}
