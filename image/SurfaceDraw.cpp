#include "image/SurfaceDraw.h"

#include <algorithm>

#include "image/Surface.h"

namespace {

// Both surfaces locked for the scope (one lock when they are the same surface); `locked` is false
// when either lock failed, and then nothing stays locked.
class BothLocked {
 public:
  BothLocked(CSurfaceBase* dest, CSurfaceBase* source) : dest_(dest), source_(source) {
    if (!dest_->Lock()) return;
    if (source_ != dest_ && !source_->Lock()) {
      dest_->Unlock();
      return;
    }
    locked = true;
  }
  ~BothLocked() {
    if (!locked) return;
    if (source_ != dest_) source_->Unlock();
    dest_->Unlock();
  }
  BothLocked(const BothLocked&) = delete;
  BothLocked& operator=(const BothLocked&) = delete;
  bool locked = false;

 private:
  CSurfaceBase* dest_;
  CSurfaceBase* source_;
};

// What the drawing routine's hook reports: whether it drew, and the rectangles after clipping.
struct DrawnRects {
  bool drawn = false;
  PixelRect destRect;
  PixelRect sourceRect;
};

void RememberDrawn(void* context, const PixelRect& drawn, const PixelRect& source) {
  DrawnRects* report = static_cast<DrawnRects*>(context);
  report->drawn = true;
  report->destRect = drawn;
  report->sourceRect = source;
}

}  // namespace

PixelRect SurfaceRect(CSurfaceBase* surface) {
  PixelRect rect;
  if (surface && surface->IsCreated()) surface->GetSize(&rect.right, &rect.bottom);
  return rect;
}

bool DrawSurface(CSurfaceBase* dest, CSurfaceBase* source, int x, int y, const PixelRect& sourceRect,
                 const PixelRect& clip, int opacity, int form) {
  if (!dest || !source || !dest->IsCreated() || !source->IsCreated()) return false;
  DrawnRects report;
  {
    BothLocked lock(dest, source);
    if (!lock.locked) return false;
    DrawPixelsByMode(0, dest->GetPixelView(), source->GetPixelView(), x, y, sourceRect, clip, opacity, &RememberDrawn,
                     &report, form);
  }
  if (!report.drawn) return false;
  const PixelRect& d = report.destRect;
  const PixelRect& s = report.sourceRect;
  // The hooks run after the surfaces are unlocked: they may draw or take a DC themselves.
  const int clamped = std::clamp(opacity, 0, 255);
  if (clamped == 255) {
    dest->DrawHook(source, d.left, d.top, d.right, d.bottom, s.left, s.top, s.right, s.bottom, 0);
  } else {
    dest->BlendHook(source, d.left, d.top, d.right, d.bottom, s.left, s.top, s.right, s.bottom, clamped);
  }
  return true;
}

bool DrawSurface(CSurfaceBase* dest, CSurfaceBase* source, int x, int y) {
  return DrawSurface(dest, source, x, y, SurfaceRect(source), SurfaceRect(dest));
}

bool StretchSurface(CSurfaceBase* dest, CSurfaceBase* source, const PixelRect& destRect, const PixelRect& sourceRect,
                    const PixelRect& clip, int opacity) {
  if (!dest || !source || !dest->IsCreated() || !source->IsCreated()) return false;
  bool drawn = false;
  {
    BothLocked lock(dest, source);
    if (!lock.locked) return false;
    drawn = StretchPixels(dest->GetPixelView(), source->GetPixelView(), destRect, sourceRect, clip, opacity);
  }
  if (!drawn) return false;
  // The part of the destination rectangle that could have changed.
  const PixelRect whole = SurfaceRect(dest);
  const int left = std::max({destRect.left, clip.left, whole.left});
  const int top = std::max({destRect.top, clip.top, whole.top});
  const int right = std::min({destRect.right, clip.right, whole.right});
  const int bottom = std::min({destRect.bottom, clip.bottom, whole.bottom});
  dest->StretchHook(source, left, top, right, bottom, sourceRect.left, sourceRect.top, sourceRect.right,
                    sourceRect.bottom, std::clamp(opacity, 0, 255), 0, kBlitFormPlain);
  return true;
}
