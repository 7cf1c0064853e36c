#pragma once
// Drawing one surface onto another: the surface side of the software drawing routines (Blit.h). Each
// call locks both surfaces, hands their PixelViews to the routine and unlocks them again; afterwards the
// destination's drawing hook hears which rectangles were drawn. Source and destination must have the
// same depth. Returns true when something was drawn.

#include "image/Blit.h"
#include "image/PixelView.h"

class CSurfaceBase;

// Draws sourceRect of source at (x, y) of dest, clipped to clip (destination coordinates) and to both
// surfaces, with the opacity (clamped to 0..255) and the source's kind (plain, colour key, alpha).
// form forces the processor form of the blends (BlitForm); the default takes the best there is.
bool DrawSurface(CSurfaceBase* dest, CSurfaceBase* source, int x, int y, const PixelRect& sourceRect,
                 const PixelRect& clip, int opacity = 255, int form = kBlitFormAuto);
// The whole source at (x, y), anywhere on the destination, opaque.
bool DrawSurface(CSurfaceBase* dest, CSurfaceBase* source, int x, int y);

// Scales sourceRect of source onto destRect of dest (nearest neighbour), within clip. Both rectangles
// must be at least 2 x 2.
bool StretchSurface(CSurfaceBase* dest, CSurfaceBase* source, const PixelRect& destRect, const PixelRect& sourceRect,
                    const PixelRect& clip, int opacity = 255);

// The rectangle of a whole surface (empty without pixels).
PixelRect SurfaceRect(CSurfaceBase* surface);
