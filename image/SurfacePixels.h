#pragma once
// The pixel work of the surfaces on plain memory (no Win32): buffer layout per depth, single pixels,
// rectangle fills of colour and alpha, and alpha copies. The surfaces lock their pixels and hand them
// over as a PixelView; these routines know nothing of bitmaps or device contexts.
//
// Rectangles are PixelRects (right and bottom exclusive) and are cut to the surface first; an empty
// rectangle writes nothing.

#include <cstddef>
#include <cstdint>

#include "image/PixelView.h"

// Pixel buffers past this size are refused: the drawing routines step through rows with 32-bit offsets.
constexpr uint64_t kMaxSurfaceBytes = 0x7FFFFFFF;

// 0x00BBGGRR <-> 0x00RRGGBB (the top byte is dropped).
uint32_t SwapRedBlue(uint32_t color);

bool IsSurfaceDepth(int depth);

// Pitch (width x bytes per pixel rounded up to 4; depth 15 counts as 16) and buffer size of a
// surface, or false when the size is not positive, the depth unknown or the buffer too large.
bool GetSurfaceLayout(int width, int height, int depth, int* pitch, size_t* bytes);

// Cuts *rect to 0..width x 0..height; false when nothing remains.
bool ClipRectTo(int width, int height, PixelRect* rect);

// A pixel value: 0x00RRGGBB for 24 bits, the 32-bit word for 32, the 16-bit word for 15 and 16.
// Coordinates outside the view are ignored (reads give 0).
uint32_t ReadPixel(const PixelView& view, int x, int y);
void WritePixel(const PixelView& view, int x, int y, uint32_t value);

// Fills the rectangle with a 0x00RRGGBB colour packed for the view's depth. Black over the whole view
// clears the whole buffer, row padding included.
void FillPixelRect(const PixelView& view, uint32_t rgb, PixelRect rect);

// Sets the alpha bytes of the rectangle (view.alpha, view.alphaPitch); nothing without a plane.
void FillAlphaRect(const PixelView& view, uint8_t value, PixelRect rect);

// Copies source's alpha bytes of sourceRect to (x, y) of target's plane, both cut to their planes and
// kept the same size. False when either has no plane or nothing remains.
bool CopyAlphaRect(const PixelView& target, int x, int y, const PixelView& source, PixelRect sourceRect);
