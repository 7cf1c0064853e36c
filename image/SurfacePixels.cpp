#include "image/SurfacePixels.h"

#include <algorithm>
#include <cstring>

#include "image/BlitPixel.h"
#include "image/PixelConvert.h"

namespace {

uint8_t* RowOf(const PixelView& view, int y) {
  return view.pixels + static_cast<size_t>(y) * static_cast<size_t>(view.pitch);
}

uint8_t* AlphaRowOf(const PixelView& view, int y) {
  return view.alpha + static_cast<size_t>(y) * static_cast<size_t>(view.alphaPitch);
}

bool Inside(const PixelView& view, int x, int y) {
  return view.pixels && x >= 0 && y >= 0 && x < view.width && y < view.height;
}

}  // namespace

uint32_t SwapRedBlue(uint32_t color) { return ((color & 0xFF) << 16) | (color & 0x00FF00) | ((color >> 16) & 0xFF); }

bool IsSurfaceDepth(int depth) { return depth == 15 || depth == 16 || depth == 24 || depth == 32; }

bool GetSurfaceLayout(int width, int height, int depth, int* pitch, size_t* bytes) {
  if (width <= 0 || height <= 0 || !IsSurfaceDepth(depth)) return false;
  const uint64_t rowBytes = (static_cast<uint64_t>(width) * static_cast<uint64_t>(BytesPerPixel(depth)) + 3) & ~3ull;
  const uint64_t total = rowBytes * static_cast<uint64_t>(height);
  if (total > kMaxSurfaceBytes) return false;
  *pitch = static_cast<int>(rowBytes);
  *bytes = static_cast<size_t>(total);
  return true;
}

bool ClipRectTo(int width, int height, PixelRect* rect) {
  rect->left = std::max(rect->left, 0);
  rect->top = std::max(rect->top, 0);
  rect->right = std::min(rect->right, width);
  rect->bottom = std::min(rect->bottom, height);
  return rect->left < rect->right && rect->top < rect->bottom;
}

uint32_t ReadPixel(const PixelView& view, int x, int y) {
  if (!Inside(view, x, y)) return 0;
  const uint8_t* p = RowOf(view, y) + static_cast<size_t>(x) * BytesPerPixel(view.depth);
  switch (view.depth) {
    case 15:
    case 16: return blit::Load16(p);
    case 24: return blit::Load24(p);
    case 32: return blit::Load32(p);
    default: return 0;
  }
}

void WritePixel(const PixelView& view, int x, int y, uint32_t value) {
  if (!Inside(view, x, y)) return;
  uint8_t* p = RowOf(view, y) + static_cast<size_t>(x) * BytesPerPixel(view.depth);
  switch (view.depth) {
    case 15:
    case 16: blit::Store16(p, value); break;
    case 24: blit::Store24(p, value); break;
    case 32: blit::Store32(p, value); break;
    default: break;
  }
}

void FillPixelRect(const PixelView& view, uint32_t rgb, PixelRect rect) {
  if (!view.pixels || !IsSurfaceDepth(view.depth) || !ClipRectTo(view.width, view.height, &rect)) return;
  if ((rgb & 0xFFFFFF) == 0 && rect.left == 0 && rect.top == 0 && rect.right == view.width &&
      rect.bottom == view.height) {
    std::memset(view.pixels, 0, static_cast<size_t>(view.pitch) * static_cast<size_t>(view.height));
    return;
  }
  const uint32_t value = PackColor(rgb & 0xFFFFFF, view.depth);
  const size_t count = static_cast<size_t>(rect.right - rect.left);
  for (int y = rect.top; y < rect.bottom; ++y) {
    uint8_t* row = RowOf(view, y);
    switch (view.depth) {
      case 15:
      case 16: {
        uint16_t* p = reinterpret_cast<uint16_t*>(row) + rect.left;
        std::fill(p, p + count, static_cast<uint16_t>(value));
        break;
      }
      case 24:
        for (uint8_t* p = row + 3 * static_cast<size_t>(rect.left); p < row + 3 * static_cast<size_t>(rect.right);
             p += 3) {
          p[0] = static_cast<uint8_t>(value);
          p[1] = static_cast<uint8_t>(value >> 8);
          p[2] = static_cast<uint8_t>(value >> 16);
        }
        break;
      case 32: {
        uint32_t* p = reinterpret_cast<uint32_t*>(row) + rect.left;
        std::fill(p, p + count, value);
        break;
      }
    }
  }
}

void FillAlphaRect(const PixelView& view, uint8_t value, PixelRect rect) {
  if (!view.alpha || !ClipRectTo(view.width, view.height, &rect)) return;
  for (int y = rect.top; y < rect.bottom; ++y) {
    std::memset(AlphaRowOf(view, y) + rect.left, value, static_cast<size_t>(rect.right - rect.left));
  }
}

bool CopyAlphaRect(const PixelView& target, int x, int y, const PixelView& source, PixelRect sourceRect) {
  if (!target.alpha || !source.alpha) return false;
  // Cut the source rectangle to the source, then the placed rectangle to the target, moving the
  // other by the same amounts. Positions are worked out in 64 bits so that no sum can overflow.
  int64_t left = sourceRect.left, top = sourceRect.top, right = sourceRect.right, bottom = sourceRect.bottom;
  int64_t tx = x, ty = y;
  if (left < 0) {
    tx -= left;
    left = 0;
  }
  if (top < 0) {
    ty -= top;
    top = 0;
  }
  right = std::min<int64_t>(right, source.width);
  bottom = std::min<int64_t>(bottom, source.height);
  if (tx < 0) {
    left -= tx;
    tx = 0;
  }
  if (ty < 0) {
    top -= ty;
    ty = 0;
  }
  right = std::min<int64_t>(right, left + (target.width - tx));
  bottom = std::min<int64_t>(bottom, top + (target.height - ty));
  if (left >= right || top >= bottom) return false;
  for (int64_t row = 0; row < bottom - top; ++row) {
    std::memmove(AlphaRowOf(target, static_cast<int>(ty + row)) + tx,
                 AlphaRowOf(source, static_cast<int>(top + row)) + left, static_cast<size_t>(right - left));
  }
  return true;
}
