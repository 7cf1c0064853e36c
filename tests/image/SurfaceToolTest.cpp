// imagetool.exe end to end: started as a child process on crafted bitmaps, its output files compared
// byte for byte with what the engine's rules give, its exit codes and messages checked.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/image/BmpFixtures.h"
#include "tests/support/TestSupport.h"
#include "tests/support/ToolRun.h"

using namespace bmp_fixtures;
using namespace testing_support;

namespace {

// A width x height 24-bit file from a function giving 0x00RRGGBB for (x, y from the top).
template <typename Color>
std::string Image24(int width, int height, Color color) {
  BmpSpec spec;
  spec.width = width;
  spec.height = height;
  spec.pixel = [=](int x, int row) {
    const uint32_t c = color(x, height - 1 - row);
    return std::vector<uint8_t>{uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16)};
  };
  std::string bytes = MakeBmp(spec);
  bytes.replace(38, 8, 8, '\0');  // no resolution: the headers are then exactly those SaveBmp writes
  return bytes;
}

// Pixel (x, y from the top) of a 24-bit bottom-up BMP as 0x00RRGGBB.
uint32_t PixelOf(const std::string& bmp, int x, int y) {
  const int width = static_cast<int>(Get32(bmp, 18)), height = static_cast<int>(Get32(bmp, 22));
  const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
  const size_t at = Get32(bmp, 10) + static_cast<size_t>(height - 1 - y) * stride + 3 * static_cast<size_t>(x);
  if (at + 3 > bmp.size()) {
    ADD_FAILURE() << "pixel " << x << "," << y << " outside the file";
    return 0;
  }
  return static_cast<uint8_t>(bmp[at]) | (static_cast<uint8_t>(bmp[at + 1]) << 8) |
         (static_cast<uint32_t>(static_cast<uint8_t>(bmp[at + 2])) << 16);
}

class ImageToolTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::string& bytes) {
    const std::string path = scratch_ / name;
    EXPECT_TRUE(WriteWholeFile(path, bytes));
    return path;
  }
  std::string Read(const std::string& name) {
    std::string bytes;
    EXPECT_TRUE(ReadWholeFile(scratch_ / name, &bytes)) << name;
    return bytes;
  }
  ToolRun Run(const std::string& arguments) { return RunTool("imagetool\\imagetool.exe", scratch_, arguments); }
  std::string Quoted(const std::string& name) { return "\"" + scratch_ / name + "\""; }
  ScratchFolder scratch_;
};

uint32_t Gradient(int x, int y) {
  return (static_cast<uint32_t>(x * 37 + 5) << 16) | (static_cast<uint32_t>(y * 53 + 9) << 8) |
         static_cast<uint32_t>((x * 11 + y * 7) & 0xFF);
}

}  // namespace

TEST_F(ImageToolTest, ConvertWritesTheSurfaceAtEachDepth) {
  const std::string in = Image24(5, 3, Gradient);
  Write("in.bmp", in);
  // 24 and 32 bits keep every bit: the output is the input, byte for byte.
  for (const char* options : {"", "--depth 24", "--depth 32 --dib", "--dib"}) {
    const ToolRun run = Run("convert " + Quoted("in.bmp") + " " + Quoted("out.bmp") + " " + options);
    ASSERT_EQ(run.exitCode, 0u) << options << ": " << run.err;
    EXPECT_EQ(HexBytes(Read("out.bmp")), HexBytes(in)) << options;
  }
  // 16 bits: five bits of red and blue, six of green.
  ASSERT_EQ(Run("convert " + Quoted("in.bmp") + " " + Quoted("out16.bmp") + " --depth 16").exitCode, 0u);
  ASSERT_EQ(Run("convert " + Quoted("in.bmp") + " " + Quoted("out15.bmp") + " --depth 15 --dib").exitCode, 0u);
  const std::string out16 = Read("out16.bmp"), out15 = Read("out15.bmp");
  ASSERT_EQ(out16.size(), in.size());
  ASSERT_EQ(out15.size(), in.size());
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 5; ++x) {
      EXPECT_EQ(PixelOf(out16, x, y), Gradient(x, y) & 0xF8FCF8) << x << "," << y;
      EXPECT_EQ(PixelOf(out15, x, y), Gradient(x, y) & 0xF8F8F8) << x << "," << y;
    }
  }
}

