#include "image/Blit.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>

#include "image/BlendTables.h"
#include "image/BlitPixel.h"
#include "image/CpuFeatures.h"
#include "image/PixelConvert.h"

using namespace blit;

namespace blit {

bool FetchBlendRows(int depth, BlendRows* rows) {
  for (int row = 0; row < 256; ++row) {
    rows->m[row] = GetMultiplyTable(row);
    if (!rows->m[row]) return false;
  }
  for (int level = 0; level < 32; ++level) {
    rows->t[level] = depth == 15 ? GetBlendTable555(level) : depth == 16 ? GetBlendTable565(level) : nullptr;
    if ((depth == 15 || depth == 16) && !rows->t[level]) return false;
  }
  return true;
}

}  // namespace blit

namespace {

// ---- The plain forms of the constant-opacity and per-pixel alpha rows.

void ConstantRow16(uint8_t* dest, const uint8_t* source, int count, int opacity, const BlendRows& rows) {
  if (opacity <= 0) return;
  if (opacity >= 255) {
    std::memcpy(dest, source, static_cast<size_t>(count) * 2);
    return;
  }
  const uint16_t* toDest = rows.t[31 - (opacity >> 3)];
  const uint16_t* toSource = rows.t[opacity >> 3];
  ForEachByEight(count, [=](int i) {
    const uint32_t d = Load16(dest + 2 * i);
    const uint32_t r = static_cast<uint16_t>(toDest[d] + toSource[Load16(source + 2 * i)]);
    if (r != d) Store16(dest + 2 * i, r);
  });
}

void ConstantRow24(uint8_t* dest, const uint8_t* source, int count, int opacity, const BlendRows& rows) {
  if (opacity <= 0) return;
  if (opacity >= 255) {
    std::memcpy(dest, source, static_cast<size_t>(count) * 3);
    return;
  }
  const uint8_t* toSource = rows.m[opacity];
  const uint8_t* toDest = rows.m[255 - opacity];
  ForEachByEight(count, [=](int i) {
    uint8_t* d = dest + 3 * i;
    const uint8_t* s = source + 3 * i;
    d[0] = static_cast<uint8_t>(toSource[s[0]] + toDest[d[0]]);
    d[1] = static_cast<uint8_t>(toSource[s[1]] + toDest[d[1]]);
    d[2] = static_cast<uint8_t>(toSource[s[2]] + toDest[d[2]]);
  });
}

void ConstantRow32(uint8_t* dest, const uint8_t* source, int count, int opacity, const BlendRows& rows) {
  if (opacity <= 0) return;
  if (opacity >= 255) {
    std::memcpy(dest, source, static_cast<size_t>(count) * 4);
    return;
  }
  const uint8_t* toSource = rows.m[opacity];
  const uint8_t* toDest = rows.m[255 - opacity];
  ForEachByEight(count, [=](int i) {
    const uint32_t d = Load32(dest + 4 * i), s = Load32(source + 4 * i);
    const uint32_t r =
        (d & 0xFF000000u) | static_cast<uint8_t>(toSource[s & 0xFF] + toDest[d & 0xFF]) |
        static_cast<uint32_t>(static_cast<uint8_t>(toSource[(s >> 8) & 0xFF] + toDest[(d >> 8) & 0xFF])) << 8 |
        static_cast<uint32_t>(static_cast<uint8_t>(toSource[(s >> 16) & 0xFF] + toDest[(d >> 16) & 0xFF])) << 16;
    if (r != d) Store32(dest + 4 * i, r);
  });
}

// One routine per pixel width: each pixel drawn with a from its alpha byte and the opacity.
template <int Bytes>
void PlainAlphaRow(uint8_t* dest, const uint8_t* source, const uint8_t* alpha, int count, int opacity,
                   const BlendRows& rows) {
  ForEachByEight(count, [=, &rows](int i) {
    PutPixel(dest + Bytes * i, source + Bytes * i, Bytes, EffectiveAlpha(alpha[i], opacity), rows);
  });
}

// ---- Colour key, and the routines for destinations with an alpha plane in use.

// The bits of a pixel that take part in the colour-key comparison.
uint32_t KeyMask(int depth) {
  switch (depth) {
    case 15: return 0x7FFF;
    case 16: return 0xFFFF;
    default: return 0xFFFFFF;
  }
}

inline uint32_t LoadPixel(const uint8_t* p, int bytes) {
  return bytes == 2 ? Load16(p) : bytes == 3 ? Load24(p) : Load32(p);
}

template <int Bytes>
void ColorKeyRow(uint8_t* dest, const uint8_t* source, int count, uint32_t key, uint32_t keyMask, int opacity,
                 const BlendRows& rows) {
  if (opacity <= 0) return;
  ForEachByEight(count, [=, &rows](int i) {
    const uint8_t* s = source + Bytes * i;
    if ((LoadPixel(s, Bytes) & keyMask) != key) PutPixel(dest + Bytes * i, s, Bytes, opacity, rows);
  });
}

// The row copy of the forms without one of their own.
void MoveRow(uint8_t* dest, const uint8_t* source, size_t bytes) { std::memmove(dest, source, bytes); }

enum SourceKind { kPlainSource = 0, kColorKeySource = 1, kAlphaSource = 2 };

// One routine for every depth: the pixel drawn by the source kind's rule, and the destination alpha
// covered by a (a + M[255 - a][alpha]).
void IntoAlphaRow(uint8_t* dest, uint8_t* destAlpha, const uint8_t* source, const uint8_t* sourceAlpha, SourceKind kind,
                  uint32_t key, uint32_t keyMask, int bytes, int count, int opacity, const BlendRows& rows) {
  ForEachByEight(count, [&](int i) {
    const uint8_t* s = source + bytes * i;
    int a = opacity;
    if (kind == kAlphaSource)
      a = EffectiveAlpha(sourceAlpha[i], opacity);
    else if (kind == kColorKeySource && (LoadPixel(s, bytes) & keyMask) == key)
      return;
    if (a <= 0) return;
    PutPixel(dest + bytes * i, s, bytes, a, rows);
    destAlpha[i] = a >= 255 ? 255 : static_cast<uint8_t>(a + rows.m[255 - a][destAlpha[i]]);
  });
}

// ---- Choosing.

bool Usable(const PixelView& view) {
  return view.pixels && BytesPerPixel(view.depth) != 0 && view.width >= 0 && view.height >= 0;
}

SourceKind KindOf(const PixelView& source) {
  if (source.selector < 0) return kPlainSource;
  const int kind = source.selector % 4;
  if (kind == 2 && source.alpha) return kAlphaSource;
  if (kind == 1) return kColorKeySource;
  return kPlainSource;
}

bool HasAlphaInUse(const PixelView& dest) { return dest.selector >= 0 && dest.selector % 4 == 2 && dest.alpha; }

int ClampOpacity(int opacity) { return opacity < 0 ? 0 : opacity > 255 ? 255 : opacity; }

inline uint8_t* RowOf(const PixelView& view, int y) { return view.pixels + static_cast<ptrdiff_t>(y) * view.pitch; }
inline uint8_t* AlphaRowOf(const PixelView& view, int y) {
  return view.alpha + static_cast<ptrdiff_t>(y) * view.alphaPitch;
}

// A rectangle in 64 bits, so that cutting extreme coordinates cannot overflow.
struct Span {
  int64_t left, top, right, bottom;
};

// The addresses [first, end) that rows top..bottom - 1 of a plane touch between two byte offsets of a
// row. Addresses are compared as integers: the planes may belong to different allocations.
struct ByteRange {
  uintptr_t first = 0, end = 0;
};

ByteRange RangeOf(const uint8_t* plane, int32_t pitch, int top, int bottom, ptrdiff_t leftByte, ptrdiff_t rightByte) {
  const uintptr_t a = reinterpret_cast<uintptr_t>(plane + static_cast<ptrdiff_t>(top) * pitch + leftByte);
  const uintptr_t b = reinterpret_cast<uintptr_t>(plane + static_cast<ptrdiff_t>(bottom - 1) * pitch + leftByte);
  const uintptr_t width = static_cast<uintptr_t>(rightByte - leftByte);
  return a <= b ? ByteRange{a, b + width} : ByteRange{b, a + width};
}

bool Overlaps(const ByteRange& a, const ByteRange& b) { return a.first < b.end && b.first < a.end; }

// Whether writing destRect of dest touches memory that reading sourceRect of source still needs: a
// surface drawn onto itself, or views of one buffer. Both rectangles lie inside their views.
bool ReadsWhatItWrites(const PixelView& dest, const PixelRect& destRect, const PixelView& source,
                       const PixelRect& sourceRect) {
  const int bytes = BytesPerPixel(source.depth);
  const ByteRange written = RangeOf(dest.pixels, dest.pitch, destRect.top, destRect.bottom,
                                    ptrdiff_t{destRect.left} * bytes, ptrdiff_t{destRect.right} * bytes);
  const ByteRange read = RangeOf(source.pixels, source.pitch, sourceRect.top, sourceRect.bottom,
                                 ptrdiff_t{sourceRect.left} * bytes, ptrdiff_t{sourceRect.right} * bytes);
  if (Overlaps(written, read)) return true;
  const ByteRange writtenAlpha =
      dest.alpha ? RangeOf(dest.alpha, dest.alphaPitch, destRect.top, destRect.bottom, destRect.left, destRect.right)
                 : ByteRange();
  const ByteRange readAlpha = source.alpha ? RangeOf(source.alpha, source.alphaPitch, sourceRect.top, sourceRect.bottom,
                                                     sourceRect.left, sourceRect.right)
                                           : ByteRange();
  return Overlaps(written, readAlpha) || Overlaps(writtenAlpha, read) || Overlaps(writtenAlpha, readAlpha);
}

// A copy of sourceRect of source (pixels, and alpha when the source has a plane), as a view of its own.
struct SourceCopy {
  std::unique_ptr<uint8_t[]> pixels, alpha;
  PixelView view;
};

bool CopySource(const PixelView& source, const PixelRect& rect, SourceCopy* copy) {
  const int bytes = BytesPerPixel(source.depth);
  const int width = rect.right - rect.left, height = rect.bottom - rect.top;
  const size_t rowBytes = static_cast<size_t>(width) * bytes;
  const size_t rows = static_cast<size_t>(height);
  if (rowBytes > SIZE_MAX / rows) return false;
  copy->pixels.reset(new (std::nothrow) uint8_t[rowBytes * rows]);
  if (!copy->pixels) return false;
  if (source.alpha) {
    copy->alpha.reset(new (std::nothrow) uint8_t[static_cast<size_t>(width) * rows]);
    if (!copy->alpha) return false;
  }
  for (int row = 0; row < height; ++row) {
    const ptrdiff_t y = rect.top + row;
    std::memcpy(copy->pixels.get() + row * rowBytes, source.pixels + y * source.pitch + ptrdiff_t{rect.left} * bytes,
                rowBytes);
    if (source.alpha)
      std::memcpy(copy->alpha.get() + static_cast<size_t>(row) * width,
                  source.alpha + y * source.alphaPitch + rect.left, static_cast<size_t>(width));
  }
  copy->view = source;
  copy->view.pixels = copy->pixels.get();
  copy->view.pitch = static_cast<int32_t>(rowBytes);
  copy->view.width = width;
  copy->view.height = height;
  copy->view.alpha = copy->alpha.get();
  copy->view.alphaPitch = width;
  return true;
}

}  // namespace

