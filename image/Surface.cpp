#include "image/Surface.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>

#include "app/AppManager.h"
#include "image/BmpCodec.h"
#include "image/BmpImage.h"
#include "image/PixelConvert.h"
#include "image/SurfacePixels.h"
#include "image/SurfaceRegistry.h"
#include "pack/File.h"

namespace {

constexpr uint32_t kDefaultColorKey = 0x00FF00;  // pure green, the same in either byte order

}  // namespace

int GetScreenDepth() {
  HDC screen = ::GetDC(nullptr);
  if (!screen) return 0;
  const int depth = GetDeviceCaps(screen, BITSPIXEL);
  ::ReleaseDC(nullptr, screen);
  return depth;
}

// ---------------------------------------------------------------------------------------------------
// CSurfaceBase

void CSurfaceBase::SetPixel(int x, int y, uint32_t value) {
  if (!Lock()) return;
  WritePixel(GetPixelView(), x, y, value);
  Unlock();
}

uint32_t CSurfaceBase::GetPixel(int x, int y) {
  if (!Lock()) return 0;
  const uint32_t value = ReadPixel(GetPixelView(), x, y);
  Unlock();
  return value;
}

void CSurfaceBase::SetAlpha(int x, int y, uint8_t value) {
  int width = 0, height = 0;
  GetSize(&width, &height);
  uint8_t* alpha = GetAlphaPlane();
  if (!alpha || x < 0 || y < 0 || x >= width || y >= height) return;
  alpha[static_cast<size_t>(y) * static_cast<size_t>(GetAlphaPitch()) + static_cast<size_t>(x)] = value;
}

uint8_t CSurfaceBase::GetAlpha(int x, int y) {
  int width = 0, height = 0;
  GetSize(&width, &height);
  const uint8_t* alpha = GetAlphaPlane();
  if (!alpha || x < 0 || y < 0 || x >= width || y >= height) return 0;
  return alpha[static_cast<size_t>(y) * static_cast<size_t>(GetAlphaPitch()) + static_cast<size_t>(x)];
}

void CSurfaceBase::DrawHook(CSurfaceBase*, int, int, int, int, int, int, int, int, int) {}
void CSurfaceBase::BlendHook(CSurfaceBase*, int, int, int, int, int, int, int, int, int) {}
void CSurfaceBase::StretchHook(CSurfaceBase*, int, int, int, int, int, int, int, int, int, int, int) {}
void CSurfaceBase::EffectHook(CSurfaceBase*, int, int, int, int, int, int, int, int, int, int, int, int, uint32_t) {}

PixelView CSurfaceBase::GetPixelView() {
  PixelView view;
  if (!IsCreated()) return view;
  view.pixels = GetPixels();
  view.pitch = GetPitch();
  GetSize(&view.width, &view.height);
  view.depth = GetDepth();
  view.alpha = GetAlphaPlane();
  view.alphaPitch = GetAlphaPitch();
  view.colorKey = GetColorKey();
  view.selector = GetBlitSelector();
  return view;
}

// ---------------------------------------------------------------------------------------------------
// CMemorySurface

CMemorySurface::CMemorySurface() : ownerWindow_(CAppManager::GetHWnd()) {}

CMemorySurface::~CMemorySurface() {
  // Release is virtual: a derived surface has given up its own resources in its destructor already.
  CMemorySurface::Release();
}

bool CMemorySurface::_AllocatePixels(size_t bytes) {
  ownedPixels_.reset(new (std::nothrow) uint8_t[bytes]);
  pixels_ = ownedPixels_.get();
  return pixels_ != nullptr;
}

void CMemorySurface::_FreePixels() {
  ownedPixels_.reset();
  pixels_ = nullptr;
}

bool CMemorySurface::Create(int width, int height, int depth, int /*kind*/) {
  const int requested = depth;
  if (depth == 0) depth = GetScreenDepth();
  Release();
  int pitch = 0;
  size_t bytes = 0;
  if (!GetSurfaceLayout(width, height, depth, &pitch, &bytes)) return false;
  depth_ = depth;
  width_ = width;
  height_ = height;
  pitch_ = pitch;
  if (!_AllocatePixels(bytes)) {
    Release();
    return false;
  }
  requestedDepth_ = requested;
  SetColorKey(kDefaultColorKey);
  UpdateBlitSelector();
  if (registered_) CSurfaceRegistry::Get()->Add(this, ownerWindow_);
  return true;
}

