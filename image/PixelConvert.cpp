#include "image/PixelConvert.h"

#include <cstddef>
#include <cstring>

#include "image/Blit.h"
#include "image/BlitPixel.h"

using blit::ForEachByEight;
using blit::RowConverter;

int BytesPerPixel(int depth) {
  switch (depth) {
    case 15:
    case 16: return 2;
    case 24: return 3;
    case 32: return 4;
    default: return 0;
  }
}

uint32_t PackColor(uint32_t rgb, int depth) {
  const uint32_t r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
  switch (depth) {
    case 15: return (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3);
    case 16: return (r >> 3) << 11 | (g >> 2) << 5 | (b >> 3);
    case 24:
    case 32: return rgb & 0xFFFFFF;
    default: return 0;
  }
}

uint32_t UnpackColor(uint32_t p, int depth) {
  switch (depth) {
    case 15: return ((p >> 7) & 0xF8) << 16 | ((p >> 2) & 0xF8) << 8 | (p & 0x1F) << 3;
    case 16: return ((p >> 8) & 0xF8) << 16 | ((p >> 3) & 0xFC) << 8 | (p & 0x1F) << 3;
    case 24:
    case 32: return p & 0xFFFFFF;
    default: return 0;
  }
}

namespace {

template <int Depth>
inline uint32_t ReadColor(const uint8_t* row, int i) {
  if (Depth == 15 || Depth == 16) return UnpackColor(blit::Load16(row + 2 * i), Depth);
  if (Depth == 24) return blit::Load24(row + 3 * i);
  return blit::Load32(row + 4 * i) & 0xFFFFFF;
}

template <int Depth>
inline void WriteColor(uint8_t* row, int i, uint32_t rgb) {
  if (Depth == 15 || Depth == 16)
    blit::Store16(row + 2 * i, PackColor(rgb, Depth));
  else if (Depth == 24)
    blit::Store24(row + 3 * i, rgb);
  else
    blit::Store32(row + 4 * i, rgb);  // the fourth byte becomes zero
}

template <int TargetDepth, int SourceDepth>
void ConvertRowOf(uint8_t* target, const uint8_t* source, int count) {
  if (TargetDepth == SourceDepth) {
    std::memcpy(target, source, static_cast<size_t>(count) * BytesPerPixel(SourceDepth));
    return;
  }
  ForEachByEight(count, [=](int i) { WriteColor<TargetDepth>(target, i, ReadColor<SourceDepth>(source, i)); });
}

template <int TargetDepth>
RowConverter ConverterFrom(int sourceDepth) {
  switch (sourceDepth) {
    case 15: return ConvertRowOf<TargetDepth, 15>;
    case 16: return ConvertRowOf<TargetDepth, 16>;
    case 24: return ConvertRowOf<TargetDepth, 24>;
    case 32: return ConvertRowOf<TargetDepth, 32>;
    default: return nullptr;
  }
}

RowConverter FindConverter(int targetDepth, int sourceDepth) {
  switch (targetDepth) {
    case 15: return ConverterFrom<15>(sourceDepth);
    case 16: return ConverterFrom<16>(sourceDepth);
    case 24: return ConverterFrom<24>(sourceDepth);
    case 32: return ConverterFrom<32>(sourceDepth);
    default: return nullptr;
  }
}

}  // namespace

bool ConvertRow(uint8_t* target, int targetDepth, const uint8_t* source, int sourceDepth, int count) {
  const RowConverter convert = FindConverter(targetDepth, sourceDepth);
  if (!convert) return false;
  if (count > 0) convert(target, source, count);
  return true;
}

bool ConvertPixels(const PixelView& target, const PixelView& source, bool bottomUp, int form) {
  RowConverter convert = FindConverter(target.depth, source.depth);
  if (!convert || !target.pixels || !source.pixels) return false;
  if (ResolveBlitForm(form) == kBlitFormAvx2) {
    if (const RowConverter fast = blit::FindAvx2Converter(target.depth, source.depth)) convert = fast;
  }
  const int width = target.width < source.width ? target.width : source.width;
  const int height = target.height < source.height ? target.height : source.height;
  if (width <= 0 || height <= 0) return true;
  for (int y = 0; y < height; ++y) {
    const int sourceRow = bottomUp ? source.height - 1 - y : y;
    convert(target.pixels + static_cast<ptrdiff_t>(y) * target.pitch,
            source.pixels + static_cast<ptrdiff_t>(sourceRow) * source.pitch, width);
  }
  return true;
}
