// Shows two pieces of the framework for the README's screenshots and saves each as a BMP of the screen:
// the debug display with a few lines, and a framework window painting a bitmap loaded through the file
// front.
//
//   framework_demo.exe OUTPUT_FOLDER [BITMAP]
//
// BITMAP is a 24-bit BMP file name for CFile (default data\v_006_000.bmp, the sample disc's picture when
// started in the disc's root). Writes debug-display.bmp and framework-window.bmp into OUTPUT_FOLDER.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "app/Window.h"
#include "foundation/DebugLog.h"
#include "foundation/DebugPrint.h"
#include "pack/File.h"
#include "tools/robot/Robot.h"

namespace {

// A bottom-up or top-down uncompressed 24- or 32-bit BMP, checked before anything is trusted.
struct LoadedBitmap {
  BITMAPINFOHEADER header = {};
  std::vector<uint8_t> bits;
};

bool LoadBitmap(const std::string& name, LoadedBitmap* bitmap) {
  CFile file;
  if (file.Open(name) != 1) return false;
  const uint32_t size = file.GetSize();
  if (size < sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER) || size > (64u << 20)) return false;
  std::vector<uint8_t> bytes(size);
  if (file.Read(bytes.data(), 1, size) != size) return false;
  BITMAPFILEHEADER fileHeader;
  std::memcpy(&fileHeader, bytes.data(), sizeof fileHeader);
  std::memcpy(&bitmap->header, bytes.data() + sizeof fileHeader, sizeof bitmap->header);
  const BITMAPINFOHEADER& h = bitmap->header;
  if (fileHeader.bfType != 0x4D42 || h.biSize < sizeof h || h.biCompression != BI_RGB ||
      (h.biBitCount != 24 && h.biBitCount != 32) || h.biWidth <= 0 || h.biWidth > 16384 || h.biHeight == 0 ||
      h.biHeight > 16384 || h.biHeight < -16384)
    return false;
  const uint64_t stride = (static_cast<uint64_t>(h.biWidth) * h.biBitCount + 31) / 32 * 4;
  const uint64_t needed = stride * static_cast<uint64_t>(h.biHeight < 0 ? -h.biHeight : h.biHeight);
  if (fileHeader.bfOffBits > size || needed > size - fileHeader.bfOffBits) return false;
  bitmap->header.biSize = sizeof(BITMAPINFOHEADER);
  bitmap->bits.assign(bytes.begin() + fileHeader.bfOffBits, bytes.begin() + fileHeader.bfOffBits + needed);
  return true;
}

// Paints the bitmap stretched over the whole client area.
class BitmapPainter : public CWindowListener {
 public:
  explicit BitmapPainter(const LoadedBitmap* bitmap) : bitmap_(bitmap) {}
  LRESULT handle(HWND window, UINT message, WPARAM, LPARAM) override {
    if (message != WM_PAINT) return 0;
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);
    BITMAPINFO info = {};
    info.bmiHeader = bitmap_->header;
    const int height = bitmap_->header.biHeight < 0 ? -bitmap_->header.biHeight : bitmap_->header.biHeight;
    SetStretchBltMode(dc, COLORONCOLOR);
    StretchDIBits(dc, 0, 0, client.right, client.bottom, 0, 0, bitmap_->header.biWidth, height,
                  bitmap_->bits.data(), &info, DIB_RGB_COLORS, SRCCOPY);
    EndPaint(window, &paint);
    return 1;
  }

 private:
  const LoadedBitmap* bitmap_;
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

  LoadedBitmap bitmap;
  if (!LoadBitmap(bitmapName, &bitmap)) {
    std::fprintf(stderr, "cannot load %s as an uncompressed 24- or 32-bit BMP\n", bitmapName.c_str());
    return 1;
  }
  BitmapPainter painter(&bitmap);
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
