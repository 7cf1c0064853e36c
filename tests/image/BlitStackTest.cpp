// The drawing routines entered the way Win32 enters callbacks: window procedures, thread entry points
// and other callbacks get a stack aligned to 4 bytes only, and 32-bit code that keeps 128-bit values
// in stack slots faults unless it realigns its own stack. Every form (plain, MMX, SSE), depth and source
// kind is drawn through a trampoline that shifts the stack by 0, 4, 8 and 12 bytes from the alignment
// the compiler assumes, directly, from a window procedure and from a CThread body; each draw must give
// the bytes of the same draw made on an ordinary stack. And after the MMX forms the x87 unit must be
// empty, so that the caller's floating-point arithmetic is exact.

#include <gtest/gtest.h>
#include <windows.h>

#include <cmath>
#include <vector>

#include "foundation/Thread.h"
#include "image/BlendTables.h"
#include "image/Blit.h"
#include "image/CpuFeatures.h"
#include "tests/image/BlitTestSurface.h"

namespace {

#if defined(__i386__)
// CallWithStackShift(fn, argument, shift) calls fn(argument) with the stack `shift` bytes (0, 4, 8 or
// 12) below the 16-byte alignment that GCC's 32-bit code assumes at a function's entry, and records
// the stack pointer fn is entered with in g_entryStack.
extern "C" void CallWithStackShift(void (*fn)(void*), void* argument, unsigned shift);
extern "C" volatile unsigned g_entryStack;
volatile unsigned g_entryStack = 0;
asm(".text\n"
    ".globl _CallWithStackShift\n"
    "_CallWithStackShift:\n"
    "  pushl %ebp\n"
    "  movl %esp, %ebp\n"
    "  movl 8(%ebp), %eax\n"   // fn
    "  movl 12(%ebp), %edx\n"  // argument
    "  movl 16(%ebp), %ecx\n"  // shift
    "  andl $12, %ecx\n"
    "  andl $-16, %esp\n"
    "  subl $12, %esp\n"
    "  subl %ecx, %esp\n"
    "  pushl %edx\n"
    "  leal -4(%esp), %ecx\n"
    "  movl %ecx, _g_entryStack\n"
    "  call *%eax\n"
    "  movl %ebp, %esp\n"
    "  popl %ebp\n"
    "  ret\n");
const unsigned kShifts[] = {0, 4, 8, 12};
#else
// The 64-bit calling convention keeps the stack aligned to 16 on every call: nothing to shift.
void CallWithStackShift(void (*fn)(void*), void* argument, unsigned) { fn(argument); }
const unsigned kShifts[] = {0};
#endif

const int kDepths[] = {15, 16, 24, 32};

// Every draw the routines have: for each depth, form and source kind (plain at a constant opacity,
// colour key, per-pixel alpha at full and reduced opacity, each onto a plain destination and onto one
// whose alpha plane is in use) a DrawPixels, and a StretchPixels per depth and kind. The results of
// all of them, in order, in one buffer.
std::vector<uint8_t> DrawEverything() {
  std::vector<uint8_t> out;
  CRandom random(4096);
  auto keep = [&out](const TestSurface& s) {
    out.insert(out.end(), s.pixels.begin(), s.pixels.end());
    out.insert(out.end(), s.alpha.begin(), s.alpha.end());
  };
  for (int depth : kDepths) {
    for (int kind : {0, 1, 2}) {
      for (int destKind : {0, 2}) {
        TestSurface source(37, 5, depth, 3, kind);
        source.Randomize(random);
        source.view.colorKey = 0;
        for (int form : {kBlitFormPlain, kBlitFormMmx, kBlitFormSse}) {
          for (int opacity : {200, 255}) {
            TestSurface dest(41, 6, depth, 1, destKind);
            dest.Randomize(random);
            DrawPixels(dest.view, source.view, 2, 1, Whole(source.view), Whole(dest.view), opacity, form);
            keep(dest);
          }
        }
        TestSurface dest(53, 9, depth, 2, destKind);
        dest.Randomize(random);
        StretchPixels(dest.view, source.view, Rect(1, 1, 50, 8), Whole(source.view), Whole(dest.view), 180);
        keep(dest);
      }
    }
  }
  return out;
}

void DrawEverythingInto(void* result) { *static_cast<std::vector<uint8_t>*>(result) = DrawEverything(); }

class BlitStackTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { BuildBlendTables(); }
  void SetUp() override {
    const CpuFeatures& cpu = GetCpuFeatures();
    if (!cpu.Has(kCpuMmx) || !cpu.Has(kCpuSse2)) GTEST_SKIP() << "processor without MMX or SSE2";
    expected_ = DrawEverything();
  }
  std::vector<uint8_t> expected_;
};

