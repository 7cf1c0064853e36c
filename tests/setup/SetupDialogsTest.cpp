// The setup's dialog resources as the user's Windows reads them (linked into this program from the
// same .rc), the please-wait dialog, and the wizard pages driven in a real property sheet.

#include "setup/SetupDialogs.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <prsht.h>

#include <string>

#include "foundation/Folders.h"
#include "pack/PackFormat.h"
#include "pack/ZipFile.h"
#include "setup/SetupWizard.h"
#include "setup/resource.h"
#include "tests/support/TestSupport.h"

using namespace testing_support;

namespace {

std::string ToShiftJis(const wchar_t* text) {
  char bytes[512] = {};
  WideCharToMultiByte(932, 0, text, -1, bytes, sizeof bytes, nullptr, nullptr);
  return bytes;
}

std::string WindowText(HWND window) {
  char text[256] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

// The parts of an extended dialog template that the resources pin down.
struct DialogTemplate {
  DWORD style = 0;
  short cx = 0, cy = 0;
  std::string title, fontName;
  WORD pointSize = 0;
};

const WORD* SkipSizeOrOrdinal(const WORD* p) {
  if (*p == 0x0000) return p + 1;
  if (*p == 0xFFFF) return p + 2;
  while (*p) ++p;
  return p + 1;
}

bool LoadDialogTemplate(int id, DialogTemplate* out) {
  HRSRC resource = FindResourceA(nullptr, MAKEINTRESOURCEA(id), reinterpret_cast<LPCSTR>(RT_DIALOG));
  if (!resource) return false;
  const WORD* p = static_cast<const WORD*>(LockResource(LoadResource(nullptr, resource)));
  if (!p || p[0] != 1 || p[1] != 0xFFFF) return false;  // DLGTEMPLATEEX
  const BYTE* bytes = reinterpret_cast<const BYTE*>(p);
  out->style = *reinterpret_cast<const DWORD*>(bytes + 12);
  out->cx = *reinterpret_cast<const short*>(bytes + 22);
  out->cy = *reinterpret_cast<const short*>(bytes + 24);
  p = reinterpret_cast<const WORD*>(bytes + 26);
  p = SkipSizeOrOrdinal(p);  // menu
  p = SkipSizeOrOrdinal(p);  // class
  out->title = ToShiftJis(reinterpret_cast<const wchar_t*>(p));
  p = SkipSizeOrOrdinal(p);
  if (out->style & DS_SETFONT) {
    out->pointSize = p[0];
    out->fontName = ToShiftJis(reinterpret_cast<const wchar_t*>(p + 3));  // after size, weight, italic+charset
  }
  return true;
}

void PumpFor(int passes) {
  for (int i = 0; i < passes; ++i) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    Sleep(5);
  }
}

}  // namespace

TEST(SetupDialogs, ResourcesHaveTheirTitlesSizesAndFont) {
  DialogTemplate wait, page1, page2;
  ASSERT_TRUE(LoadDialogTemplate(IDD_PLEASE_WAIT, &wait));
  ASSERT_TRUE(LoadDialogTemplate(IDD_WIZARD_PAGE1, &page1));
  ASSERT_TRUE(LoadDialogTemplate(IDD_WIZARD_PAGE2, &page2));

  EXPECT_EQ(wait.title, "実行ファイル更新");
  EXPECT_EQ(wait.cx, 135);
  EXPECT_EQ(wait.cy, 33) << "grown by the progress bar only";
  const DWORD waitStyle = WS_POPUP | WS_VISIBLE | WS_CAPTION | DS_MODALFRAME | DS_CENTER;
  EXPECT_EQ(wait.style & waitStyle, waitStyle);
  EXPECT_EQ(wait.style & WS_SYSMENU, 0u) << "no system menu, so no close box";

  EXPECT_EQ(page1.title, "セットアップウィザード (1/2)");
  EXPECT_EQ(page2.title, "セットアップウィザード (2/2)");
  for (const DialogTemplate* page : {&page1, &page2}) {
    EXPECT_EQ(page->cx, 291);
    EXPECT_EQ(page->cy, 157);
  }
  for (const DialogTemplate* dialog : {&wait, &page1, &page2}) {
    EXPECT_EQ(dialog->pointSize, 10);
    EXPECT_EQ(HexBytes(dialog->fontName), HexBytes("ＭＳ Ｐゴシック"));
  }
}

