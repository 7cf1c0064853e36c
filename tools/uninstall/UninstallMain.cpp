// uninstall.exe: the program an Uninstall entry starts. It removes what the uninstall information file
// lists (RunUninstall) after asking the user, and says how it went.
//
//   uninstall.exe INFOFILE           asks first, reports the outcome in a message box
//   uninstall.exe /quiet INFOFILE    asks nothing, shows nothing; problems go to stderr
//
// Exit code: 0 when the uninstall ran to its end; 1 when the file could not be read, a list in it ended
// early, or the user said no; 2 for bad usage.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "foundation/MessageBox.h"
#include "installer/UninstallInfo.h"

namespace {

const char* const kCaption = "アンインストール";

// stderr of a windowed program may be missing: then only the box speaks.
void Complain(const std::string& text) {
  std::fprintf(stderr, "uninstall: %s\n", text.c_str());
  std::fflush(stderr);
}

int BadUsage(bool quiet) {
  Complain("usage: uninstall.exe [/quiet] INFOFILE");
  if (!quiet) {
    ShowMessageBox(nullptr, "使い方: uninstall.exe [/quiet] アンインストール情報ファイル", kCaption, MB_OK | MB_ICONERROR);
  }
  return 2;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  std::vector<std::string> arguments;
  // Empty arguments (two spaces in a row) are not arguments a user meant.
  for (const std::string& argument : SplitCommandLine(GetCommandLineA())) {
    if (!argument.empty()) arguments.push_back(argument);
  }
  const bool quiet = arguments.size() > 1 && arguments[1] == "/quiet";
  if (arguments.size() != (quiet ? 3u : 2u) || arguments.back() == "/quiet") return BadUsage(quiet);
  const std::string infoFile = arguments.back();

  if (!quiet && ShowMessageBox(nullptr, "アンインストールしますか？", kCaption, MB_YESNO | MB_ICONQUESTION) != IDYES) {
    Complain("not uninstalled: the user said no");
    return 1;
  }
  switch (RunUninstall(infoFile)) {
    case 1:
      if (!quiet) ShowMessageBox(nullptr, "アンインストールが完了しました。", kCaption, MB_OK | MB_ICONINFORMATION);
      return 0;
    case -1:
      Complain("a list in the uninstall information file " + infoFile +
               " ends without its \"##\"; nothing was removed");
      if (!quiet) {
        ShowMessageBox(nullptr,
                       ("アンインストール情報ファイルが途中で終わっています。何も削除しませんでした。\n" + infoFile).c_str(),
                       kCaption, MB_OK | MB_ICONERROR);
      }
      return 1;
    default:
      Complain("cannot read the uninstall information file " + infoFile);
      if (!quiet) {
        ShowMessageBox(nullptr, ("アンインストール情報ファイルを読み込めませんでした。\n" + infoFile).c_str(), kCaption,
                       MB_OK | MB_ICONERROR);
      }
      return 1;
  }
}