const ConstantRow blit::kPlainConstantRows[4] = {ConstantRow16, ConstantRow16, ConstantRow24, ConstantRow32};
const AlphaRow blit::kPlainAlphaRows[4] = {PlainAlphaRow<2>, PlainAlphaRow<2>, PlainAlphaRow<3>, PlainAlphaRow<4>};
const KeyRow blit::kPlainKeyRows[4] = {ColorKeyRow<2>, ColorKeyRow<2>, ColorKeyRow<3>, ColorKeyRow<4>};

#if !defined(__i386__) && !defined(__x86_64__)
// No MMX or SSE on this processor family: those forms are the plain ones.
const ConstantRow blit::kMmxConstantRows[4] = {ConstantRow16, ConstantRow16, ConstantRow24, ConstantRow32};
const AlphaRow blit::kMmxAlphaRows[4] = {PlainAlphaRow<2>, PlainAlphaRow<2>, PlainAlphaRow<3>, PlainAlphaRow<4>};
const ConstantRow blit::kSseConstantRows[4] = {ConstantRow16, ConstantRow16, ConstantRow24, ConstantRow32};
const AlphaRow blit::kSseAlphaRows[4] = {PlainAlphaRow<2>, PlainAlphaRow<2>, PlainAlphaRow<3>, PlainAlphaRow<4>};
const ConstantRow blit::kAvx2ConstantRows[4] = {ConstantRow16, ConstantRow16, ConstantRow24, ConstantRow32};
const AlphaRow blit::kAvx2AlphaRows[4] = {PlainAlphaRow<2>, PlainAlphaRow<2>, PlainAlphaRow<3>, PlainAlphaRow<4>};
const KeyRow blit::kAvx2KeyRows[4] = {ColorKeyRow<2>, ColorKeyRow<2>, ColorKeyRow<3>, ColorKeyRow<4>};
const CopyRow blit::kAvx2CopyRow = MoveRow;
RowConverter blit::FindAvx2Converter(int, int) { return nullptr; }
#endif

