#pragma once
// Surfaces: rectangles of pixels in depth 15 (RGB555 words), 16 (RGB565), 24 (bytes blue, green, red)
// or 32 (words 0x00RRGGBB), top row first, rows padded to a multiple of 4 bytes, with an optional alpha
// plane (one byte a pixel, 0 transparent .. 255 opaque), a colour key and the blit selector that tells
// the drawing routines which routine fits the surface as a source.
//
// Application code holds a CSurface, which builds the implementation that suits the request on every
// Create and Load (a DIB section for a non-zero kind, plain memory otherwise; this program has no
// DirectDraw device, so no device surface is ever chosen) and forwards every other operation to it
// while it has pixels. CTrackedSurface is a holder that also keeps a list of the rectangles changed.
//
// Colours given to Fill and SetColorKey are 0x00BBGGRR (red in the low byte); both exchange red and
// blue, so GetColorKey answers in pixel order 0x00RRGGBB. SetPixel and GetPixel use pixel values:
// 0x00RRGGBB for 24 and 32 bits, the packed word for 15 and 16.
//
// Failures are false, 0, null or -1 results. A surface belongs to one thread; only the registry of
// surfaces (SurfaceRegistry.h) is shared.

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "image/PixelView.h"

class CSurfaceBase {
 public:
  // Depth 0 means the screen's current depth; kind non-zero asks for a DIB section.
  virtual bool Create(int width, int height, int depth, int kind) = 0;
  // Reads a bitmap (and its ".alp" companion) through the file front into a new surface of that depth.
  virtual bool Load(const std::string& path, int depth, int kind) = 0;
  // Writes the surface as a 24-bit bottom-up BMP.
  virtual bool SaveBmp(const std::string& path) = 0;
  virtual void Release() = 0;
  virtual void SetColorKeyEnable(bool enable) = 0;
  virtual void SetAlphaEnable(bool enable) = 0;
  virtual bool IsColorKeyEnabled() = 0;
  virtual bool IsAlphaEnabled() = 0;
  virtual void SetColorKey(uint32_t bgr) = 0;
  virtual uint32_t GetColorKey() = 0;
  virtual bool IsCreated() = 0;
  virtual bool HasAlphaPlane() = 0;
  virtual int GetBlitSelector() = 0;
  virtual SIZE GetExtent() = 0;
  virtual void GetSize(int* width, int* height) = 0;
  virtual int GetDepth() = 0;
  virtual HBITMAP GetBitmap() = 0;
  virtual HDC GetDC() = 0;
  virtual void ReleaseDC() = 0;
  virtual bool Lock() = 0;
  virtual void Unlock() = 0;
  virtual uint8_t* GetPixels() = 0;
  virtual int GetPitch() = 0;
  virtual uint8_t* GetAlphaPlane() = 0;
  virtual int GetAlphaPitch() = 0;
  // Single pixels, on top of the accessors above; coordinates outside the surface are ignored (the
  // getters answer 0).
  virtual void SetPixel(int x, int y, uint32_t value);
  virtual uint32_t GetPixel(int x, int y);
  virtual void SetAlpha(int x, int y, uint8_t value);
  virtual uint8_t GetAlpha(int x, int y);
  // Right and bottom are exclusive; the rectangle is cut to the surface.
  virtual void FillAll(uint32_t bgr) = 0;
  virtual void Fill(uint32_t bgr, int left, int top, int right, int bottom) = 0;
  virtual void FillAlphaAll(uint8_t value) = 0;
  virtual void FillAlpha(uint8_t value, int left, int top, int right, int bottom) = 0;
  // Copies source's alpha bytes of (left, top, right, bottom) to (x, y) of this surface's alpha plane,
  // made when missing; false when the source has none or nothing of the rectangle remains.
  virtual bool CopyAlpha(CSurfaceBase* source, int x, int y, int left, int top, int right, int bottom) = 0;
  // Builds the pixels again (from the file they were loaded from, else blank) and keeps the colour
  // key and both flags.
  virtual bool Restore() = 0;
  virtual void SetRegistered(bool registered) = 0;
  virtual bool IsRegistered() = 0;
  virtual void SetOwnerWindow(HWND window) = 0;
  virtual HWND GetOwnerWindow() = 0;
  // Called on the destination after a draw, with the rectangles drawn (destination) and read (source).
  // They do nothing here; CTrackedSurface records the destination rectangles.
  virtual void DrawHook(CSurfaceBase* source, int destLeft, int destTop, int destRight, int destBottom, int sourceLeft,
                        int sourceTop, int sourceRight, int sourceBottom, int mode);
  virtual void BlendHook(CSurfaceBase* source, int destLeft, int destTop, int destRight, int destBottom, int sourceLeft,
                         int sourceTop, int sourceRight, int sourceBottom, int opacity);
  virtual void StretchHook(CSurfaceBase* source, int destLeft, int destTop, int destRight, int destBottom,
                           int sourceLeft, int sourceTop, int sourceRight, int sourceBottom, int opacity, int mode,
                           int form);
  virtual void EffectHook(CSurfaceBase* source, int destLeft, int destTop, int destRight, int destBottom,
                          int sourceLeft, int sourceTop, int sourceRight, int sourceBottom, int opacity, int mode,
                          int effect, int parameter, uint32_t seed);
  virtual ~CSurfaceBase() = default;