TEST_F(ImageToolTest, BlitDrawsWithTheEnginesRules) {
  Write("dest.bmp", Image24(6, 4, [](int, int) { return 0x204060u; }));
  // Source: red, with a pure-blue pixel at (1, 1) to key out.
  Write("src.bmp", Image24(3, 3, [](int x, int y) { return x == 1 && y == 1 ? 0x0000FFu : 0xFF0000u; }));

  ToolRun run = Run("blit " + Quoted("dest.bmp") + " " + Quoted("src.bmp") + " " + Quoted("out.bmp") +
                    " --at 2,1 --colorkey 0xFF0000");
  ASSERT_EQ(run.exitCode, 0u) << run.err;
  std::string out = Read("out.bmp");
  EXPECT_EQ(PixelOf(out, 1, 1), 0x204060u);
  EXPECT_EQ(PixelOf(out, 2, 1), 0xFF0000u);
  EXPECT_EQ(PixelOf(out, 3, 2), 0x204060u) << "the key colour (given blue first) is skipped";
  EXPECT_EQ(PixelOf(out, 4, 3), 0xFF0000u);
  EXPECT_EQ(PixelOf(out, 5, 3), 0x204060u);

  // Source and clip rectangles.
  run = Run("blit " + Quoted("dest.bmp") + " " + Quoted("src.bmp") + " " + Quoted("out.bmp") +
            " --src 1,1,3,3 --at 0,0 --clip 1,0,6,4");
  ASSERT_EQ(run.exitCode, 0u) << run.err;
  out = Read("out.bmp");
  EXPECT_EQ(PixelOf(out, 0, 0), 0x204060u) << "clipped away";
  EXPECT_EQ(PixelOf(out, 0, 1), 0x204060u);
  EXPECT_EQ(PixelOf(out, 1, 0), 0xFF0000u) << "source (2, 1)";
  EXPECT_EQ(PixelOf(out, 1, 1), 0xFF0000u);
  EXPECT_EQ(PixelOf(out, 2, 0), 0x204060u);

  // Constant opacity: each channel M[a][source] + M[255 - a][dest], the same in every processor form.
  const auto blend = [](uint32_t s, uint32_t d, uint32_t a) { return s * a / 255 + d * (255 - a) / 255; };
  const uint32_t expected = (blend(0xFF, 0x20, 100) << 16) | (blend(0, 0x40, 100) << 8) | blend(0, 0x60, 100);
  std::string first;
  for (const char* form : {"x86", "mmx", "sse", "avx2"}) {
    run = Run("blit " + Quoted("dest.bmp") + " " + Quoted("src.bmp") + " " + Quoted("out.bmp") +
              " --opacity 100 --depth 24 --form " + form);
    ASSERT_EQ(run.exitCode, 0u) << form << ": " << run.err;
    out = Read("out.bmp");
    EXPECT_EQ(PixelOf(out, 0, 0), expected) << form;
    EXPECT_EQ(PixelOf(out, 3, 0), 0x204060u) << form;
    if (first.empty()) first = out;
    EXPECT_EQ(HexBytes(out), HexBytes(first)) << form << " differs from x86";
  }
}

// Pictures wide enough for every form's whole steps and remainders, drawn in every form at every depth
// with a colour key and an opacity, and with per-pixel alpha: the files are the x86 form's, byte for
// byte (a form the processor lacks runs a lower one, which must agree as well).
TEST_F(ImageToolTest, EveryFormDrawsTheSameBytes) {
  Write("dest.bmp", Image24(53, 7, Gradient));
  // Runs of the key colour 0x0000FF (red 0, blue 255) between gradient pixels.
  Write("src.bmp", Image24(45, 6, [](int x, int y) { return (x / 5 + y) % 3 == 0 ? 0x0000FFu : Gradient(y, x); }));
  std::string alpha(45 * 6, '\0');
  for (size_t i = 0; i < alpha.size(); ++i) alpha[i] = static_cast<char>(i % 7 == 0 ? 0 : i % 5 == 0 ? 255 : i * 29);
  Write("src.alp", alpha);
  for (const char* depth : {"15", "16", "24", "32"}) {
    for (const char* mode :
         {"--colorkey 0xFF0000 --opacity 100", "--colorkey 0xFF0000", "--alpha --opacity 200", "--opacity 77"}) {
      std::string first;
      for (const char* form : {"x86", "mmx", "sse", "avx2"}) {
        const ToolRun run = Run("blit " + Quoted("dest.bmp") + " " + Quoted("src.bmp") + " " + Quoted("out.bmp") +
                                " --at 3,1 --depth " + depth + " " + mode + " --form " + form);
        ASSERT_EQ(run.exitCode, 0u) << form << ": " << run.err;
        const std::string out = Read("out.bmp");
        if (first.empty()) {
          first = out;
          // Source (5, 0) is neither keyed nor transparent.
          EXPECT_NE(PixelOf(out, 8, 1), PixelOf(Read("dest.bmp"), 8, 1)) << "something is drawn: " << mode;
        }
        EXPECT_EQ(HexBytes(out), HexBytes(first)) << form << " differs from x86 at depth " << depth << ", " << mode;
      }
    }
  }
}

