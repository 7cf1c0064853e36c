#pragma once
// A plain view of a surface's memory for the drawing and conversion routines, which know nothing of
// bitmaps or device contexts. The surface fills one in while its pixels are locked.
//
// Depths: 15 (RGB555 in 16-bit words), 16 (RGB565), 24 (bytes blue, green, red) and 32 (words
// 0x00RRGGBB). Rows are top row first; pitch is the distance between rows in bytes.

#include <cstdint>

struct PixelView {
  uint8_t* pixels = nullptr;
  int32_t pitch = 0;
  int32_t width = 0;
  int32_t height = 0;
  int32_t depth = 0;
  uint8_t* alpha = nullptr;  // one byte per pixel, 0 transparent .. 255 opaque; null when none
  int32_t alphaPitch = 0;
  uint32_t colorKey = 0;  // in pixel order, 0x00RRGGBB
  int32_t selector = -1;  // the surface's blit selector: % 4 gives 0 plain, 1 colour key, 2 alpha
};

// A rectangle; right and bottom are exclusive.
struct PixelRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
};
