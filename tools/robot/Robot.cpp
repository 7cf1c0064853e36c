#include "tools/robot/Robot.h"

#include <commctrl.h>

#include <algorithm>

namespace {

// The standard button ids of message boxes: IDOK (1) to IDCONTINUE (11).
constexpr int kFirstStandardButton = IDOK;
constexpr int kLastStandardButton = 11;
constexpr int kMessageBoxTextId = 0xFFFF;
constexpr DWORD kPollMs = 10;

std::string ClassOf(HWND window) {
  char name[256] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

// GetWindowTextA on a window of another process sends no WM_GETTEXT, so it cannot block on the target.
// Under Wine it gives the text of controls too; on Windows a control of another process reads as empty
// (see Robot.h).
std::string TextOf(HWND window) {
  std::vector<char> buffer(16384);
  int length = GetWindowTextA(window, buffer.data(), static_cast<int>(buffer.size()));
  return std::string(buffer.data(), length > 0 ? static_cast<size_t>(length) : 0);
}

bool IsStyleVisible(HWND window) { return (GetWindowLongA(window, GWL_STYLE) & WS_VISIBLE) != 0; }

BOOL CALLBACK AddChild(HWND child, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
  return TRUE;
}

std::vector<HWND> ChildrenOf(HWND parent) {
  std::vector<HWND> children;
  EnumChildWindows(parent, AddChild, reinterpret_cast<LPARAM>(&children));
  return children;
}

struct WindowSearch {
  DWORD processId;
  std::vector<HWND> found;
};

BOOL CALLBACK AddVisibleWindowOfProcess(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<WindowSearch*>(data);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == search->processId && IsWindowVisible(window)) search->found.push_back(window);
  return TRUE;
}

bool SameText(const std::string& a, const char* b) { return lstrcmpiA(a.c_str(), b) == 0; }

DWORD ElapsedSince(DWORD start) { return GetTickCount() - start; }

bool WriteAll(HANDLE file, const void* data, DWORD size) {
  DWORD written = 0;
  return WriteFile(file, data, size, &written, nullptr) && written == size;
}

}  // namespace

bool RobotDialog::HasButton(int id) const { return std::find(buttons.begin(), buttons.end(), id) != buttons.end(); }