int ResolveBlitForm(int form) {
  const CpuFeatures& cpu = GetCpuFeatures();
  if (form < 0) form = cpu.Level() >= kBlitFormSse && cpu.avx2 ? kBlitFormAvx2 : cpu.Level();
  if (form == kBlitFormAvx2 && !cpu.avx2) form = kBlitFormSse;
  if (form > kBlitFormSse && form != kBlitFormAvx2) form = kBlitFormSse;
  if (form == kBlitFormSse && !cpu.Has(kCpuSse2)) form = kBlitFormMmx;
  if (form == kBlitFormMmx && !cpu.Has(kCpuMmx)) form = kBlitFormPlain;
  return form;
}

bool ClipDraw(const PixelView& dest, const PixelView& source, int* x, int* y, PixelRect* sourceRect,
              const PixelRect& clip) {
  Span src = {sourceRect->left, sourceRect->top, sourceRect->right, sourceRect->bottom};
  Span dst = {*x, *y, *x + (src.right - src.left), *y + (src.bottom - src.top)};
  // Moves the near edges of dst up to (left, top) and the far edges down to (right, bottom), src with it.
  auto cutDest = [&](int64_t left, int64_t top, int64_t right, int64_t bottom) {
    if (dst.left < left) src.left += left - dst.left, dst.left = left;
    if (dst.top < top) src.top += top - dst.top, dst.top = top;
    if (dst.right > right) src.right -= dst.right - right, dst.right = right;
    if (dst.bottom > bottom) src.bottom -= dst.bottom - bottom, dst.bottom = bottom;
  };
  cutDest(clip.left, clip.top, clip.right, clip.bottom);
  if (src.left < 0) dst.left -= src.left, src.left = 0;
  if (src.top < 0) dst.top -= src.top, src.top = 0;
  if (src.right > source.width) dst.right -= src.right - source.width, src.right = source.width;
  if (src.bottom > source.height) dst.bottom -= src.bottom - source.height, src.bottom = source.height;
  cutDest(0, 0, dest.width, dest.height);
  if (dst.right <= dst.left || dst.bottom <= dst.top) {
    *x = *y = 0;
    *sourceRect = PixelRect();
    return false;
  }
  *x = static_cast<int>(dst.left);
  *y = static_cast<int>(dst.top);
  sourceRect->left = static_cast<int32_t>(src.left);
  sourceRect->top = static_cast<int32_t>(src.top);
  sourceRect->right = static_cast<int32_t>(src.right);
  sourceRect->bottom = static_cast<int32_t>(src.bottom);
  return true;
}

