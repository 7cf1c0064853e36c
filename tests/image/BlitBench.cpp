// Megapixels per second of the drawing and conversion routines in every form this processor runs, each
// beside a reference on the same buffers: pixman's OVER (a8r8g8b8 onto x8r8g8b8, and onto r5g6b5) for
// the blends, memcpy for the row copy and, as a scale, for the colour key and the conversions. Native
// program; pixman is linked into it only. Each side is timed by its fastest call over alternating
// rounds, as other processes share the machine. An argument measures only the lines that contain it
// (blit_bench AVX2).
//
// Sources are random pixels under uniformly random alpha (no all-transparent or all-opaque runs), so
// neither side takes its shortcuts; the "sprite" lines use an alpha plane of mostly 0 and 255 with
// ramps between, as drawn images have.

#include <pixman.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include "image/BlendTables.h"
#include "image/Blit.h"
#include "image/CpuFeatures.h"
#include "image/PixelConvert.h"
#include "image/Random.h"

namespace {

using Clock = std::chrono::steady_clock;

// Megapixels per second of ours and of the reference (each handling `pixels` pixels per call), timed
// in alternating rounds so that both see the same load, each from its fastest single call: a call that
// other processes interrupted only ever looks slower.
struct Rates {
  double ours, reference;
};

Rates MeasurePair(double pixels, const std::function<void()>& ours, const std::function<void()>& reference) {
  ours();  // warm the caches and the tables
  reference();
  double bestOurs = 1e9, bestReference = 1e9;
  auto round = [](const std::function<void()>& op, double* best) {
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(40);
    for (int calls = 0; calls < 3 || Clock::now() < end; ++calls) {
      const Clock::time_point start = Clock::now();
      op();
      const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
      if (seconds < *best) *best = seconds;
    }
  };
  for (int i = 0; i < 6; ++i) {
    round(ours, &bestOurs);
    round(reference, &bestReference);
  }
  return {pixels / bestOurs / 1e6, pixels / bestReference / 1e6};
}

struct Buffer {
  std::vector<uint32_t> words;  // 32-bit storage keeps rows aligned as pixman wants them
  PixelView view;
  Buffer(int width, int height, int depth) {
    const int pitch = (width * BytesPerPixel(depth) + 3) & ~3;
    words.assign(static_cast<size_t>(pitch / 4) * height, 0);
    view.pixels = reinterpret_cast<uint8_t*>(words.data());
    view.pitch = pitch;
    view.width = width;
    view.height = height;
    view.depth = depth;
    view.selector = 0;
  }
};

// The same picture for both sides: our source pixels with their alpha plane, and pixman's premultiplied
// a8r8g8b8 image of it.
struct Scene {
  int width, height;
  std::vector<uint8_t> alpha;
  std::vector<uint32_t> straight32, premultiplied;
  Scene(int w, int h, bool sprite) : width(w), height(h) {
    CRandom random(4357);
    const size_t n = static_cast<size_t>(w) * h;
    alpha.resize(n);
    straight32.resize(n);
    premultiplied.resize(n);
    for (size_t i = 0; i < n; ++i) {
      uint32_t a = random.Next(256);
      if (sprite) {
        const int x = static_cast<int>(i % w), y = static_cast<int>(i / w);
        const int ring = (x / 40 + y / 40) % 3;  // opaque, transparent, or a ramp across the tile
        a = ring == 0 ? 255 : ring == 1 ? 0 : static_cast<uint32_t>((x % 40) * 255 / 39);
      }
      const uint32_t c = random.Next() & 0xFFFFFF;
      alpha[i] = static_cast<uint8_t>(a);
      straight32[i] = c;
      uint32_t p = a << 24;
      for (int shift = 0; shift < 24; shift += 8) p |= (((c >> shift) & 0xFF) * a / 255) << shift;
      premultiplied[i] = p;
    }
  }
};

const char* FormName(int form) {
  switch (form) {
    case kBlitFormPlain: return "plain";
    case kBlitFormMmx: return "MMX";
    case kBlitFormSse: return "SSE";
    case kBlitFormAvx2: return "AVX2";
    default: return "?";
  }
}

// Only the lines whose text holds this word are measured (the program's argument; all without one).
const char* g_only = nullptr;

void Line(const char* what, double pixels, const std::function<void()>& ours, const std::function<void()>& reference,
          const char* referenceName) {
  if (g_only && !std::strstr(what, g_only)) return;
  const Rates rates = MeasurePair(pixels, ours, reference);
  std::printf("  %-42s %8.1f Mpx/s   %-22s %8.1f Mpx/s   ratio %.2f\n", what, rates.ours, referenceName,
              rates.reference, rates.ours / rates.reference);
}

void BenchBlends(int width, int height, bool sprite) {
  const Scene scene(width, height, sprite);
  const double pixels = static_cast<double>(width) * height;
  std::printf("%d x %d, %s alpha\n", width, height, sprite ? "sprite-like" : "uniformly random");

  pixman_image_t* source = pixman_image_create_bits(PIXMAN_a8r8g8b8, width, height,
                                                    const_cast<uint32_t*>(scene.premultiplied.data()), width * 4);
  for (int depth : {32, 16}) {
    Buffer dest(width, height, depth), src(width, height, depth);
    ConvertPixels(src.view,
                  PixelView{reinterpret_cast<uint8_t*>(const_cast<uint32_t*>(scene.straight32.data())), width * 4,
                            width, height, 32, nullptr, 0, 0, 0},
                  false);
    src.view.alpha = const_cast<uint8_t*>(scene.alpha.data());
    src.view.alphaPitch = width;
    pixman_image_t* target = pixman_image_create_bits(depth == 32 ? PIXMAN_x8r8g8b8 : PIXMAN_r5g6b5, width, height,
                                                      dest.words.data(), dest.view.pitch);
    const auto over = [&] {
      pixman_image_composite32(PIXMAN_OP_OVER, source, nullptr, target, 0, 0, 0, 0, 0, 0, width, height);
    };
    const char* reference = depth == 32 ? "pixman OVER 8888>x888" : "pixman OVER 8888>0565";
    const PixelRect whole = {0, 0, width, height};
    for (int form : {kBlitFormPlain, kBlitFormMmx, kBlitFormSse, kBlitFormAvx2}) {
      if (ResolveBlitForm(form) != form) continue;
      char what[96];
      src.view.selector = 2;
      std::snprintf(what, sizeof what, "per-pixel alpha %d-bit, %s", depth, FormName(form));
      Line(
          what, pixels, [&] { DrawPixels(dest.view, src.view, 0, 0, whole, whole, 255, form); }, over, reference);
      if (sprite) continue;
      src.view.selector = 0;
      std::snprintf(what, sizeof what, "constant opacity 160 %d-bit, %s", depth, FormName(form));
      Line(
          what, pixels, [&] { DrawPixels(dest.view, src.view, 0, 0, whole, whole, 160, form); }, over, reference);
    }
    pixman_image_unref(target);
  }
  pixman_image_unref(source);
}

void BenchCopies(int width, int height) {
  const double pixels = static_cast<double>(width) * height;
  std::printf("%d x %d, copies and conversions\n", width, height);
  Buffer dest(width, height, 32), source(width, height, 32), source24(width, height, 24), dest16(width, height, 16);
  CRandom random(7);
  for (uint32_t& w : source.words) w = random.Next() & 0xFFFFFF;
  for (uint32_t& w : source24.words) w = random.Next();
  const size_t bytes = static_cast<size_t>(source.view.pitch) * height;
  const auto copy = [&] { std::memcpy(dest.view.pixels, source.view.pixels, bytes); };
  const PixelRect whole = {0, 0, width, height};
  Buffer keyed(width, height, 32);
  keyed.words = source.words;
  keyed.view.pixels = reinterpret_cast<uint8_t*>(keyed.words.data());
  keyed.view.selector = 1;
  keyed.view.colorKey = 0x00FF00;
  for (size_t i = 0; i < keyed.words.size(); i += 3) keyed.words[i] = 0x00FF00;  // a third of the pixels keyed
  for (int form : {kBlitFormPlain, kBlitFormAvx2}) {
    if (ResolveBlitForm(form) != form) continue;
    char what[96];
    std::snprintf(what, sizeof what, "row copy 32-bit, %s", FormName(form));
    Line(
        what, pixels, [&] { DrawPixels(dest.view, source.view, 0, 0, whole, whole, 255, form); }, copy, "memcpy");
    std::snprintf(what, sizeof what, "colour key 32-bit (a third keyed), %s", FormName(form));
    Line(
        what, pixels, [&] { DrawPixels(dest.view, keyed.view, 0, 0, whole, whole, 255, form); }, copy, "memcpy");
    std::snprintf(what, sizeof what, "convert 24 -> 32, %s", FormName(form));
    Line(
        what, pixels, [&] { ConvertPixels(dest.view, source24.view, true, form); }, copy, "memcpy");
    std::snprintf(what, sizeof what, "convert 32 -> 16, %s", FormName(form));
    Line(
        what, pixels, [&] { ConvertPixels(dest16.view, source.view, false, form); }, copy, "memcpy");
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) g_only = argv[1];
  BuildBlendTables();
  const CpuFeatures& cpu = GetCpuFeatures();
  std::printf("drawing routines against pixman %s; processor \"%s\", level %d, AVX2 %s\n", pixman_version_string(),
              cpu.brand.c_str(), cpu.Level(), cpu.avx2 ? "yes" : "no");
  BenchBlends(640, 480, false);
  BenchBlends(1920, 1080, false);
  BenchBlends(1920, 1080, true);
  BenchCopies(640, 480);
  BenchCopies(1920, 1080);
  return 0;
}