bool CMemorySurface::Load(const std::string& path, int depth, int kind) {
  Release();
  CImageFile image;
  if (!image.Open(path)) return false;
  int width = 0, height = 0;
  image.GetSize(&width, &height);
  if (!Create(width, height, depth, kind)) {
    Release();
    return false;
  }
  fileName_ = path;

  PixelView source;
  source.pixels = const_cast<uint8_t*>(image.GetPixels());
  source.pitch = image.GetStride();
  source.width = width;
  source.height = height;
  source.depth = image.GetDepth();
  bool converted = false;
  if (Lock()) {
    converted = ConvertPixels(GetPixelView(), source, true);
    Unlock();
  }
  if (!converted) {
    Release();
    return false;
  }

  if (const uint8_t* alpha = image.GetAlpha()) {
    const size_t bytes = static_cast<size_t>(image.GetAlphaStride()) * static_cast<size_t>(height);
    alpha_.reset(new (std::nothrow) uint8_t[bytes]);
    if (!alpha_) {
      Release();
      return false;
    }
    std::memcpy(alpha_.get(), alpha, bytes);
    alphaPitch_ = image.GetAlphaStride();
    SetAlphaEnable(true);
  }
  SetColorKey(kDefaultColorKey);
  return true;
}

bool CMemorySurface::SaveBmp(const std::string& path) {
  if (!pixels_) return false;
  uint8_t headers[kBmpFileHeaderSize + kBmpInfoHeaderSize];
  if (!MakeBmp24Headers(width_, height_, headers)) return false;
  // The rows are sized here in 64 bits for any surface width (the reader's stride rule stops at the
  // widths it accepts); the headers above have already refused images past 32-bit file sizes.
  const uint64_t stride = (static_cast<uint64_t>(width_) * 3 + 3) & ~uint64_t{3};
  const uint64_t total = stride * static_cast<uint64_t>(height_);
  if (stride > INT32_MAX || total > UINT32_MAX || total > SIZE_MAX) return false;
  PixelView rows;
  rows.pitch = static_cast<int32_t>(stride);
  rows.width = width_;
  rows.height = height_;
  rows.depth = 24;
  const size_t bytes = static_cast<size_t>(total);
  std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[bytes]);
  if (!buffer) return false;
  std::memset(buffer.get(), 0, bytes);  // row padding
  rows.pixels = buffer.get();
  if (!Lock()) return false;
  const bool converted = ConvertPixels(rows, GetPixelView(), true);  // last surface row first
  Unlock();
  if (!converted) return false;

  CFile file;
  if (!file.Create(path, 1)) return false;
  return file.Write(headers, sizeof headers, 1) == 1 && file.Write(buffer.get(), static_cast<uint32_t>(bytes), 1) == 1;
}

void CMemorySurface::Release() {
  CSurfaceRegistry::Get()->Remove(this);
  Unlock();
  ReleaseDC();
  _FreePixels();
  alpha_.reset();
  width_ = height_ = depth_ = pitch_ = alphaPitch_ = 0;
  colorKey_ = 0;
  colorKeyEnabled_ = alphaEnabled_ = 0;
  fileName_.clear();
  requestedDepth_ = 0;
  blitSelector_ = -1;
}

void CMemorySurface::SetColorKeyEnable(bool enable) {
  colorKeyEnabled_ = enable ? 1 : 0;
  UpdateBlitSelector();
}

void CMemorySurface::SetAlphaEnable(bool enable) {
  alphaEnabled_ = enable ? 1 : 0;
  if (enable && pixels_) EnsureAlphaPlane();
  UpdateBlitSelector();
}

void CMemorySurface::SetColorKey(uint32_t bgr) { colorKey_ = SwapRedBlue(bgr & 0xFFFFFF); }

void CMemorySurface::GetSize(int* width, int* height) {
  if (width) *width = width_;
  if (height) *height = height_;
}

bool CMemorySurface::EnsureAlphaPlane() {
  if (alpha_) return true;
  if (!pixels_) return false;
  const int pitch = (width_ + 3) & ~3;
  const size_t bytes = static_cast<size_t>(pitch) * static_cast<size_t>(height_);
  alpha_.reset(new (std::nothrow) uint8_t[bytes]);
  if (!alpha_) return false;
  std::memset(alpha_.get(), 255, bytes);
  alphaPitch_ = pitch;
  return true;
}