bool DrawPixels(const PixelView& dest, const PixelView& source, int x, int y, PixelRect sourceRect, PixelRect clip,
                int opacity, int form) {
  if (!Usable(dest) || !Usable(source) || dest.depth != source.depth) return false;
  if (!ClipDraw(dest, source, &x, &y, &sourceRect, clip)) return false;
  opacity = ClampOpacity(opacity);
  const int width = sourceRect.right - sourceRect.left;
  const int height = sourceRect.bottom - sourceRect.top;
  // Every routine below reads and writes forward, some eight pixels at a time: a source that the draw
  // itself overwrites is drawn from a copy of its rectangle, so the result is that of a separate source
  // whatever the routine.
  PixelRect drawn;
  drawn.left = x;
  drawn.top = y;
  drawn.right = x + width;
  drawn.bottom = y + height;
  if (ReadsWhatItWrites(dest, drawn, source, sourceRect)) {
    SourceCopy copy;
    if (!CopySource(source, sourceRect, &copy)) return false;
    PixelRect whole;
    whole.right = width;
    whole.bottom = height;
    return DrawPixels(dest, copy.view, x, y, whole, drawn, opacity, form);
  }
  const int bytes = BytesPerPixel(source.depth);
  const SourceKind kind = KindOf(source);
  // A colour-keyed source is copied wherever it is not the key: the opacity does not take part (faded
  // sprites use an alpha source).
  if (kind == kColorKeySource) opacity = 255;
  const bool intoAlpha = HasAlphaInUse(dest);
  const ptrdiff_t destOffset = static_cast<ptrdiff_t>(x) * bytes;
  const ptrdiff_t sourceOffset = static_cast<ptrdiff_t>(sourceRect.left) * bytes;
  const int chosen = ResolveBlitForm(form);

  if (kind == kPlainSource && !intoAlpha && opacity == 255) {
    const size_t rowBytes = static_cast<size_t>(width) * bytes;
    const CopyRow copy = chosen == kBlitFormAvx2 ? kAvx2CopyRow : MoveRow;
    // Whole rows without padding on both sides follow each other: one run of bytes, copied at once.
    if (dest.pitch == source.pitch && static_cast<size_t>(dest.pitch) == rowBytes) {
      copy(RowOf(dest, y) + destOffset, RowOf(source, sourceRect.top) + sourceOffset, rowBytes * height);
      return true;
    }
    for (int row = 0; row < height; ++row)
      copy(RowOf(dest, y + row) + destOffset, RowOf(source, sourceRect.top + row) + sourceOffset, rowBytes);
    return true;
  }

  BlendRows rows;
  if (!FetchBlendRows(source.depth, &rows)) return false;
  const uint32_t keyMask = KeyMask(source.depth);
  const uint32_t key = PackColor(source.colorKey, source.depth) & keyMask;

  if (intoAlpha) {
    for (int row = 0; row < height; ++row) {
      const uint8_t* sourceAlpha =
          kind == kAlphaSource ? AlphaRowOf(source, sourceRect.top + row) + sourceRect.left : nullptr;
      IntoAlphaRow(RowOf(dest, y + row) + destOffset, AlphaRowOf(dest, y + row) + x,
                   RowOf(source, sourceRect.top + row) + sourceOffset, sourceAlpha, kind, key, keyMask, bytes, width,
                   opacity, rows);
    }
    return true;
  }

  const int depthIndex = DepthIndex(source.depth);
  if (kind == kColorKeySource) {
    const KeyRow draw = chosen == kBlitFormAvx2 ? kAvx2KeyRows[depthIndex] : kPlainKeyRows[depthIndex];
    for (int row = 0; row < height; ++row)
      draw(RowOf(dest, y + row) + destOffset, RowOf(source, sourceRect.top + row) + sourceOffset, width, key, keyMask,
           opacity, rows);
    return true;
  }

  if (kind == kAlphaSource) {
    const AlphaRow draw = chosen == kBlitFormPlain ? kPlainAlphaRows[depthIndex]
                          : chosen == kBlitFormMmx ? kMmxAlphaRows[depthIndex]
                          : chosen == kBlitFormSse ? kSseAlphaRows[depthIndex]
                                                   : kAvx2AlphaRows[depthIndex];
    for (int row = 0; row < height; ++row)
      draw(RowOf(dest, y + row) + destOffset, RowOf(source, sourceRect.top + row) + sourceOffset,
           AlphaRowOf(source, sourceRect.top + row) + sourceRect.left, width, opacity, rows);
    return true;
  }
  const ConstantRow draw = chosen == kBlitFormPlain ? kPlainConstantRows[depthIndex]
                           : chosen == kBlitFormMmx ? kMmxConstantRows[depthIndex]
                           : chosen == kBlitFormSse ? kSseConstantRows[depthIndex]
                                                    : kAvx2ConstantRows[depthIndex];
  for (int row = 0; row < height; ++row)
    draw(RowOf(dest, y + row) + destOffset, RowOf(source, sourceRect.top + row) + sourceOffset, width, opacity, rows);
  return true;
}