TEST(SetupDialogs, PleaseWaitDialogShowsItsTextAndIgnoresCloseRequests) {
  HWND dialog =
      CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_PLEASE_WAIT), nullptr, &PleaseWaitProc, 0);
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(IsWindowVisible(dialog));
  EXPECT_EQ(WindowText(dialog), "実行ファイル更新");
  EXPECT_EQ(WindowText(GetDlgItem(dialog, IDC_PLEASE_WAIT_TEXT)), "更新中です。しばらくお待ちください。");
  SendMessageA(dialog, WM_CLOSE, 0, 0);
  PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
  PumpFor(4);
  EXPECT_TRUE(IsWindow(dialog)) << "only the program takes the dialog down";
  DestroyWindow(dialog);
}

TEST(SetupDialogs, PleaseWaitBarSitsUnderTheTextAndShowsTheProgress) {
  InitCommonControls();
  HWND dialog =
      CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_PLEASE_WAIT), nullptr, &PleaseWaitProc, 0);
  ASSERT_NE(dialog, nullptr);
  HWND text = GetDlgItem(dialog, IDC_PLEASE_WAIT_TEXT);
  HWND bar = GetDlgItem(dialog, IDC_PLEASE_WAIT_PROGRESS);
  ASSERT_NE(bar, nullptr);
  char className[64] = {};
  GetClassNameA(bar, className, sizeof className);
  EXPECT_STREQ(className, "msctls_progress32");
  EXPECT_TRUE(IsWindowVisible(bar));
  RECT textRect, barRect, client;
  GetWindowRect(text, &textRect);
  GetWindowRect(bar, &barRect);
  EXPECT_GE(barRect.top, textRect.bottom) << "below the text";
  EXPECT_EQ(barRect.left, textRect.left);
  EXPECT_EQ(barRect.right, textRect.right);
  GetClientRect(dialog, &client);
  MapWindowPoints(dialog, nullptr, reinterpret_cast<POINT*>(&client), 2);
  EXPECT_LT(barRect.bottom, client.bottom) << "inside the dialog";
  EXPECT_GT(client.bottom - barRect.bottom, 4) << "with a margin below";
  EXPECT_EQ(0, SendMessageA(bar, PBM_GETPOS, 0, 0));
  PBRANGE range = {};
  SendMessageA(bar, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
  EXPECT_EQ(0, range.iLow);
  EXPECT_EQ(100, range.iHigh);

  // Each percentage shows at once, painted without the message queue.
  ShowInstallProgress(dialog, 0);
  UpdateWindow(dialog);
  RECT inside;
  GetClientRect(bar, &inside);
  HDC dc = GetDC(bar);
  const COLORREF empty = GetPixel(dc, inside.right - 2, inside.bottom / 2);
  ShowInstallProgress(dialog, 37);
  EXPECT_EQ(37, SendMessageA(bar, PBM_GETPOS, 0, 0));
  EXPECT_EQ(empty, GetPixel(dc, inside.right - 2, inside.bottom / 2)) << "the right end is not reached";
  const COLORREF filled = GetPixel(dc, 2, inside.bottom / 2);
  EXPECT_NE(empty, filled) << "the left part is filled";
  ShowInstallProgress(dialog, 100);
  EXPECT_EQ(100, SendMessageA(bar, PBM_GETPOS, 0, 0));
  EXPECT_EQ(filled, GetPixel(dc, inside.right - 2, inside.bottom / 2)) << "full";
  ReleaseDC(bar, dc);
  ShowInstallProgress(dialog, 250);
  EXPECT_EQ(100, SendMessageA(bar, PBM_GETPOS, 0, 0));
  ShowInstallProgress(dialog, -4);
  EXPECT_EQ(0, SendMessageA(bar, PBM_GETPOS, 0, 0));
  ShowInstallProgress(nullptr, 50);  // no dialog: nothing
  DestroyWindow(dialog);
}

