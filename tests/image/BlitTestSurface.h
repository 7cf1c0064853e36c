#pragma once
// Surfaces in plain memory for the drawing and conversion tests: any depth, any pitch (odd ones too, so
// that rows start at unaligned addresses), filled from a fixed-seed generator, with the whole buffer,
// padding included, comparable.

#include <cstdint>
#include <vector>

#include "image/PixelConvert.h"
#include "image/PixelView.h"
#include "image/Random.h"

struct TestSurface {
  std::vector<uint8_t> pixels;
  std::vector<uint8_t> alpha;
  PixelView view;

  // extraPitch bytes follow each row; kind is the selector's low part (0 plain, 1 colour key, 2 alpha).
  TestSurface(int width, int height, int depth, int extraPitch = 0, int kind = 0) {
    view.width = width;
    view.height = height;
    view.depth = depth;
    view.pitch = width * BytesPerPixel(depth) + extraPitch;
    pixels.assign(static_cast<size_t>(view.pitch) * height + 1, 0);
    view.pixels = pixels.data() + 1;  // never 4-byte aligned
    view.alphaPitch = width + extraPitch;
    alpha.assign(static_cast<size_t>(view.alphaPitch) * height, 0);
    view.alpha = alpha.data();
    view.selector = kind;
  }

  TestSurface(const TestSurface& other) : pixels(other.pixels), alpha(other.alpha), view(other.view) {
    view.pixels = pixels.data() + 1;
    view.alpha = alpha.data();
  }
  TestSurface& operator=(const TestSurface&) = delete;

  // Fills the pixels (padding included) with random bytes and the alpha plane with a mix of 0, 255 and random values,
  // runs of each, so that the fast forms' all-transparent and all-opaque shortcuts are taken too.
  void Randomize(CRandom& random) {
    for (size_t i = 1; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(random.Next());
    for (size_t i = 0; i < alpha.size();) {
      const uint32_t choice = random.Next(4);
      const size_t run = 1 + random.Next(12);
      for (size_t k = 0; k < run && i < alpha.size(); ++k, ++i)
        alpha[i] = choice == 0 ? 0 : choice == 1 ? 255 : static_cast<uint8_t>(random.Next());
    }
  }

  uint8_t* At(int x, int y) const {
    return view.pixels + static_cast<ptrdiff_t>(y) * view.pitch + x * BytesPerPixel(view.depth);
  }
  uint8_t& AlphaAt(int x, int y) const { return view.alpha[static_cast<ptrdiff_t>(y) * view.alphaPitch + x]; }

  uint32_t Get(int x, int y) const {
    const uint8_t* p = At(x, y);
    uint32_t v = 0;
    for (int i = 0; i < BytesPerPixel(view.depth); ++i) v |= static_cast<uint32_t>(p[i]) << (8 * i);
    return v;
  }
  void Set(int x, int y, uint32_t v) {
    uint8_t* p = At(x, y);
    for (int i = 0; i < BytesPerPixel(view.depth); ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
  }
  void FillWith(uint32_t v) {
    for (int y = 0; y < view.height; ++y)
      for (int x = 0; x < view.width; ++x) Set(x, y, v);
  }
};

inline PixelRect Rect(int left, int top, int right, int bottom) {
  PixelRect r;
  r.left = left;
  r.top = top;
  r.right = right;
  r.bottom = bottom;
  return r;
}

inline PixelRect Whole(const PixelView& view) { return Rect(0, 0, view.width, view.height); }
