#include "installer/UninstallInfo.h"

#include <windows.h>
#include <shlobj.h>

#include <vector>

#include "foundation/Folders.h"
#include "foundation/PathText.h"
#include "foundation/ShiftJis.h"
#include "installer/CanonicalPath.h"
#include "installer/Registration.h"
#include "installer/TextTable.h"
#include "installer/UninstallPaths.h"

namespace {

struct Section {
  std::string name;
  std::vector<std::string> files;
  std::vector<std::string> folders;
  bool complete = false;  // both lists were there
};

// What one carried-out section will remove, and whether anything of it stayed.
struct Plan {
  std::vector<RegistrationPlace> places;
  bool problem = false;
};

struct Removal {
  std::string path;
  size_t plan;
};

DWORD WINAPI SystemAttributes(const char* path) { return GetFileAttributesA(path); }
UninstallAttributeReader attributeReader = nullptr;

DWORD AttributesForLinkCheck(const std::string& path) {
  return attributeReader ? static_cast<DWORD>(attributeReader(path.c_str())) : SystemAttributes(path.c_str());
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

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

// True when a folder at or below `base` on the way to `path` (the path itself included) is a reparse
// point: a junction or a symbolic link would take the deletion somewhere else. The walk ends at the
// first name that does not exist: nothing below it does either.
bool PassesThroughLink(const std::string& path, const std::string& base) {
  size_t i = base.size() + (EndsWithSeparator(base) ? 0 : 1);
  for (;;) {
    while (i < path.size() && path[i] != '\\') i += ShiftJisCharLength(path, i);
    const DWORD attributes = AttributesForLinkCheck(path.substr(0, i));
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return true;
    if (i >= path.size()) return false;
    ++i;
  }
}

// The places an absolute entry may name besides the installation folder.
struct ShellPlaces {
  std::vector<std::string> folders;  // desktop, this user's programs, all users' programs (canonical)

  ShellPlaces() {
    for (const std::string& folder :
         {GetDesktopPath(), GetSpecialFolderPath(CSIDL_PROGRAMS), GetSpecialFolderPath(CSIDL_COMMON_PROGRAMS)}) {
      const std::string canonical = GetCanonicalPath(folder);
      if (!canonical.empty() && !IsDriveRoot(canonical)) folders.push_back(canonical);
    }
  }

  // The place the path lies inside, or empty.
  std::string Holding(const std::string& path) const {
    for (const std::string& folder : folders) {
      if (IsPathInside(path, folder)) return folder;
    }
    return std::string();
  }
};

// The canonical path to remove for an entry, or empty when it is refused: a form other than the plain
// ones, a place outside those allowed for it, or a way through a link.
std::string PathToRemove(const std::string& entry, bool isFolder, const std::string& installFolder,
                         const ShellPlaces& places) {
  std::string canonical, base;
  if (IsAbsolutePath(entry) || (!entry.empty() && (entry[0] == '\\' || entry[0] == '/'))) {
    if (!IsPlainFullPath(entry)) return std::string();
    canonical = GetCanonicalPath(entry);
    if (canonical.empty()) return std::string();
    if (IsPathInside(canonical, installFolder)) {
      base = installFolder;
    } else if (isFolder && FoldPathCase(canonical) == FoldPathCase(installFolder)) {
      return canonical;
    } else if (isFolder || HasShortcutExtension(canonical)) {
      base = places.Holding(canonical);
    }
  } else {
    if (!IsPlainRelativePath(entry)) return std::string();
    canonical = GetCanonicalPath(installFolder + (EndsWithSeparator(installFolder) ? "" : "\\") + entry);
    if (IsPathInside(canonical, installFolder)) base = installFolder;
  }
  if (base.empty() || PassesThroughLink(canonical, base)) return std::string();
  return canonical;
}

// The folder that holds the file (a drive's root with its separator).
std::string FolderOf(const std::string& canonicalFile) {
  std::string folder = GetParentDirectory(canonicalFile);
  if (IsDriveRoot(folder) && folder.size() == 2) folder += "\\";
  return folder;
}

}  // namespace

void SetUninstallAttributeReader(UninstallAttributeReader reader) { attributeReader = reader; }

int RunUninstall(const std::string& infoFile, UninstallLeftovers* leftovers, const std::string& deferredFile) {
  UninstallLeftovers ignored;
  UninstallLeftovers& left = leftovers ? *leftovers : ignored;
  left = UninstallLeftovers();

  // Lines are taken whole: a path or a name may hold commas and runs of spaces.
  CTextTable table;
  table.SetCommaSeparates(false);
  table.SetWhitespaceSeparates(false);
  table.SetCollapseWhitespace(false);
  const std::string info = GetCanonicalPath(infoFile);
  if (info.empty() || !table.Load(info)) return 0;
  const std::string installFolder = FolderOf(info);

  // Everything is read before anything is deleted, so that a file cut short changes nothing.
  std::vector<Section> sections;
  std::string line;
  bool anyRecord = false;
  while (table.ReadRecord(1, &line)) {
    if (!anyRecord) line = WithoutByteOrderMark(line);
    anyRecord = anyRecord || !line.empty();
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
  if (sections.empty() && anyRecord) {
    left.noSection = true;
    return -1;
  }

  // Which sections are carried out, and what each removes.
  const ShellPlaces places;
  std::vector<Plan> plans(sections.size());
  std::vector<Removal> files, folders;
  std::vector<size_t> carriedOut;
  for (size_t s = 0; s < sections.size(); ++s) {
    const Section& section = sections[s];
    plans[s].places = FindRegistrationsOf(section.name, installFolder);
    if (plans[s].places.empty()) {
      (IsRegisteredAnywhere(section.name) ? left.foreign : left.unregistered).push_back(section.name);
      continue;
    }
    carriedOut.push_back(s);
    for (size_t kind = 0; kind < 2; ++kind) {
      for (const std::string& entry : kind == 0 ? section.files : section.folders) {
        if (entry.empty()) continue;
        const std::string path = PathToRemove(entry, kind == 1, installFolder, places);
        if (path.empty()) {
          left.refused.push_back(entry);
          plans[s].problem = true;
        } else if (kind == 1 && FoldPathCase(path) == FoldPathCase(installFolder)) {
          continue;  // the installation folder itself goes last, after the information file
        } else if (kind == 0 && !deferredFile.empty() && IsSameFile(path, deferredFile)) {
          left.deferred.push_back(path);
        } else {
          (kind == 0 ? files : folders).push_back({path, s});
        }
      }
    }
  }

  // Files of every section first: a folder of one section may hold files of another.
  for (const Removal& file : files) {
    if (!DeleteFileA(file.path.c_str()) && Exists(file.path)) {
      left.files.push_back(file.path);
      plans[file.plan].problem = true;
    }
  }
  // Then the folders, again while any went: a folder listed before the folders inside it empties later.
  std::vector<DWORD> errors(folders.size(), ERROR_SUCCESS);
  std::vector<bool> pending(folders.size(), true);
  for (bool progress = true; progress;) {
    progress = false;
    for (size_t i = 0; i < folders.size(); ++i) {
      if (!pending[i]) continue;
      if (RemoveDirectoryA(folders[i].path.c_str()) || !Exists(folders[i].path)) {
        pending[i] = false;
        progress = true;
      } else {
        errors[i] = GetLastError();
      }
    }
  }
  for (size_t i = 0; i < folders.size(); ++i) {
    if (!pending[i]) continue;
    if (errors[i] == ERROR_DIR_NOT_EMPTY) {
      left.folders.push_back(folders[i].path);
    } else {
      left.failedFolders.push_back(folders[i].path);
      plans[folders[i].plan].problem = true;
    }
  }

  // A section without its folder list stays registered, as the reading ended in it.
  for (size_t s : carriedOut) {
    if (plans[s].problem || !sections[s].complete) continue;
    for (const RegistrationPlace& place : plans[s].places) UnregisterAt(sections[s].name, place);
  }
  if (!left.IsComplete()) return 1;
  if (!DeleteFileA(info.c_str()) && Exists(info)) {
    left.files.push_back(info);
    return 1;
  }
  if (!carriedOut.empty() && !IsDriveRoot(installFolder) && !RemoveDirectoryA(installFolder.c_str()) &&
      Exists(installFolder)) {
    left.folders.push_back(installFolder);
  }
  return 1;
}