RobotDialog ReadRobotDialog(HWND window) {
  RobotDialog dialog;
  dialog.window = window;
  dialog.owner = GetWindow(window, GW_OWNER);
  dialog.caption = TextOf(window);
  std::string statics;
  HWND textControl = nullptr;
  for (HWND child : ChildrenOf(window)) {
    if (GetParent(child) != window || !IsStyleVisible(child)) continue;
    std::string kind = ClassOf(child);
    LONG style = GetWindowLongA(child, GWL_STYLE);
    int id = static_cast<int>(GetWindowLongPtrA(child, GWLP_ID) & 0xFFFF);
    if (SameText(kind, "Button")) {
      if (id >= kFirstStandardButton && id <= kLastStandardButton) {
        dialog.buttons.push_back(id);
        if ((style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) dialog.defaultButton = id;
      }
    } else if (SameText(kind, "Static")) {
      if ((style & SS_TYPEMASK) == SS_ICON) {
        // Message boxes keep their icon control even without an icon; ask it whether it holds one.
        DWORD_PTR icon = 0;
        if (SendMessageTimeoutA(child, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 5000, &icon) && icon) dialog.hasIcon = true;
      } else {
        if (id == kMessageBoxTextId && !textControl) textControl = child;
        if (!statics.empty()) statics += '\n';
        statics += TextOf(child);
      }
    }
  }
  std::sort(dialog.buttons.begin(), dialog.buttons.end());
  dialog.text = (!dialog.buttons.empty() && textControl) ? TextOf(textControl) : statics;
  return dialog;
}

CRobot::CRobot(DWORD processId) : processId_(processId) {}

int CRobot::DefaultAnswer(const RobotDialog& box) {
  if (box.HasButton(IDOK)) return IDOK;
  if (box.defaultButton) return box.defaultButton;
  return box.buttons.empty() ? 0 : box.buttons.front();
}

std::vector<HWND> CRobot::VisibleTopLevelWindows() const {
  WindowSearch search{processId_, {}};
  EnumWindows(AddVisibleWindowOfProcess, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

void CRobot::UpdateWaitDialogs(const std::vector<HWND>& windows) {
  for (HWND window : windows) {
    std::string kind = ClassOf(window);
    std::string seen = kind + "|" + TextOf(window);
    if (std::find(seenWindows_.begin(), seenWindows_.end(), seen) == seenWindows_.end()) seenWindows_.push_back(seen);
  }
  // Gone ones first, so that a handle the system hands out again is seen as a new dialog.
  for (size_t i = 0; i < openWaitDialogs_.size();) {
    HWND window = openWaitDialogs_[i].window;
    if (std::find(windows.begin(), windows.end(), window) == windows.end()) {
      RobotDialog gone = openWaitDialogs_[i];
      openWaitDialogs_.erase(openWaitDialogs_.begin() + static_cast<std::ptrdiff_t>(i));
      if (waitDialogEvent_) waitDialogEvent_(gone, false);
    } else {
      ++i;
    }
  }
  for (HWND window : windows) {
    if (ClassOf(window) != "#32770") continue;
    bool known = std::any_of(openWaitDialogs_.begin(), openWaitDialogs_.end(),
                             [window](const RobotDialog& d) { return d.window == window; });
    if (known) continue;
    RobotDialog dialog = ReadRobotDialog(window);
    if (dialog.IsMessageBox()) continue;
    openWaitDialogs_.push_back(dialog);
    seenWaitDialogs_.push_back(dialog);
    if (waitDialogEvent_) waitDialogEvent_(dialog, true);
  }
}

void CRobot::SampleProgress() {
  for (const RobotDialog& dialog : openWaitDialogs_) {
    HWND bar = FindWindowExA(dialog.window, nullptr, "msctls_progress32", nullptr);
    DWORD_PTR position = 0;
    if (bar && SendMessageTimeoutA(bar, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 1000, &position))
      progressSamples_.push_back(static_cast<int>(position));
  }
}

bool CRobot::AnswerBox(HWND window, DWORD* deadline) {
  RobotAnswer answer;
  answer.box = ReadRobotDialog(window);
  answer.waitDialogOpen = !openWaitDialogs_.empty();
  answer.lastProgress = progressSamples_.empty() ? -1 : progressSamples_.back();
  // The time the decision takes (it may start and watch another program) does not count.
  DWORD before = GetTickCount();
  answer.pressed = decision_ ? decision_(answer.box) : DefaultAnswer(answer.box);
  *deadline += ElapsedSince(before);
  answers_.push_back(answer);
  if (!answer.box.HasButton(answer.pressed)) {
    problem_ = "the decision chose button " + std::to_string(answer.pressed) + ", which the box \"" +
               AnsiToUtf8(answer.box.caption) + "\" does not have";
    return false;
  }
  HWND button = GetDlgItem(window, answer.pressed);
  PostMessageA(window, WM_COMMAND, MAKEWPARAM(answer.pressed, BN_CLICKED), reinterpret_cast<LPARAM>(button));
  // Wait for this box to go (hidden by EndDialog, then destroyed) so that it is never answered twice.
  while (IsWindow(window) && IsWindowVisible(window)) {
    if (static_cast<LONG>(*deadline - GetTickCount()) <= 0) {
      problem_ = "the box \"" + AnsiToUtf8(answer.box.caption) + "\" stayed after its button was pressed";
      return false;
    }
    Sleep(kPollMs);
  }
  return true;
}

CRobot::Outcome CRobot::Watch(HANDLE process, DWORD timeoutMs) {
  problem_.clear();
  DWORD deadline = GetTickCount() + timeoutMs;
  std::vector<HWND> answeredAndStillThere;
  for (;;) {
    std::vector<HWND> windows = VisibleTopLevelWindows();
    UpdateWaitDialogs(windows);
    SampleProgress();
    answeredAndStillThere.erase(std::remove_if(answeredAndStillThere.begin(), answeredAndStillThere.end(),
                                               [](HWND window) { return !IsWindow(window); }),
                                answeredAndStillThere.end());
    bool answered = false;
    for (HWND window : windows) {
      if (ClassOf(window) != "#32770") continue;
      if (std::find(answeredAndStillThere.begin(), answeredAndStillThere.end(), window) != answeredAndStillThere.end())
        continue;
      if (!ReadRobotDialog(window).IsMessageBox()) continue;
      if (!AnswerBox(window, &deadline)) return Outcome::kFailed;
      answeredAndStillThere.push_back(window);
      answered = true;
      break;
    }
    if (answered) continue;
    if (WaitForSingleObject(process, kPollMs) == WAIT_OBJECT_0) {
      UpdateWaitDialogs(VisibleTopLevelWindows());
      return Outcome::kExited;
    }
    if (static_cast<LONG>(deadline - GetTickCount()) <= 0) {
      problem_ = "the program did not end within " + std::to_string(timeoutMs / 1000) + " s";
      return Outcome::kTimedOut;
    }
  }
}

namespace {

// The whole screen as a bottom-up 24-bit DIB, rows padded to 4 bytes.
struct ScreenPicture {
  int width = 0;
  int height = 0;
  DWORD stride = 0;
  std::vector<unsigned char> bits;
};

bool CaptureScreen(ScreenPicture* picture) {
  int width = GetSystemMetrics(SM_CXSCREEN);
  int height = GetSystemMetrics(SM_CYSCREEN);
  if (width <= 0 || height <= 0) return false;
  HDC screen = GetDC(nullptr);
  if (!screen) return false;
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;  // bottom-up, as BMP files store rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC memory = CreateCompatibleDC(screen);
  bool ok = bitmap && memory && bits;
  if (ok) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    ok = BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY | CAPTUREBLT) != FALSE;
    GdiFlush();
    SelectObject(memory, old);
  }
  if (ok) {
    picture->width = width;
    picture->height = height;
    picture->stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    const auto* first = static_cast<const unsigned char*>(bits);
    picture->bits.assign(first, first + picture->stride * static_cast<DWORD>(height));
  }
  if (memory) DeleteDC(memory);
  if (bitmap) DeleteObject(bitmap);
  ReleaseDC(nullptr, screen);
  return ok;
}

bool WriteBmp(const ScreenPicture& picture, const std::string& path) {
  DWORD imageSize = static_cast<DWORD>(picture.bits.size());
  BITMAPFILEHEADER file = {};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
  file.bfSize = file.bfOffBits + imageSize;
  BITMAPINFOHEADER header = {};
  header.biSize = sizeof header;
  header.biWidth = picture.width;
  header.biHeight = picture.height;
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = BI_RGB;
  header.biSizeImage = imageSize;
  HANDLE out = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) return false;
  bool ok = WriteAll(out, &file, sizeof file) && WriteAll(out, &header, sizeof header) &&
            WriteAll(out, picture.bits.data(), imageSize);
  CloseHandle(out);
  if (!ok) DeleteFileA(path.c_str());
  return ok;
}

// The bytes of the screen area `area` (clipped to the screen) in one picture.
std::vector<unsigned char> AreaOf(const ScreenPicture& picture, RECT area) {
  std::vector<unsigned char> bytes;
  int left = std::max(0L, area.left), right = std::min<LONG>(picture.width, area.right);
  int top = std::max(0L, area.top), bottom = std::min<LONG>(picture.height, area.bottom);
  for (int y = top; y < bottom; ++y) {
    const unsigned char* row = &picture.bits[static_cast<size_t>(picture.height - 1 - y) * picture.stride];
    bytes.insert(bytes.end(), row + left * 3, row + right * 3);
  }
  return bytes;
}

}  // namespace