void CMemorySurface::FillAll(uint32_t bgr) { Fill(bgr, 0, 0, width_, height_); }

void CMemorySurface::Fill(uint32_t bgr, int left, int top, int right, int bottom) {
  if (!pixels_ || !Lock()) return;
  FillPixelRect(GetPixelView(), SwapRedBlue(bgr), PixelRect{left, top, right, bottom});
  Unlock();
}

void CMemorySurface::FillAlphaAll(uint8_t value) { FillAlpha(value, 0, 0, width_, height_); }

void CMemorySurface::FillAlpha(uint8_t value, int left, int top, int right, int bottom) {
  if (!EnsureAlphaPlane()) return;
  FillAlphaRect(GetPixelView(), value, PixelRect{left, top, right, bottom});
}

bool CMemorySurface::CopyAlpha(CSurfaceBase* source, int x, int y, int left, int top, int right, int bottom) {
  if (!pixels_ || !source || !source->IsCreated() || !source->GetAlphaPlane() || !EnsureAlphaPlane()) return false;
  return CopyAlphaRect(GetPixelView(), x, y, source->GetPixelView(), PixelRect{left, top, right, bottom});
}

bool CMemorySurface::Restore() {
  if (!pixels_) return false;
  const uint32_t colorKey = colorKey_;
  const uint8_t colorKeyEnabled = colorKeyEnabled_;
  const uint8_t alphaEnabled = alphaEnabled_;
  const bool hadAlpha = alpha_ != nullptr;
  const int depth = requestedDepth_;
  const std::string fileName = fileName_;
  if (!fileName.empty()) {
    if (!Load(fileName, depth, 0)) return false;
  } else {
    if (!Create(width_, height_, depth, 0)) return false;
    if (hadAlpha) FillAlphaAll(255);
  }
  colorKey_ = colorKey;
  colorKeyEnabled_ = colorKeyEnabled;
  alphaEnabled_ = alphaEnabled;
  UpdateBlitSelector();
  return true;
}

void CMemorySurface::SetRegistered(bool registered) {
  registered_ = registered ? 1 : 0;
  if (!pixels_) return;
  if (registered_) {
    CSurfaceRegistry::Get()->Add(this, ownerWindow_);
  } else {
    CSurfaceRegistry::Get()->Remove(this);
  }
}

void CMemorySurface::SetOwnerWindow(HWND window) {
  ownerWindow_ = window;
  if (pixels_ && registered_) CSurfaceRegistry::Get()->Add(this, ownerWindow_);
}

void CMemorySurface::UpdateBlitSelector() {
  if (!pixels_) {
    blitSelector_ = -1;
    return;
  }
  int selector = _BlitSelectorBase();
  switch (depth_) {
    case 16: selector += 4; break;
    case 24: selector += 8; break;
    case 32: selector += 12; break;
    default: break;
  }
  if (alphaEnabled_ && alpha_) {
    selector += 2;
  } else if (colorKeyEnabled_) {
    selector += 1;
  }
  blitSelector_ = selector;
}

// ---------------------------------------------------------------------------------------------------
// CDIBSurface

CDIBSurface::~CDIBSurface() { CDIBSurface::Release(); }

bool CDIBSurface::_AllocatePixels(size_t /*bytes*/) {
  struct {
    BITMAPINFOHEADER header;
    DWORD masks[3];
  } info = {};
  static_assert(sizeof(BITMAPINFOHEADER) == 40, "the information header is 40 bytes");
  info.header.biSize = sizeof info.header;
  info.header.biWidth = width_;
  info.header.biHeight = -height_;  // top row first
  info.header.biPlanes = 1;
  info.header.biBitCount = static_cast<WORD>(depth_ == 15 ? 16 : depth_);
  info.header.biCompression = depth_ == 24 ? BI_RGB : BI_BITFIELDS;
  switch (depth_) {
    case 15: info.masks[0] = 0x7C00, info.masks[1] = 0x03E0, info.masks[2] = 0x001F; break;
    case 16: info.masks[0] = 0xF800, info.masks[1] = 0x07E0, info.masks[2] = 0x001F; break;
    case 32: info.masks[0] = 0xFF0000, info.masks[1] = 0x00FF00, info.masks[2] = 0x0000FF; break;
    default: break;
  }
  HDC screen = ::GetDC(nullptr);
  if (!screen) return false;
  void* bits = nullptr;
  bitmap_ = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
  ::ReleaseDC(nullptr, screen);
  if (!bitmap_ || !bits) {
    if (bitmap_) DeleteObject(bitmap_);
    bitmap_ = nullptr;
    return false;
  }
  pixels_ = static_cast<uint8_t*>(bits);
  return true;
}