namespace {

// Where the positions of one destination side sample the source side: position i (counted from the
// destination's start) takes source position i * (sourceSide - 1) / (destSide - 1), rounded down. The
// quotient is kept exactly as a whole part and a remainder, so the first and last positions map onto the
// first and last source pixels for every side length.
struct AxisStep {
  int64_t whole, remainder;                       // the current sample offset: whole + remainder / denominator
  int64_t stepWhole, stepRemainder, denominator;  // (sourceSide - 1) / (destSide - 1)
  void Next() {
    whole += stepWhole;
    remainder += stepRemainder;
    if (remainder >= denominator) remainder -= denominator, ++whole;
  }
};

// The visible span of one axis of a stretch: destination positions first..last (inclusive) and the
// sampling at first. False when no position is visible.
struct AxisSpan {
  int64_t first, last;
  AxisStep step;
};

bool FindVisibleSpan(int64_t destStart, int64_t destEnd, int64_t sourceStart, int64_t sourceEnd, int64_t clipStart,
                     int64_t clipEnd, int64_t destSize, int64_t sourceSize, AxisSpan* span) {
  // Only positions inside the clip and the destination can be visible; an empty range is refused before
  // any position is turned into a sample (the clip may lie far from the rectangle).
  int64_t low = destStart, high = destEnd;
  if (low < clipStart) low = clipStart;
  if (low < 0) low = 0;
  if (high > clipEnd) high = clipEnd;
  if (high > destSize) high = destSize;
  if (low >= high) return false;
  // Both sides are at most a few million (the caller's limit), so these products fit easily.
  const int64_t numerator = sourceEnd - sourceStart - 1, denominator = destEnd - destStart - 1;
  const int64_t offset = low - destStart;
  AxisStep step = {offset * numerator / denominator, offset * numerator % denominator, numerator / denominator,
                   numerator % denominator, denominator};
  int64_t first = -1, last = -1;
  AxisStep firstStep = step;
  for (int64_t position = low; position < high; ++position, step.Next()) {
    const int64_t sample = sourceStart + step.whole;
    if (sample < sourceStart || sample >= sourceEnd || sample < 0 || sample >= sourceSize) continue;
    if (first < 0) first = position, firstStep = step;
    last = position;
  }
  if (first < 0) return false;
  *span = {first, last, firstStep};
  return true;
}

}  // namespace