bool SaveScreenshot(const std::string& path) {
  ScreenPicture picture;
  return CaptureScreen(&picture) && WriteBmp(picture, path);
}

bool SaveSettledScreenshot(HWND window, const std::string& path, DWORD maxMs) {
  constexpr DWORD kLookEveryMs = 100;
  constexpr int kSameLooksNeeded = 3;
  ScreenPicture last;
  std::vector<unsigned char> lastArea;
  bool settled = false;
  int sameLooks = 0;
  for (DWORD start = GetTickCount(); GetTickCount() - start < maxMs; Sleep(kLookEveryMs)) {
    RECT area;
    if (!IsWindow(window) || !IsWindowVisible(window) || !GetWindowRect(window, &area)) break;
    ScreenPicture picture;
    if (!CaptureScreen(&picture)) return false;
    std::vector<unsigned char> bytes = AreaOf(picture, area);
    sameLooks = (!lastArea.empty() && bytes == lastArea) ? sameLooks + 1 : 0;
    last = std::move(picture);
    lastArea = std::move(bytes);
    if (sameLooks + 1 >= kSameLooksNeeded) {
      settled = true;
      break;
    }
  }
  if (last.bits.empty() && !CaptureScreen(&last)) return false;
  return WriteBmp(last, path) && settled;
}

std::string AnsiToUtf8(const std::string& text) {
  if (text.empty()) return text;
  int wide = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (wide <= 0) return std::string();
  std::wstring utf16(static_cast<size_t>(wide), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &utf16[0], wide);
  int narrow = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), wide, nullptr, 0, nullptr, nullptr);
  if (narrow <= 0) return std::string();
  std::string utf8(static_cast<size_t>(narrow), '\0');
  WideCharToMultiByte(CP_UTF8, 0, utf16.data(), wide, &utf8[0], narrow, nullptr, nullptr);
  return utf8;
}