void CDIBSurface::_FreePixels() {
  if (bitmap_) DeleteObject(bitmap_);
  bitmap_ = nullptr;
  pixels_ = nullptr;
}

bool CDIBSurface::Load(const std::string& path, int depth, int kind) {
  const bool loaded = CMemorySurface::Load(path, depth, kind);
  GdiFlush();
  return loaded;
}

void CDIBSurface::Release() {
  // The DC must let go of the section before the section is deleted.
  Unlock();
  ReleaseDC();
  CMemorySurface::Release();
}

HDC CDIBSurface::GetDC() {
  if (!pixels_) return nullptr;
  ReleaseDC();
  GdiFlush();
  dc_ = CreateCompatibleDC(nullptr);
  if (!dc_) return nullptr;
  previousObject_ = SelectObject(dc_, bitmap_);
  return dc_;
}

void CDIBSurface::ReleaseDC() {
  if (!dc_) return;
  SelectObject(dc_, previousObject_);
  DeleteDC(dc_);
  dc_ = nullptr;
  previousObject_ = nullptr;
  GdiFlush();
}

bool CDIBSurface::Lock() {
  if (!locked_) GdiFlush();
  locked_ = 1;
  return true;
}

void CDIBSurface::Unlock() {
  if (locked_) GdiFlush();
  locked_ = 0;
}

// ---------------------------------------------------------------------------------------------------
// CSurface

CSurface::CSurface() : ownerWindow_(CAppManager::GetHWnd()) {}

CSurface::~CSurface() { CSurface::Release(); }

void CSurface::ChooseImplementation(int kind) {
  if (implementation_) implementation_->Release();
  implementation_.reset();
  // A device surface would be chosen here when preferDevice_ is set and a DirectDraw device is bound to
  // the owner window; this program creates no such device.
  if (kind != 0) {
    implementation_ = std::make_unique<CDIBSurface>();
  } else {
    implementation_ = std::make_unique<CMemorySurface>();
  }
  implementation_->SetOwnerWindow(ownerWindow_);
  implementation_->SetRegistered(registered_ != 0);
}

bool CSurface::Create(int width, int height, int depth, int kind) {
  ChooseImplementation(kind);
  if (!implementation_->Create(width, height, depth, kind)) {
    Release();
    return false;
  }
  return true;
}

bool CSurface::Load(const std::string& path, int depth, int kind) {
  ChooseImplementation(kind);
  if (!implementation_->Load(path, depth, kind)) {
    Release();
    return false;
  }
  return true;
}

void CSurface::Release() {
  if (implementation_ && implementation_->IsCreated()) implementation_->Release();
  implementation_.reset();
}

CSurfaceBase* CSurface::Created() {
  return implementation_ && implementation_->IsCreated() ? implementation_.get() : nullptr;
}