bool StretchPixels(const PixelView& dest, const PixelView& source, PixelRect destRect, PixelRect sourceRect,
                   PixelRect clip, int opacity) {
  if (!Usable(dest) || !Usable(source) || dest.depth != source.depth) return false;
  // Both rectangles at least 2 x 2, no side longer than kLongestSide (no surface comes near it).
  const int64_t kLongestSide = 1 << 20;
  const int64_t sides[4] = {int64_t{destRect.right} - destRect.left, int64_t{destRect.bottom} - destRect.top,
                            int64_t{sourceRect.right} - sourceRect.left, int64_t{sourceRect.bottom} - sourceRect.top};
  for (int64_t side : sides)
    if (side < 2 || side > kLongestSide) return false;
  opacity = ClampOpacity(opacity);
  AxisSpan columns, rows;
  if (!FindVisibleSpan(destRect.left, destRect.right, sourceRect.left, sourceRect.right, clip.left, clip.right,
                       dest.width, source.width, &columns) ||
      !FindVisibleSpan(destRect.top, destRect.bottom, sourceRect.top, sourceRect.bottom, clip.top, clip.bottom,
                       dest.height, source.height, &rows))
    return false;

  // A source the stretch overwrites (a surface onto itself) is sampled from a copy of the whole source
  // surface, so the sampled coordinates stay as they are.
  PixelRect written, sampled, sourceWhole;
  written.left = static_cast<int32_t>(columns.first);
  written.top = static_cast<int32_t>(rows.first);
  written.right = static_cast<int32_t>(columns.last + 1);
  written.bottom = static_cast<int32_t>(rows.last + 1);
  sourceWhole.right = source.width;
  sourceWhole.bottom = source.height;
  sampled.left = std::max(sourceRect.left, 0);
  sampled.top = std::max(sourceRect.top, 0);
  sampled.right = std::min(sourceRect.right, source.width);
  sampled.bottom = std::min(sourceRect.bottom, source.height);
  if (sampled.left < sampled.right && sampled.top < sampled.bottom &&
      ReadsWhatItWrites(dest, written, source, sampled)) {
    SourceCopy copy;
    if (!CopySource(source, sourceWhole, &copy)) return false;
    return StretchPixels(dest, copy.view, destRect, sourceRect, clip, opacity);
  }

  BlendRows tables;
  if (!FetchBlendRows(source.depth, &tables)) return false;
  const int bytes = BytesPerPixel(source.depth);
  const SourceKind kind = KindOf(source);
  if (kind == kColorKeySource) opacity = 255;  // keyed sources are copied, as in DrawPixels
  const bool intoAlpha = HasAlphaInUse(dest);
  const uint32_t keyMask = KeyMask(source.depth);
  const uint32_t key = PackColor(source.colorKey, source.depth) & keyMask;

  AxisStep rowStep = rows.step;
  for (int64_t y = rows.first; y <= rows.last; ++y, rowStep.Next()) {
    const int64_t sy = sourceRect.top + rowStep.whole;
    uint8_t* destRow = RowOf(dest, static_cast<int>(y));
    const uint8_t* sourceRow = RowOf(source, static_cast<int>(sy));
    AxisStep columnStep = columns.step;
    for (int64_t x = columns.first; x <= columns.last; ++x, columnStep.Next()) {
      const int64_t sx = sourceRect.left + columnStep.whole;
      const uint8_t* s = sourceRow + sx * bytes;
      int a = opacity;
      if (kind == kAlphaSource)
        a = EffectiveAlpha(AlphaRowOf(source, static_cast<int>(sy))[sx], opacity);
      else if (kind == kColorKeySource && (LoadPixel(s, bytes) & keyMask) == key)
        continue;
      if (a <= 0) continue;
      PutPixel(destRow + x * bytes, s, bytes, a, tables);
      if (intoAlpha) {
        uint8_t& coverage = AlphaRowOf(dest, static_cast<int>(y))[x];
        coverage = a >= 255 ? 255 : static_cast<uint8_t>(a + tables.m[255 - a][coverage]);
      }
    }
  }
  return true;
}

bool DrawPixelsByMode(int mode, const PixelView& dest, const PixelView& source, int x, int y, PixelRect sourceRect,
                      PixelRect clip, int opacity, DrawHook hook, void* context, int form) {
  if (mode != 0) return false;
  if (!Usable(dest) || !Usable(source) || dest.depth != source.depth) return false;
  if (!ClipDraw(dest, source, &x, &y, &sourceRect, clip)) return false;
  if (!DrawPixels(dest, source, x, y, sourceRect, clip, opacity, form)) return false;
  if (hook) {
    const PixelRect drawn = {x, y, x + (sourceRect.right - sourceRect.left), y + (sourceRect.bottom - sourceRect.top)};
    hook(context, drawn, sourceRect);
  }
  return true;
}
