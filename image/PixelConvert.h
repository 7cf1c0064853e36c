#pragma once
// Repacking pixels between the four surface depths, and the colour packing rules that fills and colour
// keys share with it. Works on plain memory; no Win32.
//
// Rules (c = 0x00RRGGBB, channels R, G, B of 8 bits):
//   to 15 bits  (R>>3)<<10 | (G>>3)<<5 | (B>>3)
//   to 16 bits  (R>>3)<<11 | (G>>2)<<5 | (B>>3)
//   from 15     B = (p & 0x1F) << 3, G = (p >> 2) & 0xF8, R = (p >> 7) & 0xF8
//   from 16     B = (p & 0x1F) << 3, G = (p >> 3) & 0xFC, R = (p >> 8) & 0xF8
//   24 -> 32 adds a zero fourth byte, 32 -> 24 drops it; equal depths copy the row unchanged.
// Every other pair is the composition of these (15 <-> 16 through 8-bit channels).

#include <cstdint>

#include "image/PixelView.h"

// Bytes per pixel of a depth (15 and 16: 2, 24: 3, 32: 4); 0 for any other depth.
int BytesPerPixel(int depth);

// 0x00RRGGBB packed for a depth: the 15/16-bit word, or the colour itself (masked to 24 bits) for 24
// and 32. Returns 0 for an unknown depth.
uint32_t PackColor(uint32_t rgb, int depth);

// A pixel value of a depth back to 0x00RRGGBB with the "from 15/16" rules above.
uint32_t UnpackColor(uint32_t pixel, int depth);

// Repacks source into target, over the smaller of the two widths and heights. With bottomUp the
// source rows are taken last row first (a bottom-up BMP becomes a top-down surface). Rows are done
// eight pixels a step, then the remainder. `form` is a drawing form as DrawPixels takes it (Blit.h):
// the pairs a bitmap is loaded through (24 and 32 bits into 15, 16 and 32) have an AVX2 form that
// gives the same pixels, every other pair and form runs the plain one. Returns false for a null buffer
// or an unknown depth.
bool ConvertPixels(const PixelView& target, const PixelView& source, bool bottomUp, int form = -1);

// One row of count pixels from a source depth to a target depth (the routine ConvertPixels runs per
// row). Returns false for an unknown depth.
bool ConvertRow(uint8_t* target, int targetDepth, const uint8_t* source, int sourceDepth, int count);
