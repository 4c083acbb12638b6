// The link to the report wizard program: the input script the wizard reads,
// the process, and the channel by which it says that its report script is
// written.
#pragma once

#include "platform/win/child_process.h"
#include "platform/win/message_channel.h"

#include <string>

// The wizard's completion message to the main frame.
constexpr UINT kWizardDoneMessage = 0x0400 + 0x20;
// The frame's poll of the wizard process, every two seconds.
constexpr UINT kWizardTimer = 101;
constexpr UINT kWizardPollMs = 2000;

struct WizardProcess {
  HPROCESS process = nullptr;
  MessageChannel* channel = nullptr;
};

// The wizard program kmw.ini names ([Special] WizardEXE), else the program
// folder's default.
std::string WizardProgramPath();
// The command-line argument the wizard expects: "in;out;table;". False when
// a part holds ';' and could not be told apart.
bool BuildWizardArgument(const std::string& in, const std::string& out, const std::string& table,
                         std::string* argument);
// A sample value as the input script carries it: control characters (a line
// end would start a line of its own) become blanks, cut at 50 characters.
std::string WizardSampleValue(const char* text);