TEST(SetupDialogs, WizardPagesSetTheButtonsAndConfirmCancel) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_TAB_CLASSES};
  InitCommonControlsEx(&controls);
  HPROPSHEETPAGE pages[2];
  PROPSHEETPAGEA_V2 page = {};
  page.dwSize = sizeof page;
  page.hInstance = instance;
  page.pszTemplate = MAKEINTRESOURCEA(IDD_WIZARD_PAGE1);
  page.pfnDlgProc = &WizardPage1Proc;
  pages[0] = CreatePropertySheetPageA(reinterpret_cast<LPCPROPSHEETPAGEA>(&page));
  page.pszTemplate = MAKEINTRESOURCEA(IDD_WIZARD_PAGE2);
  page.pfnDlgProc = &WizardPage2Proc;
  pages[1] = CreatePropertySheetPageA(reinterpret_cast<LPCPROPSHEETPAGEA>(&page));
  ASSERT_TRUE(pages[0] && pages[1]);

  PROPSHEETHEADERA header = {};
  header.dwSize = sizeof header;
  header.dwFlags = PSH_WIZARD | PSH_MODELESS;
  header.hInstance = instance;
  header.nPages = 2;
  header.phpage = pages;
  HWND sheet = reinterpret_cast<HWND>(PropertySheetA(&header));
  ASSERT_NE(sheet, nullptr);
  PumpFor(10);

  // Page 1: Next only, and the sheet in the middle of the screen.
  const int kBack = 0x3023, kNext = 0x3024;
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(sheet, kBack)));
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(sheet, kNext)));
  RECT rect;
  GetWindowRect(sheet, &rect);
  EXPECT_NEAR((rect.left + rect.right) / 2, GetSystemMetrics(SM_CXSCREEN) / 2, 1);
  EXPECT_NEAR((rect.top + rect.bottom) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 1);

  // Cancel, answered No: the sheet stays.
  HWND firstPage = PropSheet_GetCurrentPageHwnd(sheet);
  {
    ScriptedUser user({IDNO});
    PropSheet_PressButton(sheet, PSBTN_CANCEL);
    PumpFor(10);
    ASSERT_EQ(user.Asked().size(), 1u);
    EXPECT_EQ(user.Asked()[0].text, "セットアップをキャンセルしますか？");
    EXPECT_EQ(user.Asked()[0].caption, "中断確認");
    EXPECT_EQ(user.Asked()[0].style, static_cast<UINT>(MB_YESNO | MB_ICONINFORMATION));
    EXPECT_EQ(user.Asked()[0].owner, firstPage);
    EXPECT_NE(PropSheet_GetCurrentPageHwnd(sheet), nullptr);
  }

  // Page 2: Back and Finish.
  PropSheet_PressButton(sheet, PSBTN_NEXT);
  PumpFor(10);
  EXPECT_NE(PropSheet_GetCurrentPageHwnd(sheet), firstPage);
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(sheet, kBack)));

  // Cancel, answered Yes: the sheet may close.
  {
    ScriptedUser user({IDYES});
    PropSheet_PressButton(sheet, PSBTN_CANCEL);
    PumpFor(10);
    ASSERT_EQ(user.Asked().size(), 1u);
    EXPECT_EQ(PropSheet_GetCurrentPageHwnd(sheet), nullptr);
  }
  DestroyWindow(sheet);
}

TEST(SetupWizard, WindowlessWizardConfirmsACloseRequest) {
  CSetupWizard wizard;
  EXPECT_EQ(wizard.GetHWnd(), nullptr);
  ScriptedUser user({IDNO, IDYES});
  EXPECT_EQ(wizard.HandleMessage(nullptr, WM_CLOSE, 0, 0), 1) << "No consumes the close";
  EXPECT_EQ(wizard.HandleMessage(nullptr, WM_CLOSE, 0, 0), 0) << "Yes lets it through";
  EXPECT_EQ(wizard.HandleMessage(nullptr, WM_MOUSEMOVE, 0, 0), 0);
  ASSERT_EQ(user.Asked().size(), 2u);
  EXPECT_EQ(user.Asked()[0].caption, "確認");
  EXPECT_EQ(user.Asked()[0].text, "セットアップをキャンセルしますか？");
  EXPECT_EQ(user.Asked()[0].style, static_cast<UINT>(MB_YESNO | MB_ICONINFORMATION));
}