TEST_F(ImageToolTest, BlitWithAlphaAndStretch) {
  Write("dest.bmp", Image24(4, 2, [](int, int) { return 0x000000u; }));
  Write("src.bmp", Image24(4, 2, [](int, int) { return 0xFFFFFFu; }));
  Write("src.alp", std::string("\x00\x80\xFF\xFF\x40\x40\x40\x40", 8));
  ToolRun run = Run("blit " + Quoted("dest.bmp") + " " + Quoted("src.bmp") + " " + Quoted("out.bmp") + " --alpha");
  ASSERT_EQ(run.exitCode, 0u) << run.err;
  std::string out = Read("out.bmp");
  EXPECT_EQ(PixelOf(out, 0, 0), 0u) << "alpha 0 leaves the destination";
  EXPECT_EQ(PixelOf(out, 1, 0), 0x808080u) << "alpha 0x80";
  EXPECT_EQ(PixelOf(out, 2, 0), 0xFFFFFFu);
  EXPECT_EQ(PixelOf(out, 0, 1), 0x404040u);
  // Without --alpha the companion is not used: a plain copy.
  ASSERT_EQ(Run("blit " + Quoted("dest.bmp") + " " + Quoted("src.bmp") + " " + Quoted("out.bmp")).exitCode, 0u);
  EXPECT_EQ(PixelOf(Read("out.bmp"), 0, 0), 0xFFFFFFu);

  // Stretch a 2 x 2 source over the whole 4 x 2 destination: the first and last columns map onto the
  // first and last source columns.
  Write("small.bmp", Image24(2, 2, [](int x, int y) { return x == 0 ? 0x0000FFu : (y == 0 ? 0x00FF00u : 0xFF0000u); }));
  run = Run("blit " + Quoted("dest.bmp") + " " + Quoted("small.bmp") + " " + Quoted("out.bmp") +
            " --stretch 0,0,4,2 --depth 16");
  ASSERT_EQ(run.exitCode, 0u) << run.err;
  out = Read("out.bmp");
  EXPECT_EQ(PixelOf(out, 0, 0), 0x0000F8u);
  EXPECT_EQ(PixelOf(out, 3, 0), 0x00FC00u);
  EXPECT_EQ(PixelOf(out, 3, 1), 0xF80000u);
}

// A colour-keyed sprite is copied outside the key at any opacity, in every depth and form, drawn and
// stretched; files named with Shift-JIS characters whose trail byte is 0x5C.
TEST_F(ImageToolTest, ColourKeyedBlitsIgnoreTheOpacity) {
  const std::string dest = "背景" + kHyo + ".bmp", sprite = "スプライト" + kSo + kNo + ".bmp";
  Write(dest, Image24(6, 3, [](int x, int y) { return 0x102030u * static_cast<uint32_t>(x + y + 1); }));
  Write(sprite, Image24(6, 3, [](int x, int y) {
          return (x + y) % 3 == 0 ? 0x00FF00u : 0xF8FCF8u - 0x080408u * static_cast<uint32_t>(x);
        }));
  for (const char* depth : {"15", "16", "24", "32"}) {
    for (const char* form : {"x86", "mmx", "sse", "avx2"}) {
      for (const char* stretch : {"", " --stretch 0,0,6,3"}) {
        std::string results[2];
        for (int i = 0; i < 2; ++i) {
          const std::string out = "出力" + kHyo + std::to_string(i) + ".bmp";
          const ToolRun run = Run("blit " + Quoted(dest) + " " + Quoted(sprite) + " " + Quoted(out) +
                                  " --colorkey 0x00FF00 --opacity " + (i ? "128" : "255") + " --depth " + depth +
                                  " --form " + form + stretch);
          ASSERT_EQ(run.exitCode, 0u) << run.err;
          results[i] = Read(out);
        }
        EXPECT_EQ(HexBytes(results[1]), HexBytes(results[0])) << depth << " " << form << stretch;
        EXPECT_EQ(PixelOf(results[1], 1, 0), 0xF0F8F0u) << depth << " " << form << stretch;
        EXPECT_EQ(PixelOf(results[1], 0, 0), 0x102030u) << "the key leaves the destination";
      }
    }
  }
}