  // The view the drawing routines take, valid while the surface is locked. Empty without pixels.
  PixelView GetPixelView();
};

// Pixels in process memory.
class CMemorySurface : public CSurfaceBase {
 public:
  CMemorySurface();
  ~CMemorySurface() override;
  CMemorySurface(const CMemorySurface&) = delete;
  CMemorySurface& operator=(const CMemorySurface&) = delete;

  bool Create(int width, int height, int depth, int kind) override;
  bool Load(const std::string& path, int depth, int kind) override;
  bool SaveBmp(const std::string& path) override;
  void Release() override;
  void SetColorKeyEnable(bool enable) override;
  void SetAlphaEnable(bool enable) override;
  bool IsColorKeyEnabled() override { return colorKeyEnabled_ != 0; }
  bool IsAlphaEnabled() override { return alphaEnabled_ != 0; }
  void SetColorKey(uint32_t bgr) override;
  uint32_t GetColorKey() override { return colorKey_; }
  bool IsCreated() override { return pixels_ != nullptr; }
  bool HasAlphaPlane() override { return alpha_ != nullptr; }
  int GetBlitSelector() override { return blitSelector_; }
  SIZE GetExtent() override { return SIZE{width_, height_}; }
  void GetSize(int* width, int* height) override;
  int GetDepth() override { return depth_; }
  HBITMAP GetBitmap() override { return nullptr; }
  HDC GetDC() override { return nullptr; }
  void ReleaseDC() override {}
  bool Lock() override { return true; }
  void Unlock() override {}
  uint8_t* GetPixels() override { return pixels_; }
  int GetPitch() override { return pitch_; }
  uint8_t* GetAlphaPlane() override { return alpha_.get(); }
  int GetAlphaPitch() override { return alphaPitch_; }
  void FillAll(uint32_t bgr) override;
  void Fill(uint32_t bgr, int left, int top, int right, int bottom) override;
  void FillAlphaAll(uint8_t value) override;
  void FillAlpha(uint8_t value, int left, int top, int right, int bottom) override;
  bool CopyAlpha(CSurfaceBase* source, int x, int y, int left, int top, int right, int bottom) override;
  bool Restore() override;
  void SetRegistered(bool registered) override;
  bool IsRegistered() override { return registered_ != 0; }
  void SetOwnerWindow(HWND window) override;
  HWND GetOwnerWindow() override { return ownerWindow_; }

  // -1 without pixels; otherwise the kind's base (0 memory, 16 DIB section) + 0, 4, 8 or 12 for depth
  // 15, 16, 24 or 32 + 2 with alpha enabled and a plane, else 1 with the colour key enabled.
  virtual void UpdateBlitSelector();

  // The name Load read the pixels from ("" for created surfaces).
  const std::string& GetFileName() const { return fileName_; }

