#pragma once
// Answers the display changers' settings calls in place of the display (Xvfb cannot change modes) and
// records every call, while it lives.

#include <windows.h>

#include <vector>

#include "app/ChangeDisplay.h"

namespace testing_support {

struct DisplayCall {
  bool hasMode;
  DEVMODEA mode;
  DWORD flags;
};

class FakeDisplay {
 public:
  // `answer` is what every call returns until changed.
  explicit FakeDisplay(LONG answer = DISP_CHANGE_SUCCESSFUL) {
    Calls().clear();
    Answer() = answer;
    previous_ = SetChangeDisplaySettingsFunction(&FakeDisplay::Change);
  }
  ~FakeDisplay() { SetChangeDisplaySettingsFunction(previous_); }
  FakeDisplay(const FakeDisplay&) = delete;
  FakeDisplay& operator=(const FakeDisplay&) = delete;

  void SetAnswer(LONG answer) { Answer() = answer; }
  // Answers for the next calls in order; after them, the answer of SetAnswer.
  void SetNextAnswers(std::vector<LONG> answers) { Next() = answers; }
  std::vector<DisplayCall> TakeCalls() {
    std::vector<DisplayCall> calls;
    calls.swap(Calls());
    return calls;
  }

 private:
  static std::vector<DisplayCall>& Calls() {
    static std::vector<DisplayCall> calls;
    return calls;
  }
  static LONG& Answer() {
    static LONG answer;
    return answer;
  }
  static std::vector<LONG>& Next() {
    static std::vector<LONG> next;
    return next;
  }
  static LONG WINAPI Change(DEVMODEA* mode, DWORD flags) {
    DisplayCall call = {mode != nullptr, {}, flags};
    if (mode) call.mode = *mode;
    Calls().push_back(call);
    if (!Next().empty()) {
      LONG answer = Next().front();
      Next().erase(Next().begin());
      return answer;
    }
    return Answer();
  }

  ChangeDisplaySettingsFunction previous_;
};

}  // namespace testing_support
