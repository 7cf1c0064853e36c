#include "app/ChangeDisplay.h"

#include <atomic>

#include "app/AppManager.h"
#include "foundation/DebugPrint.h"
#include "foundation/Process.h"

static_assert(sizeof(DEVMODEA) == 156, "the display mode record of 32-bit Windows");

namespace {

constexpr DWORD kSizeFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;  // 0x1C0000

LONG WINAPI PlatformChangeDisplaySettings(DEVMODEA* mode, DWORD flags) { return ChangeDisplaySettingsA(mode, flags); }

std::atomic<ChangeDisplaySettingsFunction> g_changeSettings{&PlatformChangeDisplaySettings};

LONG CallChangeSettings(DEVMODEA* mode, DWORD flags) { return g_changeSettings.load()(mode, flags); }

DEVMODEA MakeMode(DWORD fields, int width, int height, int depth) {
  DEVMODEA mode = {};
  mode.dmSize = sizeof mode;
  mode.dmFields = fields;
  mode.dmPelsWidth = static_cast<DWORD>(width);
  mode.dmPelsHeight = static_cast<DWORD>(height);
  mode.dmBitsPerPel = static_cast<DWORD>(depth);
  return mode;
}

}  // namespace

ChangeDisplaySettingsFunction SetChangeDisplaySettingsFunction(ChangeDisplaySettingsFunction function) {
  return g_changeSettings.exchange(function ? function : &PlatformChangeDisplaySettings);
}

CChangeDisplayWin32API::~CChangeDisplayWin32API() {
  if (changed_ && CallChangeSettings(nullptr, 0) != DISP_CHANGE_SUCCESSFUL)
    DebugPrint("CChangeDisplayWin32API::_Finalize() 後処理に失敗した");
}

bool CChangeDisplayWin32API::ChangeDisplay(int width, int height, int depth) {
  if (depth == 0) return Reset();
  Sleep(100);
  changed_ = 1;
  if (IsWindowsNT()) {
    HDC screen = GetDC(nullptr);
    int refresh = screen ? GetDeviceCaps(screen, VREFRESH) : 0;
    if (screen) ReleaseDC(nullptr, screen);
    DEVMODEA mode = MakeMode(kSizeFields | DM_DISPLAYFREQUENCY, width, height, depth);
    mode.dmDisplayFrequency = static_cast<DWORD>(refresh);
    if (CallChangeSettings(&mode, CDS_FULLSCREEN) == DISP_CHANGE_SUCCESSFUL) {
      Sleep(200);
      return true;
    }
  }
  DEVMODEA mode = MakeMode(kSizeFields, width, height, depth);
  if (CallChangeSettings(&mode, CDS_FULLSCREEN) != DISP_CHANGE_SUCCESSFUL) return false;
  Sleep(200);
  return true;
}

bool CChangeDisplayWin32API::IsModeAvailable(int width, int height, int depth) {
  if (depth == 0) return true;
  DEVMODEA mode = MakeMode(kSizeFields, width, height, depth == 15 ? 16 : depth);
  return CallChangeSettings(&mode, CDS_TEST) == DISP_CHANGE_SUCCESSFUL;
}

bool CChangeDisplayWin32API::Reset() {
  if (!changed_) return true;
  if (CallChangeSettings(nullptr, 0) != DISP_CHANGE_SUCCESSFUL) return false;
  changed_ = 0;
  return true;
}

CChangeDisplayDDraw::CChangeDisplayDDraw() : window_(CAppManager::GetHWnd()) {
  if (!window_) {
    DebugPrint("CChangeDisplayDDraw::CChangeDisplayDDraw() CAppManager::GetHWnd()に失敗.以後Win32APIを使用します");
    return;
  }
  // No DirectDraw layer keeps devices for windows in this program: the lookup finds nothing.
  DebugPrint(
      "CChangeDisplayDDraw::CChangeDisplayDDraw() DirectDrawインターフェースを取得できません.以後Win32APIを使用します");
}