 protected:
  // Makes the pixel buffer of the stored width, height, depth and pitch, or gives it up.
  virtual bool _AllocatePixels(size_t bytes);
  virtual void _FreePixels();
  virtual int _BlitSelectorBase() const { return 0; }

  // Makes an alpha plane (pitch = width rounded up to 4, every pixel opaque) when there is none.
  bool EnsureAlphaPlane();

  HWND ownerWindow_ = nullptr;
  uint8_t* pixels_ = nullptr;
  std::unique_ptr<uint8_t[]> alpha_;
  int width_ = 0;
  int height_ = 0;
  int depth_ = 0;
  int pitch_ = 0;
  int alphaPitch_ = 0;
  uint8_t colorKeyEnabled_ = 0;
  uint8_t alphaEnabled_ = 0;
  uint8_t registered_ = 1;
  uint32_t colorKey_ = 0;
  std::string fileName_;
  int blitSelector_ = -1;
  // The depth asked of Create (0: the screen's); Restore builds the pixels again in it.
  int requestedDepth_ = 0;

 private:
  std::unique_ptr<uint8_t[]> ownedPixels_;
};

// Pixels in a DIB section, with a memory device context for GDI drawing on request. GDI may still be
// writing to the section after a call returns: Lock, Unlock, GetDC and ReleaseDC flush GDI's queue so
// that the pixels seen through GetPixels and through the DC agree.
class CDIBSurface : public CMemorySurface {
 public:
  CDIBSurface() = default;
  ~CDIBSurface() override;

  bool Load(const std::string& path, int depth, int kind) override;
  void Release() override;
  HBITMAP GetBitmap() override { return bitmap_; }
  // A memory DC with the section selected, owned by the surface until ReleaseDC or Release.
  HDC GetDC() override;
  void ReleaseDC() override;
  bool Lock() override;
  void Unlock() override;

 protected:
  bool _AllocatePixels(size_t bytes) override;
  void _FreePixels() override;
  int _BlitSelectorBase() const override { return 16; }

 private:
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ previousObject_ = nullptr;
  uint8_t locked_ = 0;
  HDC dc_ = nullptr;
};

// The holder application code keeps.
class CSurface : public CSurfaceBase {
 public:
  CSurface();
  ~CSurface() override;
  CSurface(const CSurface&) = delete;
  CSurface& operator=(const CSurface&) = delete;

  bool Create(int width, int height, int depth, int kind) override;
  bool Load(const std::string& path, int depth, int kind) override;
  bool SaveBmp(const std::string& path) override;
  void Release() override;
  void SetColorKeyEnable(bool enable) override;
  void SetAlphaEnable(bool enable) override;
  bool IsColorKeyEnabled() override;
  bool IsAlphaEnabled() override;
  void SetColorKey(uint32_t bgr) override;
  uint32_t GetColorKey() override;
  bool IsCreated() override;
  bool HasAlphaPlane() override;
  int GetBlitSelector() override;
  SIZE GetExtent() override;
  void GetSize(int* width, int* height) override;
  int GetDepth() override;
  HBITMAP GetBitmap() override;
  HDC GetDC() override;
  void ReleaseDC() override;
  bool Lock() override;
  void Unlock() override;
  uint8_t* GetPixels() override;
  int GetPitch() override;
  uint8_t* GetAlphaPlane() override;
  int GetAlphaPitch() override;
  void SetPixel(int x, int y, uint32_t value) override;
  uint32_t GetPixel(int x, int y) override;
  void SetAlpha(int x, int y, uint8_t value) override;
  uint8_t GetAlpha(int x, int y) override;
  void FillAll(uint32_t bgr) override;
  void Fill(uint32_t bgr, int left, int top, int right, int bottom) override;
  void FillAlphaAll(uint8_t value) override;
  void FillAlpha(uint8_t value, int left, int top, int right, int bottom) override;
  bool CopyAlpha(CSurfaceBase* source, int x, int y, int left, int top, int right, int bottom) override;
  bool Restore() override;
  void SetRegistered(bool registered) override;
  bool IsRegistered() override { return registered_ != 0; }
  void SetOwnerWindow(HWND window) override;
  HWND GetOwnerWindow() override { return ownerWindow_; }
  void DrawHook(CSurfaceBase* source, int destLeft, int destTop, int destRight, int destBottom, int sourceLeft,
                int sourceTop, int sourceRight, int sourceBottom, int mode) override;
  void BlendHook(CSurfaceBase* source, int destLeft, int destTop, int destRight, int destBottom, int sourceLeft,
                 int sourceTop, int sourceRight, int sourceBottom, int opacity) override;
  void StretchHook(CSurfaceBase* source, int destLeft, int destTop, int destRight, int destBottom, int sourceLeft,
                   int sourceTop, int sourceRight, int sourceBottom, int opacity, int mode, int form) override;
  void EffectHook(CSurfaceBase* source, int destLeft, int destTop, int destRight, int destBottom, int sourceLeft,
                  int sourceTop, int sourceRight, int sourceBottom, int opacity, int mode, int effect, int parameter,
                  uint32_t seed) override;

