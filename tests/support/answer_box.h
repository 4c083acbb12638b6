// Answering the program's windows from a test. A step finds the window it
// answers by what it is, its window class and its caption (and, where two
// boxes share a caption, a control only that one has), never as "the active
// window": on a loaded machine another window (a run's status box, a dialog
// still closing, one not shown yet) may be active when the step runs. Each
// window is answered once.
//
//   answer_box::Box message{kAppTitle, 200};          // a message box: caption, its text's control
//   HWND d = answer_box::Find(message);                // up now and not answered yet, or null
//   HWND d = answer_box::Take(message);                // the same, marked answered
//   steps.push_back(answer_box::Press(message, IDOK, &text));  // a polled step: reads control 200, presses OK
//   steps.push_back(answer_box::Step(box, [](HWND d) { ... }));  // a polled step: acts on the box once up
//   answer_box::Answer a(box, IDCANCEL);               // armed: answers it whenever it shows, inside
//                                                      // modal loops too, while `a` lives
//   HWND d = answer_box::WaitFor(box);                 // runs the window queue until the box is up
//
// A box that never comes is left to the step lists' own limits, and a modal
// dialog nobody answers fails the test through the dialog watchdog.
#pragma once

#include "platform/win/window.h"

#include <functional>
#include <string>

namespace answer_box {

// What a window is.
struct Box {
  std::string caption;                         // its caption, exactly
  int control = 0;                             // a control id it must have (0: none asked)
  std::string windowClass = kDialogClassName;  // dialogs by default
};

// The box if it is up (shown, enabled, not ended) and not answered yet; the
// latest made where several are. Null when none is.
HWND Find(const Box& box);
// Find, and the box marked answered, so that no later step takes it again.
HWND Take(const Box& box);

// A control's text (of a message box: control 200, the message).
std::string Text(HWND box, int control);

// Posts the button's command to the box, as a click on it does.
void Click(HWND box, int button);

// Steps for the lists of polled steps the scenario harnesses run: each is
// false until the box is up, then acts on it once and is true.
std::function<bool()> Step(const Box& box, std::function<void(HWND)> act);
// The step that presses a button of the box; message gets control 200's text.
std::function<bool()> Press(const Box& box, int button, std::string* message = nullptr);

// Runs the window layer's queue until the box is up; null when it has not
// come within the scenario's wait limit. Takes nothing: the caller answers it.
HWND WaitFor(const Box& box);

// Armed for its lifetime on the window layer's timer, which runs inside modal
// loops too: acts on the box each time one shows (answering it).
class Answer {
 public:
  Answer(Box box, std::function<void(HWND)> act);
  // Presses the button; message gets control 200's text of the last one.
  Answer(Box box, int button, std::string* message = nullptr);
  ~Answer();
  Answer(const Answer&) = delete;
  Answer& operator=(const Answer&) = delete;
  // How many boxes it has answered.
  int count() const { return count_; }

 private:
  static void Tick(HWND, UINT, UINT_PTR id, DWORD);
  Box box_;
  std::function<void(HWND)> act_;
  int count_ = 0;
  UINT_PTR timer_ = 0;
};

}  // namespace answer_box
