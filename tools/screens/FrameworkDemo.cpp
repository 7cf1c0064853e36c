// Shows two pieces of the framework for the README's screenshots and saves each as a BMP of the screen:
// the debug display with a few lines, and a framework window painting a bitmap loaded through the file
// front.
//
//   framework_demo.exe OUTPUT_FOLDER [BITMAP]
//
// BITMAP is a BMP file name for the file front (default data\v_006_000.bmp, the sample disc's picture
// when started in the disc's root), loaded into a surface. Writes debug-display.bmp and framework-window.bmp into
// OUTPUT_FOLDER.
#include <windows.h>

#include <cstdio>
#include <string>
#include <thread>

#include "app/Window.h"
#include "foundation/DebugLog.h"
#include "foundation/DebugPrint.h"
#include "image/Surface.h"
#include "tools/robot/Robot.h"

namespace {

// Paints the surface stretched over the whole client area, from the surface's device context.
class SurfacePainter : public CWindowListener {
 public:
  explicit SurfacePainter(CSurface* surface) : surface_(surface) {}
  LRESULT handle(HWND window, UINT message, WPARAM, LPARAM) override {
    if (message != WM_PAINT) return 0;
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);
    const SIZE size = surface_->GetExtent();
    if (HDC source = surface_->GetDC()) {
      SetStretchBltMode(dc, COLORONCOLOR);
      StretchBlt(dc, 0, 0, client.right, client.bottom, source, 0, 0, size.cx, size.cy, SRCCOPY);
      surface_->ReleaseDC();
    }
    EndPaint(window, &paint);
    return 1;
  }

 private:
  CSurface* surface_;
};

// Saves the screen once `window` has painted, while this thread keeps serving the window's messages.
bool ShootWhilePumping(HWND window, const std::string& path) {
  bool saved = false;
  bool done = false;
  std::thread shooter([&] {
    saved = SaveSettledScreenshot(window, path, 5000);
    done = true;
  });
  while (!done) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    Sleep(10);
  }
  shooter.join();
  return saved;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: framework_demo.exe OUTPUT_FOLDER [BITMAP]\n");
    return 2;
  }
  const std::string out = argv[1];
  const std::string bitmapName = argc > 2 ? argv[2] : "data\\v_006_000.bmp";

  // The debug display, as a program that switches it on sees it.
  CDebugLog* log = CDebugLog::Get();
  log->EnableDisplay();
  DebugPrint("CApplication: 起動しました。");
  DebugPrint("CFile::Open() %s を開きました。", bitmapName.c_str());
  DebugPrint("CChangeDisplayDDraw::CChangeDisplayDDraw() CAppManager::GetHWnd()に失敗.以後Win32APIを使用します");
  DebugPrint("CWindow: %d x %d, 深さ %d", 800, 600, 32);
  DebugPrint("進行状況 %d%%\n", 42);
  HWND display = log->GetListBox();
  bool ok = display && SaveSettledScreenshot(display, out + "\\debug-display.bmp", 5000);
  if (!ok) std::fprintf(stderr, "no picture of the debug display\n");
  log->ForceClose();
  log->GetThread()->Stop();

  // A DIB-section surface (kind 1) at the screen's depth, so that it gives a device context to paint from.
  CSurface picture;
  if (!picture.Load(bitmapName, 0, 1)) {
    std::fprintf(stderr, "cannot load %s\n", bitmapName.c_str());
    return 1;
  }
  SurfacePainter painter(&picture);
  CWindow window;
  window.AddListener(&painter);
  CWindowParams params;
  params.title = "CWindow: " + bitmapName;
  params.width = 384;
  params.height = 288;
  if (!window.Create(params)) {
    std::fprintf(stderr, "cannot create the window\n");
    return 1;
  }
  if (!ShootWhilePumping(window.GetHWnd(), out + "\\framework-window.bmp")) {
    std::fprintf(stderr, "no picture of the framework window\n");
    ok = false;
  }
  window.Destroy();
  window.RemoveListener(&painter);
  return ok ? 0 : 1;
}