bool CSurface::SaveBmp(const std::string& path) {
  CSurfaceBase* s = Created();
  return s && s->SaveBmp(path);
}
void CSurface::SetColorKeyEnable(bool enable) {
  if (CSurfaceBase* s = Created()) s->SetColorKeyEnable(enable);
}
void CSurface::SetAlphaEnable(bool enable) {
  if (CSurfaceBase* s = Created()) s->SetAlphaEnable(enable);
}
bool CSurface::IsColorKeyEnabled() {
  CSurfaceBase* s = Created();
  return s && s->IsColorKeyEnabled();
}
bool CSurface::IsAlphaEnabled() {
  CSurfaceBase* s = Created();
  return s && s->IsAlphaEnabled();
}
void CSurface::SetColorKey(uint32_t bgr) {
  if (CSurfaceBase* s = Created()) s->SetColorKey(bgr);
}
uint32_t CSurface::GetColorKey() {
  CSurfaceBase* s = Created();
  return s ? s->GetColorKey() : 0;
}
bool CSurface::IsCreated() { return Created() != nullptr; }
bool CSurface::HasAlphaPlane() {
  CSurfaceBase* s = Created();
  return s && s->HasAlphaPlane();
}
int CSurface::GetBlitSelector() {
  CSurfaceBase* s = Created();
  return s ? s->GetBlitSelector() : -1;
}
SIZE CSurface::GetExtent() {
  CSurfaceBase* s = Created();
  return s ? s->GetExtent() : SIZE{0, 0};
}
void CSurface::GetSize(int* width, int* height) {
  if (CSurfaceBase* s = Created()) {
    s->GetSize(width, height);
    return;
  }
  if (width) *width = 0;
  if (height) *height = 0;
}
int CSurface::GetDepth() {
  CSurfaceBase* s = Created();
  return s ? s->GetDepth() : 0;
}
HBITMAP CSurface::GetBitmap() {
  CSurfaceBase* s = Created();
  return s ? s->GetBitmap() : nullptr;
}
HDC CSurface::GetDC() {
  CSurfaceBase* s = Created();
  return s ? s->GetDC() : nullptr;
}
void CSurface::ReleaseDC() {
  if (CSurfaceBase* s = Created()) s->ReleaseDC();
}
bool CSurface::Lock() {
  CSurfaceBase* s = Created();
  return s && s->Lock();
}
void CSurface::Unlock() {
  if (CSurfaceBase* s = Created()) s->Unlock();
}
uint8_t* CSurface::GetPixels() {
  CSurfaceBase* s = Created();
  return s ? s->GetPixels() : nullptr;
}
int CSurface::GetPitch() {
  CSurfaceBase* s = Created();
  return s ? s->GetPitch() : 0;
}
uint8_t* CSurface::GetAlphaPlane() {
  CSurfaceBase* s = Created();
  return s ? s->GetAlphaPlane() : nullptr;
}
int CSurface::GetAlphaPitch() {
  CSurfaceBase* s = Created();
  return s ? s->GetAlphaPitch() : 0;
}
void CSurface::SetPixel(int x, int y, uint32_t value) {
  if (CSurfaceBase* s = Created()) s->SetPixel(x, y, value);
}
uint32_t CSurface::GetPixel(int x, int y) {
  CSurfaceBase* s = Created();
  return s ? s->GetPixel(x, y) : 0;
}
void CSurface::SetAlpha(int x, int y, uint8_t value) {
  if (CSurfaceBase* s = Created()) s->SetAlpha(x, y, value);
}
uint8_t CSurface::GetAlpha(int x, int y) {
  CSurfaceBase* s = Created();
  return s ? s->GetAlpha(x, y) : 0;
}
void CSurface::FillAll(uint32_t bgr) {
  if (CSurfaceBase* s = Created()) s->FillAll(bgr);
}
void CSurface::Fill(uint32_t bgr, int left, int top, int right, int bottom) {
  if (CSurfaceBase* s = Created()) s->Fill(bgr, left, top, right, bottom);
}
void CSurface::FillAlphaAll(uint8_t value) {
  if (CSurfaceBase* s = Created()) s->FillAlphaAll(value);
}
void CSurface::FillAlpha(uint8_t value, int left, int top, int right, int bottom) {
  if (CSurfaceBase* s = Created()) s->FillAlpha(value, left, top, right, bottom);
}
bool CSurface::CopyAlpha(CSurfaceBase* source, int x, int y, int left, int top, int right, int bottom) {
  CSurfaceBase* s = Created();
  return s && s->CopyAlpha(source, x, y, left, top, right, bottom);
}
bool CSurface::Restore() {
  CSurfaceBase* s = Created();
  return s && s->Restore();
}
void CSurface::SetRegistered(bool registered) {
  registered_ = registered ? 1 : 0;
  if (implementation_) implementation_->SetRegistered(registered);
}
void CSurface::SetOwnerWindow(HWND window) {
  ownerWindow_ = window;
  if (implementation_) implementation_->SetOwnerWindow(window);
}
void CSurface::DrawHook(CSurfaceBase* source, int dl, int dt, int dr, int db, int sl, int st, int sr, int sb,
                        int mode) {
  if (CSurfaceBase* s = Created()) s->DrawHook(source, dl, dt, dr, db, sl, st, sr, sb, mode);
}
void CSurface::BlendHook(CSurfaceBase* source, int dl, int dt, int dr, int db, int sl, int st, int sr, int sb,
                         int opacity) {
  if (CSurfaceBase* s = Created()) s->BlendHook(source, dl, dt, dr, db, sl, st, sr, sb, opacity);
}
void CSurface::StretchHook(CSurfaceBase* source, int dl, int dt, int dr, int db, int sl, int st, int sr, int sb,
                           int opacity, int mode, int form) {
  if (CSurfaceBase* s = Created()) s->StretchHook(source, dl, dt, dr, db, sl, st, sr, sb, opacity, mode, form);
}
void CSurface::EffectHook(CSurfaceBase* source, int dl, int dt, int dr, int db, int sl, int st, int sr, int sb,
                          int opacity, int mode, int effect, int parameter, uint32_t seed) {
  if (CSurfaceBase* s = Created()) {
    s->EffectHook(source, dl, dt, dr, db, sl, st, sr, sb, opacity, mode, effect, parameter, seed);
  }
}

