#pragma once
// The software drawing routines: one surface's pixels onto another's, clipped, as a plain copy, a copy
// that skips the colour key, a per-pixel alpha blend or a constant-opacity blend, in depths 15, 16, 24
// and 32. They work on PixelViews of memory the caller has locked; they know nothing of bitmaps, device
// contexts or locking. They allocate nothing, except a copy of the source rectangle when the source
// shares memory with what the draw writes (a surface drawn onto itself): such draws give the result of
// drawing from that copy, in every form.
//
// The source's kind comes from its blit selector (selector % 4: 0 plain, 1 colour key, 2 alpha); a
// destination whose selector % 4 is 2 has an alpha plane in use and gets the "into alpha" routines,
// which blend the colour as the others do and also lay the drawn coverage over the destination's alpha
// (alpha becomes a + M[255 - a][alpha]). Source and destination have the same depth; the source's depth
// picks the routine.
//
// Per pixel, with a the effective alpha 0..255:
//   a = 0            the destination is left unchanged
//   a = 255          the source pixel is copied
//   15/16 bits       T[31 - a5][dest] + T[a5][source], a5 = a >> 3, T the T555 or T565 blend table
//   24/32 bits       each of blue, green, red = M[a][source] + M[255 - a][dest]; the fourth byte of a
//                    32-bit destination pixel is kept
//   colour key       a source pixel equal to the key (packed to the depth; the unused bits of 15- and
//                    32-bit pixels do not take part) is skipped, the others copied (a = 255): the
//                    opacity does not apply to colour-keyed draws and stretches
//   alpha            a = source alpha at opacity 255, else alpha - (255 - opacity), drawn when > 0
//   plain            a = opacity
//
// The blends of plain and alpha sources onto destinations without alpha exist in a plain form and in
// MMX-level, SSE-level and AVX2 forms that compute exactly the same pixels; the row copy and the
// colour-key routines exist in the plain form and an AVX2 form. `form` chooses one: -1 takes the
// processor level of the feature record (0 plain, 1 MMX, 2 or 3 SSE), raised to AVX2 when the record
// says AVX2 can run; 4 asks for AVX2, other values above 2 for SSE. A form the processor lacks is
// lowered to one it has (AVX2 to SSE, the SSE-level forms need SSE2 and otherwise run the MMX form).
// Forms without a routine of their own for a group run the plain one.

#include <cstdint>

#include "image/PixelView.h"

enum BlitForm { kBlitFormAuto = -1, kBlitFormPlain = 0, kBlitFormMmx = 1, kBlitFormSse = 2, kBlitFormAvx2 = 4 };

// The form that would run for a requested one on this processor (see above).
int ResolveBlitForm(int form);

// Clipping of a draw: the destination rectangle is sourceRect's size placed at (*x, *y); it is cut to
// clip and to the destination, the source rectangle to the source, both keeping the same size. Returns
// false, with the point and the rectangle set to zero, when nothing remains; otherwise *x, *y and
// *sourceRect describe what is drawn.
bool ClipDraw(const PixelView& dest, const PixelView& source, int* x, int* y, PixelRect* sourceRect,
              const PixelRect& clip);

// Draws sourceRect of source at (x, y) of dest, within clip (destination coordinates). Opacity is
// clamped to 0..255. Returns true when something was drawn, false when the clipped area is empty or a
// view is unusable (null pixels, unknown depth, depths that differ).
bool DrawPixels(const PixelView& dest, const PixelView& source, int x, int y, PixelRect sourceRect, PixelRect clip,
                int opacity, int form = kBlitFormAuto);

// Draws sourceRect of source scaled onto destRect of dest, within clip, sampling the nearest source
// pixel: destination position i of a side (counted from the rectangle's start) takes source position
// i * (source side - 1) / (destination side - 1), rounded down and computed exactly, so that the first
// and last destination pixels of a row or column map onto the first and last source pixels at every
// size. Both rectangles must be at least 2 x 2 and no side longer than 1 << 20. Opacity and the source
// kind act as for DrawPixels. Returns true when some pixel was visible.
bool StretchPixels(const PixelView& dest, const PixelView& source, PixelRect destRect, PixelRect sourceRect,
                   PixelRect clip, int opacity);

// Called after a drawing mode has drawn: the destination rectangle that was drawn and the source
// rectangle it came from (after clipping).
typedef void (*DrawHook)(void* context, const PixelRect& drawn, const PixelRect& source);

// The drawing-mode dispatcher. Mode 0 is DrawPixels; when it draws, hook (if not null) is called with
// context and the drawn rectangles. No other mode is built: they return false and draw nothing.
bool DrawPixelsByMode(int mode, const PixelView& dest, const PixelView& source, int x, int y, PixelRect sourceRect,
                      PixelRect clip, int opacity, DrawHook hook, void* context, int form = kBlitFormAuto);