  // Whether a device surface is preferred when the owner window has a DirectDraw device.
  void SetPreferDevice(bool prefer) { preferDevice_ = prefer ? 1 : 0; }
  // The implementation, null before the first Create or Load and after Release.
  CSurfaceBase* GetImplementation() { return implementation_.get(); }

 private:
  // The implementation when it has pixels, else null.
  CSurfaceBase* Created();
  // Steps 1 to 3 of every Create and Load: a fresh implementation of the kind that suits.
  void ChooseImplementation(int kind);

  std::unique_ptr<CSurfaceBase> implementation_;
  uint8_t preferDevice_ = 1;
  uint8_t registered_ = 1;
  HWND ownerWindow_ = nullptr;
};

// A list of rectangles, right and bottom exclusive. A rectangle already covered by one in the list is
// not added; one that covers rectangles of the list replaces them.
class CDirtyRegion {
 public:
  void Add(const PixelRect& rect);
  void Clear() { rects_.clear(); }
  const std::vector<PixelRect>& GetRects() const { return rects_; }

 private:
  std::vector<PixelRect> rects_;
};

// A holder that records what changes: the whole surface after Create, Load, FillAll and FillAlphaAll,
// the rectangle of every Fill and FillAlpha, and the destination rectangle of every draw.
class CTrackedSurface : public CSurface {
 public:
  bool Create(int width, int height, int depth, int kind) override;
  bool Load(const std::string& path, int depth, int kind) override;
  void FillAll(uint32_t bgr) override;
  void Fill(uint32_t bgr, int left, int top, int right, int bottom) override;
  void FillAlphaAll(uint8_t value) override;
  void FillAlpha(uint8_t value, int left, int top, int right, int bottom) override;
  void DrawHook(CSurfaceBase* source, int destLeft, int destTop, int destRight, int destBottom, int sourceLeft,
                int sourceTop, int sourceRight, int sourceBottom, int mode) override;
  void BlendHook(CSurfaceBase* source, int destLeft, int destTop, int destRight, int destBottom, int sourceLeft,
                 int sourceTop, int sourceRight, int sourceBottom, int opacity) override;
  void StretchHook(CSurfaceBase* source, int destLeft, int destTop, int destRight, int destBottom, int sourceLeft,
                   int sourceTop, int sourceRight, int sourceBottom, int opacity, int mode, int form) override;
  void EffectHook(CSurfaceBase* source, int destLeft, int destTop, int destRight, int destBottom, int sourceLeft,
                  int sourceTop, int sourceRight, int sourceBottom, int opacity, int mode, int effect, int parameter,
                  uint32_t seed) override;

  CDirtyRegion& GetDirtyRegion() { return dirty_; }

 private:
  void AddWhole();
  void AddClipped(int left, int top, int right, int bottom);

  CDirtyRegion dirty_;
};

// The screen's bits per pixel (GetDeviceCaps BITSPIXEL of the screen DC).
int GetScreenDepth();
