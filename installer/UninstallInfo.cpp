#include "installer/UninstallInfo.h"

#include <windows.h>

#include <vector>

#include "foundation/PathText.h"
#include "foundation/ShiftJis.h"
#include "installer/Registration.h"
#include "installer/TextTable.h"
#include "setup/BaseGameLookup.h"

namespace {

struct Section {
  std::string name;
  std::vector<std::string> files;
  std::vector<std::string> folders;
  bool complete = false;  // both lists were there
};

// A line's key is its text up to the first comma; what follows that comma is its value.
std::string KeyOf(const std::string& line) { return line.substr(0, line.find(',')); }

std::string ValueOf(const std::string& line) {
  const size_t comma = line.find(',');
  return comma == std::string::npos ? std::string() : line.substr(comma + 1);
}

// The lines up to "##"; false when the text ends first.
bool ReadList(CTextTable& table, std::vector<std::string>& paths) {
  std::string line;
  while (table.ReadRecord(1, &line)) {
    if (KeyOf(line) == "##") return true;
    paths.push_back(line);
  }
  return false;
}

bool ClimbsOut(const std::string& path) {
  size_t start = 0;
  for (size_t i = 0; i <= path.size();) {
    if (i == path.size() || path[i] == '\\' || path[i] == '/') {
      if (path.compare(start, i - start, "..") == 0) return true;
      start = ++i;
    } else {
      i += ShiftJisCharLength(path, i);
    }
  }
  return false;
}

// The path to delete: an absolute one as it is, a relative one below the installation folder; empty
// when there is no folder of the section's own to put it in.
std::string PathToRemove(const std::string& path, const std::string& installFolder) {
  if (path.empty()) return std::string();
  if (IsAbsolutePath(path)) return path;
  if (installFolder.empty() || ClimbsOut(path)) return std::string();
  return CollapseBackslashes(installFolder + "\\" + path);
}

}  // namespace

int RunUninstall(const std::string& infoFile, UninstallLeftovers* leftovers) {
  UninstallLeftovers ignored;
  UninstallLeftovers& left = leftovers ? *leftovers : ignored;
  left = UninstallLeftovers();
  auto deleteFile = [&left](const std::string& path) {
    if (!path.empty() && !DeleteFileA(path.c_str())) left.files.push_back(path);
  };
  auto removeFolder = [&left](const std::string& path) {
    if (!path.empty() && !RemoveDirectoryA(path.c_str())) left.folders.push_back(path);
  };

  // Lines are taken whole: a path or a name may hold commas and runs of spaces.
  CTextTable table;
  table.SetCommaSeparates(false);
  table.SetWhitespaceSeparates(false);
  table.SetCollapseWhitespace(false);
  if (!table.Load(infoFile)) return 0;

  // Everything is read before anything is deleted, so that a file cut short changes nothing.
  std::vector<Section> sections;
  std::string line;
  while (table.ReadRecord(1, &line)) {
    if (KeyOf(line) != "#AppName") continue;  // lines outside the sections
    Section section;
    section.name = ValueOf(line);
    if (!table.ReadRecord(1, &line) || KeyOf(line) != "#UninstallFile") break;
    if (!ReadList(table, section.files)) return -1;
    const bool foldersFollow = table.ReadRecord(1, &line) && KeyOf(line) == "#UninstallDirectory";
    if (foldersFollow && !ReadList(table, section.folders)) return -1;
    section.complete = foldersFollow;
    sections.push_back(std::move(section));
    if (!foldersFollow) break;
  }

  std::vector<std::string> installFolders;
  for (const Section& section : sections) {
    std::string folder, executable;
    if (!setup::FindBaseGameInstall(section.name, folder, executable) || !IsAbsolutePath(folder)) folder.clear();
    for (const std::string& file : section.files) deleteFile(PathToRemove(file, folder));
    for (const std::string& subfolder : section.folders) removeFolder(PathToRemove(subfolder, folder));
    if (section.complete) installFolders.push_back(folder);
  }
  for (const Section& section : sections) {
    if (!section.complete) continue;
    UnregisterAppPath(section.name);
    UnregisterUninstall(section.name);
  }
  deleteFile(infoFile);
  for (const std::string& folder : installFolders) removeFolder(folder);
  return 1;
}