TEST(SetupWizard, AsItsWindowsListenerItKeepsTheWindowUnlessTheUserAgreesToClose) {
  CSetupWizard wizard;
  CWindowParams params;
  params.width = 200;
  params.height = 100;
  ASSERT_TRUE(wizard.GetWindow().Create(params)) << "the flow never does this; a sheet or test may";
  wizard.GetWindow().AddListener(&wizard);
  HWND window = wizard.GetHWnd();
  ASSERT_NE(window, nullptr);
  ScriptedUser user({IDNO, IDYES});
  SendMessageA(window, WM_CLOSE, 0, 0);
  EXPECT_TRUE(IsWindow(window)) << "No keeps the window";
  SendMessageA(window, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindow(window)) << "Yes lets the default handling close it";
  EXPECT_EQ(wizard.GetHWnd(), nullptr);
  ASSERT_EQ(user.Asked().size(), 2u);
  EXPECT_EQ(user.Asked()[0].owner, window) << "asked over the wizard's window";
}

// A 24-bit bottom-up BMP, width x height, every pixel blue, green, red = x, y, seed.
static std::string SmallBitmap(int width, int height, int seed) {
  const int stride = (width * 3 + 3) / 4 * 4;
  std::string bytes(54 + stride * height, '\0');
  auto put32 = [&](size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
  };
  bytes[0] = 'B';
  bytes[1] = 'M';
  put32(2, static_cast<uint32_t>(bytes.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, static_cast<uint32_t>(width));
  put32(22, static_cast<uint32_t>(height));
  bytes[26] = 1;
  bytes[28] = 24;
  put32(34, static_cast<uint32_t>(stride * height));
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      char* pixel = &bytes[54 + (height - 1 - y) * stride + x * 3];
      pixel[0] = static_cast<char>(x);
      pixel[1] = static_cast<char>(y);
      pixel[2] = static_cast<char>(seed);
    }
  return bytes;
}

// The wizard built with the current directory in a scratch "disc" that holds the pictures as `arrange`
// puts them there.
class WizardPictures : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = GetCurrentDirectoryPath();
    ASSERT_TRUE(ChangeCurrentDirectory(scratch_.Path()));
    screenDepth_ = [] {
      HDC screen = GetDC(nullptr);
      int depth = GetDeviceCaps(screen, BITSPIXEL);
      ReleaseDC(nullptr, screen);
      return depth;
    }();
  }
  void TearDown() override { ChangeCurrentDirectory(previous_); }

  void ExpectPicture(CSurface& surface, int width, int height, int seed) {
    ASSERT_TRUE(surface.IsCreated());
    EXPECT_EQ(width, surface.GetExtent().cx);
    EXPECT_EQ(height, surface.GetExtent().cy);
    EXPECT_EQ(screenDepth_, surface.GetDepth()) << "loaded at the screen's depth";
    EXPECT_EQ(nullptr, surface.GetDC()) << "a memory surface, not a DIB section";
    if (screenDepth_ == 32) {
      EXPECT_EQ(static_cast<uint32_t>(seed << 16 | 2 << 8 | 3), surface.GetPixel(3, 2));
    }
  }
  void ExpectBothPictures(CSetupWizard& wizard) {
    ExpectPicture(wizard.GetPicture0(), 5, 4, 0x40);
    ExpectPicture(wizard.GetPicture1(), 7, 3, 0x80);
    EXPECT_TRUE(wizard.GetPicture1().IsAlphaEnabled());
    EXPECT_TRUE(wizard.GetPicture1().HasAlphaPlane());
    EXPECT_FALSE(wizard.GetPicture0().IsAlphaEnabled());
    EXPECT_FALSE(wizard.GetBackground().IsCreated());
    EXPECT_EQ(nullptr, wizard.GetHWnd()) << "the window is never made by construction";
  }

  ScratchFolder scratch_;
  std::string previous_;
  int screenDepth_ = 0;
  const std::string picture0_ = SmallBitmap(5, 4, 0x40);
  const std::string picture1_ = SmallBitmap(7, 3, 0x80);
};