// ---------------------------------------------------------------------------------------------------
// CDirtyRegion and CTrackedSurface

void CDirtyRegion::Add(const PixelRect& rect) {
  if (rect.left >= rect.right || rect.top >= rect.bottom) return;
  auto covers = [](const PixelRect& outer, const PixelRect& inner) {
    return outer.left <= inner.left && outer.top <= inner.top && outer.right >= inner.right &&
           outer.bottom >= inner.bottom;
  };
  for (const PixelRect& held : rects_) {
    if (covers(held, rect)) return;
  }
  rects_.erase(std::remove_if(rects_.begin(), rects_.end(), [&](const PixelRect& held) { return covers(rect, held); }),
               rects_.end());
  rects_.push_back(rect);
}

void CTrackedSurface::AddWhole() {
  int width = 0, height = 0;
  GetSize(&width, &height);
  dirty_.Add(PixelRect{0, 0, width, height});
}

void CTrackedSurface::AddClipped(int left, int top, int right, int bottom) {
  int width = 0, height = 0;
  GetSize(&width, &height);
  PixelRect rect{left, top, right, bottom};
  if (ClipRectTo(width, height, &rect)) dirty_.Add(rect);
}

bool CTrackedSurface::Create(int width, int height, int depth, int kind) {
  if (!CSurface::Create(width, height, depth, kind)) return false;
  AddWhole();
  return true;
}

bool CTrackedSurface::Load(const std::string& path, int depth, int kind) {
  if (!CSurface::Load(path, depth, kind)) return false;
  AddWhole();
  return true;
}

void CTrackedSurface::FillAll(uint32_t bgr) {
  CSurface::FillAll(bgr);
  AddWhole();
}

void CTrackedSurface::Fill(uint32_t bgr, int left, int top, int right, int bottom) {
  CSurface::Fill(bgr, left, top, right, bottom);
  AddClipped(left, top, right, bottom);
}

void CTrackedSurface::FillAlphaAll(uint8_t value) {
  CSurface::FillAlphaAll(value);
  AddWhole();
}

void CTrackedSurface::FillAlpha(uint8_t value, int left, int top, int right, int bottom) {
  CSurface::FillAlpha(value, left, top, right, bottom);
  AddClipped(left, top, right, bottom);
}

void CTrackedSurface::DrawHook(CSurfaceBase* source, int dl, int dt, int dr, int db, int sl, int st, int sr, int sb,
                               int mode) {
  CSurface::DrawHook(source, dl, dt, dr, db, sl, st, sr, sb, mode);
  AddClipped(dl, dt, dr, db);
}

void CTrackedSurface::BlendHook(CSurfaceBase* source, int dl, int dt, int dr, int db, int sl, int st, int sr, int sb,
                                int opacity) {
  CSurface::BlendHook(source, dl, dt, dr, db, sl, st, sr, sb, opacity);
  AddClipped(dl, dt, dr, db);
}

void CTrackedSurface::StretchHook(CSurfaceBase* source, int dl, int dt, int dr, int db, int sl, int st, int sr, int sb,
                                  int opacity, int mode, int form) {
  CSurface::StretchHook(source, dl, dt, dr, db, sl, st, sr, sb, opacity, mode, form);
  AddClipped(dl, dt, dr, db);
}

void CTrackedSurface::EffectHook(CSurfaceBase* source, int dl, int dt, int dr, int db, int sl, int st, int sr, int sb,
                                 int opacity, int mode, int effect, int parameter, uint32_t seed) {
  CSurface::EffectHook(source, dl, dt, dr, db, sl, st, sr, sb, opacity, mode, effect, parameter, seed);
  AddClipped(dl, dt, dr, db);
}