#if defined(__i386__)
void NoteEntry(void*) {}

TEST_F(BlitStackTest, TheTrampolineEntersWithTheStackShiftedAsAsked) {
  // Without this the draws below could all run on a well aligned stack and prove nothing.
  for (unsigned shift : kShifts) {
    CallWithStackShift(NoteEntry, nullptr, shift);
    EXPECT_EQ((g_entryStack + 4) % 16, (16 - shift) % 16) << "shift " << shift;
  }
}
#endif

TEST_F(BlitStackTest, EveryFormDrawsTheSameWithTheStackAlignedToFourOnly) {
  for (unsigned shift : kShifts) {
    std::vector<uint8_t> drawn;
    CallWithStackShift(DrawEverythingInto, &drawn, shift);
    EXPECT_TRUE(drawn == expected_) << "shift " << shift;
  }
}

// A window procedure that draws everything through the trampoline for WM_APP (wParam: the shift,
// lParam: the result).
LRESULT CALLBACK DrawingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_APP) {
    CallWithStackShift(DrawEverythingInto, reinterpret_cast<void*>(lParam), static_cast<unsigned>(wParam));
    return 1;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

TEST_F(BlitStackTest, AWindowProcedureDrawsEveryFormWithTheStackAlignedToFourOnly) {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = DrawingWindowProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "BlitStackTestWindow";
  ASSERT_NE(RegisterClassA(&windowClass), 0);
  HWND window = CreateWindowExA(0, windowClass.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                windowClass.hInstance, nullptr);
  ASSERT_NE(window, nullptr);
  for (unsigned shift : kShifts) {
    std::vector<uint8_t> drawn;
    EXPECT_EQ(SendMessageA(window, WM_APP, shift, reinterpret_cast<LPARAM>(&drawn)), 1);
    EXPECT_TRUE(drawn == expected_) << "shift " << shift;
  }
  DestroyWindow(window);
  UnregisterClassA(windowClass.lpszClassName, windowClass.hInstance);
}

class DrawingThread : public CThread {
 public:
  explicit DrawingThread(CThreadRegistryBase* registry) : CThread(registry) {}
  ~DrawingThread() override { Stop(); }
  void Run() override {
    for (unsigned shift : kShifts) {
      drawn.emplace_back();
      CallWithStackShift(DrawEverythingInto, &drawn.back(), shift);
    }
    done.Set();
  }
  std::vector<std::vector<uint8_t>> drawn;
  CManualEvent done;
};

TEST_F(BlitStackTest, ACThreadBodyDrawsEveryFormWithTheStackAlignedToFourOnly) {
  CThreadRegistry registry;
  DrawingThread thread(&registry);
  ASSERT_TRUE(thread.Start());
  ASSERT_EQ(WaitForSingleObject(thread.done.GetHandle(), 60000), WAIT_OBJECT_0);
  thread.Stop();
  ASSERT_EQ(thread.drawn.size(), sizeof kShifts / sizeof kShifts[0]);
  for (size_t i = 0; i < thread.drawn.size(); ++i) EXPECT_TRUE(thread.drawn[i] == expected_) << "shift " << kShifts[i];
}

#if defined(__i386__)
// The x87 tag word: two bits per register, 11 for an empty one.
unsigned X87TagWord() {
  unsigned short environment[14];
  asm volatile("fnstenv %0\n\tfldenv %0" : "=m"(environment));
  return environment[4];
}
#endif

TEST_F(BlitStackTest, AfterAnMmxDrawTheCallersFloatingPointIsExact) {
  CRandom random(77);
  for (int depth : kDepths) {
    for (int kind : {0, 2}) {
      for (int width : {5, 8, 13}) {  // with and without a plain remainder after the MMX groups
        TestSurface source(width, 2, depth, 0, kind), dest(width, 2, depth, 0, 0);
        source.Randomize(random);
        dest.Randomize(random);
        DrawPixels(dest.view, source.view, 0, 0, Whole(source.view), Whole(dest.view), 130, kBlitFormMmx);
#if defined(__i386__)
        EXPECT_EQ(X87TagWord() & 0xFFFF, 0xFFFFu) << "depth " << depth << " kind " << kind << " width " << width;
#endif
        // With MMX state left behind every x87 register is in use and each load gives a NaN.
        volatile double three = 3.0, seven = 7.0, sixteen = 16.0, big = 123456789.0;
        EXPECT_EQ(three * seven, 21.0);
        EXPECT_EQ(std::sqrt(sixteen), 4.0);
        EXPECT_EQ(big * 8.0 + 1.5, 987654313.5);
      }
    }
  }
}

}  // namespace