TEST_F(WizardPictures, MissingPicturesLeaveEmptySurfacesAndTheWizardWorks) {
  CSetupWizard wizard;
  EXPECT_FALSE(wizard.GetPicture0().IsCreated());
  EXPECT_FALSE(wizard.GetPicture1().IsCreated());
  EXPECT_FALSE(wizard.GetPicture1().HasAlphaPlane()) << "no pixels, no alpha plane";
  ScriptedUser user({IDNO});
  EXPECT_EQ(1, wizard.HandleMessage(nullptr, WM_CLOSE, 0, 0));
}

TEST_F(WizardPictures, LooseFiles) {
  ASSERT_TRUE(WriteFileMakingFolders(scratch_ / "data\\v_006_000.bmp", picture0_));
  ASSERT_TRUE(WriteFileMakingFolders(scratch_ / "data\\v_006_001.bmp", picture1_));
  CSetupWizard wizard;
  ExpectBothPictures(wizard);
}

TEST_F(WizardPictures, SingleFilePacks) {
  std::string pack0, pack1;
  ASSERT_TRUE(BuildSinglePack("v_006_000.bmp", picture0_, 9, &pack0));
  ASSERT_TRUE(BuildSinglePack("v_006_001.bmp", picture1_, 9, &pack1));
  ASSERT_TRUE(WriteFileMakingFolders(GetSinglePackPath(scratch_ / "data\\v_006_000.bmp"), pack0));
  ASSERT_TRUE(WriteFileMakingFolders(GetSinglePackPath(scratch_ / "data\\v_006_001.bmp"), pack1));
  CSetupWizard wizard;
  ExpectBothPictures(wizard);
}

TEST_F(WizardPictures, ArchiveMembersAndOneOfEachKind) {
  {
    std::string archive;
    ASSERT_TRUE(BuildPackArchive({{"v_006_000.bmp", picture0_}, {"v_006_001.bmp", picture1_}}, 6, &archive));
    ASSERT_TRUE(WriteWholeFile(scratch_ / "data.pak", archive));
    CSetupWizard wizard;
    ExpectBothPictures(wizard);
  }
  // A loose picture beside a packed one, as on the sample disc.
  ASSERT_TRUE(DeleteFileA((scratch_ / "data.pak").c_str()));
  ASSERT_TRUE(WriteFileMakingFolders(scratch_ / "data\\v_006_000.bmp", picture0_));
  std::string pack1;
  ASSERT_TRUE(BuildSinglePack("v_006_001.bmp", picture1_, 9, &pack1));
  ASSERT_TRUE(WriteWholeFile(GetSinglePackPath(scratch_ / "data\\v_006_001.bmp"), pack1));
  CSetupWizard wizard;
  ExpectBothPictures(wizard);
}

TEST_F(WizardPictures, AnUnusablePictureIsLeftOut) {
  ASSERT_TRUE(WriteFileMakingFolders(scratch_ / "data\\v_006_000.bmp", picture0_.substr(0, 60)));  // cut short
  ASSERT_TRUE(WriteFileMakingFolders(scratch_ / "data\\v_006_001.bmp", picture1_));
  CSetupWizard wizard;
  EXPECT_FALSE(wizard.GetPicture0().IsCreated());
  ExpectPicture(wizard.GetPicture1(), 7, 3, 0x80);
}

TEST_F(WizardPictures, PaintsItsWindowFromTheBackground) {
  CSetupWizard wizard;
  ASSERT_TRUE(wizard.GetBackground().Create(64, 32, 32, 1)) << "a DIB section, so it has a device context";
  wizard.GetBackground().FillAll(RGB(0, 0, 255));  // red in the low byte: pure blue
  CWindowParams params;
  params.width = 64;
  params.height = 32;
  ASSERT_TRUE(wizard.GetWindow().Create(params));
  wizard.GetWindow().AddListener(&wizard);
  HWND window = wizard.GetHWnd();
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  HDC dc = GetDC(window);
  EXPECT_EQ(RGB(0, 0, 255), GetPixel(dc, 10, 10)) << "copied from the background, not the black class brush";
  ReleaseDC(window, dc);
}
