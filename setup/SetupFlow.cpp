#include "setup/SetupFlow.h"

#include <commctrl.h>
#include <prsht.h>

#include <memory>

#include "app/Application.h"
#include "foundation/AnsiText.h"
#include "foundation/FileFinder.h"
#include "foundation/Folders.h"
#include "foundation/MessageBox.h"
#include "foundation/PathText.h"
#include "foundation/Process.h"
#include "setup/AppPathCommand.h"
#include "setup/BaseGameLookup.h"
#include "setup/InstallJob.h"
#include "setup/SetupConstants.h"
#include "setup/SetupDialogs.h"
#include "setup/SetupWizard.h"
#include "setup/resource.h"

using namespace setup;

static_assert(sizeof(void*) != 4 || sizeof(PROPSHEETPAGEA_V2) == 48, "the page record without activation context");

namespace {

// Built before WinMain runs and destroyed at process exit, after the worker has been stopped.
std::string g_destinationFolder;
CLocalInstallJob g_installJob;

void CollectCategory(CInstallJob& job, int category) {
  std::string folder = GetFullPath(kCategoryFolders[category]);
  if (folder.empty()) return;  // the disc's path does not fit in a path: nothing to list
  CFileList files;
  files.ListFiles(folder, "*.*", true);
  for (size_t i = 0; i < files.GetCount(); ++i) job.AddFile(GetRelativePath(files.GetAt(i), folder), category);
}

HPROPSHEETPAGE CreateWizardPage(HINSTANCE instance, int resource, DLGPROC procedure) {
  PROPSHEETPAGEA_V2 page = {};
  page.dwSize = sizeof page;
  page.dwFlags = 0;
  page.hInstance = instance;
  page.pszTemplate = MAKEINTRESOURCEA(resource);
  page.pfnDlgProc = procedure;
  return CreatePropertySheetPageA(reinterpret_cast<LPCPROPSHEETPAGEA>(&page));
}

// One message at most per pass, then 50 ms of sleep, then the job's flags: cancelled first, so that a
// worker that set both ends in the removal. Each pass moves the please-wait dialog's bar to the job's
// overall percentage.
void PumpUntilTheJobEnds(HWND pleaseWait, HWND owner) {
  for (;;) {
    MSG message;
    if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    Sleep(50);
    // The flags before the percentage: the worker sets 100 before it sets finished, so a finished run
    // always shows its end on the bar.
    const bool cancelled = g_installJob.IsCancelled();
    const bool finished = !cancelled && g_installJob.IsFinished();
    ShowInstallProgress(pleaseWait, g_installJob.GetOverallPercent());
    if (cancelled) {
      g_installJob.AbortAndRemove();
      return;
    }
    if (finished) {
      if (g_installJob.IsCancelled()) {
        g_installJob.AbortAndRemove();
      } else {
        DestroyWindow(pleaseWait);
        ShowMessageBox(owner, kSuccessText, kSuccessCaption, MB_ICONINFORMATION);
      }
      return;
    }
  }
}

// Everything after the single-instance guard; returns when the program is to end.
void RunGuardedSetup(HINSTANCE instance) {
  std::string gameFolder, gameExecutable;
  if (!(FindBaseGameInstall(kProductTitle, gameFolder, gameExecutable) ||
        FindBaseGameInstall(kSecondLookupName, gameFolder, gameExecutable)) ||
      !BaseGameExecutableExists(gameFolder, gameExecutable)) {
    ShowMessageBox(nullptr, kNotInstalledText, kErrorCaption, MB_OK);
    return;
  }

  SetCurrentDirectoryA(GetProgramFolderAsCurrentDirectory(GetModuleDirectory()).c_str());

  INITCOMMONCONTROLSEX controls = {};
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_TAB_CLASSES;
  InitCommonControlsEx(&controls);

  CSetupWizard wizard;
  // The pages stay until the process ends; no sheet shows them.
  CreateWizardPage(instance, IDD_WIZARD_PAGE1, &WizardPage1Proc);
  CreateWizardPage(instance, IDD_WIZARD_PAGE2, &WizardPage2Proc);

  g_destinationFolder = gameFolder;
  g_installJob.Reset();
  g_installJob.SetTitle(kProductTitle);
  g_installJob.SetParentWindow(wizard.GetHWnd());
  for (int k = 0; k < kCategoryCount; ++k) g_installJob.SetCategoryFolder(kCategoryFolders[k], k);
  g_installJob.SetDestination(CollapseBackslashes(SlashToBackslash(g_destinationFolder)));

  HWND pleaseWait = CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_PLEASE_WAIT), nullptr, &PleaseWaitProc, 0);

  uint64_t required = CollectInstallFiles(g_installJob, gameFolder);
  g_installJob.SetRequiredSize(required);
  if (!(g_installJob.GetFreeSpace() > required)) {
    ShowMessageBox(nullptr, kNoSpaceText, kErrorCaption, MB_ICONINFORMATION);
    return;
  }

  g_installJob.StartInstall();
  PumpUntilTheJobEnds(pleaseWait, wizard.GetHWnd());
}

}  // namespace

std::string GetProgramFolderAsCurrentDirectory(const std::string& moduleDirectory) {
  // "G:" alone would mean the folder the process last had on drive G, not its root.
  if (moduleDirectory.size() == 2 && moduleDirectory[1] == ':') return moduleDirectory + "\\";
  return moduleDirectory;
}

bool BaseGameExecutableExists(const std::string& folder, const std::string& executable) {
  // A value that cannot be expanded is looked for as it is written.
  std::string expanded;
  if (!ExpandEnvironmentText(executable, expanded)) expanded = executable;
  CFileFinder finder;
  for (const std::string& name : GetCommandExecutableCandidates(expanded)) {
    std::string path = IsAbsolutePath(name) ? name : CollapseBackslashes(folder + "\\" + name);
    WIN32_FIND_DATAA data;
    if (finder.FindFirst(path, data) && !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return true;
  }
  return false;
}

uint64_t CollectInstallFiles(CInstallJob& job, const std::string& gameFolder) {
  CFileFinder finder;
  uint64_t total = kSizeAlways;
  CollectCategory(job, 1);
  if (finder.Exists(CollapseBackslashes(gameFolder + kPatchPack1000))) {
    total = kSizeWithPack1000;
    CollectCategory(job, 2);
  }
  if (finder.Exists(CollapseBackslashes(gameFolder + kPatchPack1005))) {
    total += kSizePack1005;
    CollectCategory(job, 3);
  }
  total += kSizeAlways;
  CollectCategory(job, 0);
  return total;
}

int RunSetup(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine, int showCommand) {
  CApplication application(instance, previousInstance, commandLine, showCommand);
  CInstanceMutex instanceGuard;
  if (instanceGuard.IsFirstInstance()) RunGuardedSetup(instance);
  return 0;
}
