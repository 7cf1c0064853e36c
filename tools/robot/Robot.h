#pragma once
// A robot that plays the user of another process's dialogs: it watches the top-level windows of one
// process, reads every message box (caption, text, buttons, owner) as the ANSI code page's bytes, asks a
// decision callback which button to press, presses it and waits for that box to go before it looks for
// the next one. Dialogs of class "#32770" without any button (the setup's please-wait dialog) are
// reported when they appear and disappear. The robot also takes screenshots of the whole screen.
//
// Texts are read with GetWindowTextA, which sends no message to the watched process, so a busy or
// sleeping target does not block the robot (the one message sent, STM_GETICON, has a time-out). This
// relies on Wine, where GetWindowTextA returns the text of any window, controls of another process
// included. On Windows it returns only the caption of another process's top-level window and an empty
// text for that process's controls; the robot would have to send WM_GETTEXT (SendMessageTimeout) there.

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// One top-level dialog of the watched process as the robot saw it.
struct RobotDialog {
  HWND window = nullptr;
  HWND owner = nullptr;
  std::string caption;       // the dialog's title, code page bytes
  std::string text;          // message box: its text control (id 0xFFFF); other dialogs: their static
                             // texts in child order, joined by "\n"
  std::vector<int> buttons;  // standard button ids present (IDOK, IDCANCEL, ...), ascending
  int defaultButton = 0;     // the id of the button drawn as the default one, 0 if none
  bool hasIcon = false;      // a visible icon control (message boxes: any MB_ICON... style)

  bool IsMessageBox() const { return !buttons.empty(); }
  bool HasButton(int id) const;
};

// A message box the robot answered.
struct RobotAnswer {
  RobotDialog box;
  int pressed = 0;              // the button id pressed
  bool waitDialogOpen = false;  // whether a button-less dialog of the process was open at that moment
  int lastProgress = -1;        // the last position read from a wait dialog's progress bar before, or -1
};

class CRobot {
 public:
  // Returns the id of the button to press; an id the box does not have presses nothing and fails the
  // watch.
  using Decision = std::function<int(const RobotDialog& box)>;
  // appeared true: the dialog has just been seen; false: it has gone.
  using WaitDialogEvent = std::function<void(const RobotDialog& dialog, bool appeared)>;

  enum class Outcome { kExited, kTimedOut, kFailed };

  explicit CRobot(DWORD processId);
  CRobot(const CRobot&) = delete;
  CRobot& operator=(const CRobot&) = delete;

  void SetDecision(Decision decision) { decision_ = std::move(decision); }
  void SetWaitDialogEvent(WaitDialogEvent event) { waitDialogEvent_ = std::move(event); }

  // Watches until `process` (a handle of the watched process with SYNCHRONIZE access) has ended, or
  // until timeoutMs has passed. Without a decision callback every box gets OK, else its default button,
  // else its first button.
  Outcome Watch(HANDLE process, DWORD timeoutMs);

  // Every box answered so far, in order.
  const std::vector<RobotAnswer>& Answers() const { return answers_; }
  // The button-less dialogs open at the last look, and every one seen so far.
  const std::vector<RobotDialog>& OpenWaitDialogs() const { return openWaitDialogs_; }
  const std::vector<RobotDialog>& SeenWaitDialogs() const { return seenWaitDialogs_; }
  // Captions and classes of every visible top-level window of the process seen so far ("class|caption").
  const std::vector<std::string>& SeenWindows() const { return seenWindows_; }
  // Positions read from the progress bar of the open wait dialog, one per look, in order. Reading one
  // sends PBM_GETPOS, which the watched process answers when it next looks at its messages.
  const std::vector<int>& ProgressSamples() const { return progressSamples_; }
  // Why the last watch failed or timed out.
  const std::string& Problem() const { return problem_; }

  // The answer without a decision callback: OK, else the default button, else the first one.
  static int DefaultAnswer(const RobotDialog& box);

 private:
  std::vector<HWND> VisibleTopLevelWindows() const;
  void UpdateWaitDialogs(const std::vector<HWND>& windows);
  bool AnswerBox(HWND window, DWORD* deadline);
  void SampleProgress();

  DWORD processId_;
  Decision decision_;
  WaitDialogEvent waitDialogEvent_;
  std::vector<RobotAnswer> answers_;
  std::vector<RobotDialog> openWaitDialogs_;
  std::vector<RobotDialog> seenWaitDialogs_;
  std::vector<std::string> seenWindows_;
  std::vector<int> progressSamples_;
  std::string problem_;
};

// Reads one top-level window the way the robot does.
RobotDialog ReadRobotDialog(HWND window);

// Saves the whole screen as a 24-bit BMP (bottom-up rows padded to 4 bytes). False on failure.
bool SaveScreenshot(const std::string& path);

// A window's contents reach the screen only as its own thread paints them (the setup's pump handles one
// message per 50 ms). Looks at the window's area every 100 ms until it has stayed the same for 200 ms,
// then saves the screen. True when it settled; false when the window went away or maxMs passed first
// (the last picture taken while the window was there is saved all the same) or on failure.
bool SaveSettledScreenshot(HWND window, const std::string& path, DWORD maxMs);

// Code page bytes (CP_ACP) to UTF-8; bytes that do not convert come out as the converter's default.
std::string AnsiToUtf8(const std::string& text);
