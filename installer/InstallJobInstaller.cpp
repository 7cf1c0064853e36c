// The install job's installer operations: registration of what it installed, the shortcut and menu
// paths for its uninstall lists, and the uninstall information file.
#include <windows.h>

#include "foundation/NativeFile.h"
#include "foundation/PathText.h"
#include "foundation/Registry.h"
#include "installer/Registration.h"
#include "installer/Shortcuts.h"
#include "setup/InstallJob.h"

namespace {

// The executable as given when it is absolute, else below the destination.
std::string BelowDestination(const std::string& destination, const std::string& path) {
  return IsAbsolutePath(path) ? path : CollapseBackslashes(destination + "\\" + path);
}

}  // namespace

bool CInstallJob::RegisterAppPath(const std::string& executable) {
  const std::string path = BelowDestination(destination_, executable);
  std::string folder, name;
  SplitDirectoryAndName(path, folder, name);
  CRegistry registry(GetRegistrationRoot());
  if (!registry.CreateKey(GetAppPathsKey(title_))) return false;
  return registry.WriteString("", path) && registry.WriteString("Path", RegisteredFolderOf(folder));
}

bool CInstallJob::RegisterUninstall(const std::string& uninstaller, const std::string& displayName) {
  const std::string path = BelowDestination(destination_, uninstaller);
  CRegistry registry(GetRegistrationRoot());
  if (!registry.CreateKey(GetUninstallKey(title_))) return false;
  return registry.WriteString("DisplayName", displayName) && registry.WriteString("UninstallString", path);
}

void CInstallJob::AddUninstallDesktopShortcut(const std::string& name) {
  const std::string path = GetDesktopShortcutPath(name);
  if (!path.empty()) AddUninstallFile(path);
}

void CInstallJob::AddUninstallProgramsShortcut(const std::string& name) {
  for (const std::string& path : {GetProgramsShortcutPath(name), GetCommonProgramsShortcutPath(name)}) {
    if (!path.empty()) AddUninstallFile(path);
  }
}

void CInstallJob::AddUninstallProgramsFolder(const std::string& subfolder) {
  for (const std::string& path : {GetProgramsFolderPath(subfolder), GetCommonProgramsFolderPath(subfolder)}) {
    if (!path.empty()) AddUninstallDirectory(path);
  }
}

bool CInstallJob::WriteUninstallInfo(const std::string& fileName) {
  // Without a destination the file would land in the root of the current drive.
  if (destination_.empty() || fileName.empty()) return false;
  std::string text = "#AppName," + title_ + "\r\n#UninstallFile\r\n";
  for (const InstallEntry& entry : uninstallFiles_) text += entry.path + "\r\n";
  text += "##\r\n#UninstallDirectory\r\n";
  for (const InstallEntry& entry : uninstallFolders_) text += entry.path + "\r\n";
  text += "##\r\n";

  CNativeFile file;
  if (!file.OpenWrite(CollapseBackslashes(destination_ + "\\" + fileName), false)) return false;
  return file.Write(text.data(), static_cast<DWORD>(text.size()));
}