// Files other programs write (4-bit run-length data, 5-6-5 pixels) converted, under Shift-JIS names and
// at a path near the 260-byte limit.
TEST_F(ImageToolTest, ConvertReadsRunLengthAndMaskedFiles) {
  RawBmpSpec rle;
  rle.width = 4;
  rle.height = 2;
  rle.bits = 4;
  rle.compression = 2;
  rle.colorsUsed = 4;
  rle.palette = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
  rle.pixels = std::string{4, 0x12, 0, 0, 0, 4, 0x33, 0x21, 0, 0, 0, 1};  // bottom row 1 2 1 2, top 3 3 2 1
  RawBmpSpec masked;
  masked.width = 2;
  masked.height = 1;
  masked.bits = 16;
  masked.compression = 3;
  masked.masks = {0xF800, 0x07E0, 0x001F};
  masked.pixels = std::string("\x00\xF8\xE0\x07", 4);  // red, green
  const std::string rleName = "連長" + kHyo + kSo + ".bmp";
  const std::string maskedName = std::string(235 - scratch_.Path().size(), 'x') + "予十" + kNo + ".bmp";
  Write(rleName, MakeRawBmp(rle));
  Write(maskedName, MakeRawBmp(masked));
  ToolRun run = Run("convert " + Quoted(rleName) + " " + Quoted("変換" + kHyo + ".bmp"));
  ASSERT_EQ(run.exitCode, 0u) << run.err;
  std::string out = Read("変換" + kHyo + ".bmp");
  const uint32_t top[4] = {0x0000FF, 0x0000FF, 0x00FF00, 0xFF0000},
                 bottom[4] = {0xFF0000, 0x00FF00, 0xFF0000, 0x00FF00};
  for (int x = 0; x < 4; ++x) {
    EXPECT_EQ(PixelOf(out, x, 0), top[x]) << x;
    EXPECT_EQ(PixelOf(out, x, 1), bottom[x]) << x;
  }
  run = Run("convert " + Quoted(maskedName) + " " + Quoted("masked" + kSo + ".bmp"));
  ASSERT_EQ(run.exitCode, 0u) << run.err;
  out = Read("masked" + kSo + ".bmp");
  EXPECT_EQ(PixelOf(out, 0, 0), 0xFF0000u);
  EXPECT_EQ(PixelOf(out, 1, 0), 0x00FF00u);
}

TEST_F(ImageToolTest, ExitCodesAndMessages) {
  Write("in.bmp", Image24(2, 2, Gradient));
  const std::string in = Quoted("in.bmp"), out = Quoted("out.bmp");
  for (const std::string& bad :
       {std::string(""), std::string("paint ") + in, "convert " + in, "convert " + in + " " + out + " --depth 8",
        "convert " + in + " " + out + " --opacity 3", "blit " + in + " " + in + " " + out + " --at 1",
        "blit " + in + " " + in + " " + out + " --clip 1,2,3,x", "blit " + in + " " + in + " " + out + " --form avx",
        "blit " + in + " " + in + " " + out + " --colorkey 0x1000000",
        "blit " + in + " " + in + " " + out + " --colorkey +255",
        "blit " + in + " " + in + " " + out + " --colorkey 0x", "blit " + in + " " + in + " " + out + " --depth"}) {
    const ToolRun run = Run(bad);
    EXPECT_EQ(run.exitCode, 2u) << bad;
    EXPECT_NE(run.err.find("usage:"), std::string::npos) << bad;
  }
  ToolRun run = Run("convert " + Quoted("absent.bmp") + " " + out);
  EXPECT_EQ(run.exitCode, 1u);
  EXPECT_NE(run.err.find("cannot load"), std::string::npos) << run.err;
  Write("broken.bmp", "BM and nothing else");
  run = Run("blit " + in + " " + Quoted("broken.bmp") + " " + out);
  EXPECT_EQ(run.exitCode, 1u);
  EXPECT_NE(run.err.find("broken.bmp"), std::string::npos) << run.err;
  run = Run("convert " + in + " " + Quoted("no-folder\\out.bmp"));
  EXPECT_EQ(run.exitCode, 1u);
  EXPECT_NE(run.err.find("cannot write"), std::string::npos) << run.err;
}
