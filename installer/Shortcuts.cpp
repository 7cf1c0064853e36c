#include "installer/Shortcuts.h"

#include <windows.h>
#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>

#include <vector>

#include "app/ComCount.h"
#include "foundation/DebugPrint.h"
#include "foundation/Folders.h"
#include "foundation/PathText.h"

namespace {

std::string ShortcutIn(const std::string& folder, const std::string& name) {
  if (folder.empty() || name.empty()) return std::string();
  return CollapseBackslashes(folder + "\\" + name + ".lnk");
}

std::string SubfolderOf(const std::string& folder, const std::string& subfolder) {
  if (folder.empty() || subfolder.empty()) return std::string();
  return CollapseBackslashes(folder + "\\" + subfolder);
}

bool DeleteIfNamed(const std::string& path) { return !path.empty() && DeleteFileA(path.c_str()) != FALSE; }

// The folders of `folder` and above it that do not exist yet, innermost first.
std::vector<std::string> MissingFolders(const std::string& folder) {
  std::vector<std::string> missing;
  for (std::string at = folder; !at.empty() && GetFileAttributesA(at.c_str()) == INVALID_FILE_ATTRIBUTES;) {
    missing.push_back(at);
    const std::string parent = GetParentDirectory(at);
    if (parent == at) break;
    at = parent;
  }
  return missing;
}

}  // namespace

std::string GetDesktopShortcutPath(const std::string& name) { return ShortcutIn(GetDesktopPath(), name); }

std::string GetProgramsShortcutPath(const std::string& name) {
  return ShortcutIn(GetSpecialFolderPath(CSIDL_PROGRAMS), name);
}

std::string GetCommonProgramsShortcutPath(const std::string& name) {
  return ShortcutIn(GetSpecialFolderPath(CSIDL_COMMON_PROGRAMS), name);
}

std::string GetProgramsFolderPath(const std::string& subfolder) {
  return SubfolderOf(GetSpecialFolderPath(CSIDL_PROGRAMS), subfolder);
}

std::string GetCommonProgramsFolderPath(const std::string& subfolder) {
  return SubfolderOf(GetSpecialFolderPath(CSIDL_COMMON_PROGRAMS), subfolder);
}

bool CreateShortcut(const std::string& link, const std::string& target) {
  if (link.empty()) return false;
  std::string linkFolder, linkName;
  SplitDirectoryAndName(link, linkFolder, linkName);
  std::string targetFolder, targetName;
  SplitDirectoryAndName(target, targetFolder, targetName);
  // A link file holds its target in a fixed path field: a longer target cannot be saved faithfully.
  if (target.empty() || target.size() >= MAX_PATH) {
    DebugPrint("CreateShortcut() リンク先のパスを使えない。<%s>", target.c_str());
    return false;
  }
  const std::vector<std::string> made = MissingFolders(linkFolder);
  CreateDirectoryTree(linkFolder);

  // A thread already in the other apartment model cannot enter ours but can still use COM.
  const bool entered = ComEnter();
  bool saved = false;
  IShellLinkA* shellLink = nullptr;
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                 reinterpret_cast<void**>(&shellLink)))) {
    // A link whose target, folder or icon was refused would point somewhere else: it is not saved.
    const bool described = SUCCEEDED(shellLink->SetIconLocation(target.c_str(), 0)) &&
                           SUCCEEDED(shellLink->SetPath(target.c_str())) &&
                           SUCCEEDED(shellLink->SetWorkingDirectory(targetFolder.c_str()));
    IPersistFile* persistFile = nullptr;
    if (described && SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persistFile)))) {
      WCHAR wideLink[MAX_PATH];
      if (MultiByteToWideChar(CP_ACP, 0, link.c_str(), -1, wideLink, MAX_PATH) > 0) {
        saved = SUCCEEDED(persistFile->Save(wideLink, TRUE));
      }
      persistFile->Release();
    }
    shellLink->Release();
  }
  if (entered) ComLeave();
  if (!saved) {
    DebugPrint("CreateShortcut() ショートカットを保存できなかった。<%s>", link.c_str());
    // The folders made for it go again (innermost first; only while they are empty).
    for (const std::string& folder : made) RemoveDirectoryA(folder.c_str());
  }
  return saved;
}

bool CreateDesktopShortcut(const std::string& target, const std::string& name) {
  return CreateShortcut(GetDesktopShortcutPath(name), target);
}

bool RemoveDesktopShortcut(const std::string& name) { return DeleteIfNamed(GetDesktopShortcutPath(name)); }

bool CreateProgramsFolder(const std::string& subfolder) {
  const std::string folder = GetProgramsFolderPath(subfolder);
  return !folder.empty() && CreateDirectoryTree(folder);
}

bool RemoveProgramsFolder(const std::string& subfolder) {
  for (const std::string& folder : {GetProgramsFolderPath(subfolder), GetCommonProgramsFolderPath(subfolder)}) {
    if (!folder.empty()) RemoveDirectoryA(folder.c_str());
  }
  return true;
}

bool CreateProgramsShortcut(const std::string& target, const std::string& name) {
  return CreateShortcut(GetProgramsShortcutPath(name), target);
}

bool RemoveProgramsShortcut(const std::string& name) { return DeleteIfNamed(GetProgramsShortcutPath(name)); }
