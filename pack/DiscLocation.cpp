#include "pack/DiscLocation.h"

#include <cstdio>

#include "foundation/FileFinder.h"
#include "foundation/MessageBox.h"
#include "foundation/PathText.h"

CdRomDrives::CdRomDrives(DriveTypeQuery query) : query_(query) {}

void CdRomDrives::BuildTable() {
  tablePending_ = false;
  for (int i = 0; i < 26; ++i) {
    char root[4] = {static_cast<char>('A' + i), ':', '\\', '\0'};
    isCdRom_[i] = query_(root) == DRIVE_CDROM;
  }
}

bool CdRomDrives::IsCdRom(char letter) {
  if (tablePending_) BuildTable();
  return letter >= 'A' && letter <= 'Z' && isCdRom_[letter - 'A'];
}

bool CdRomDrives::Walk(const std::function<bool(char letter)>& tryDrive) {
  if (tablePending_) BuildTable();
  int index = (lastLetter_ >= 'A' && lastLetter_ <= 'Z') ? lastLetter_ - 'A' : 0;
  for (int step = 0; step < 26; ++step, index = (index + 1) % 26) {
    if (!isCdRom_[index]) continue;
    lastLetter_ = static_cast<char>('A' + index);
    if (tryDrive(lastLetter_)) return true;
  }
  return false;
}

CdRomDrives& DiscSearchDrives() {
  static CdRomDrives drives;
  return drives;
}

CdRomDrives& DiscRequestDrives() {
  static CdRomDrives drives;
  return drives;
}

std::string RequestDiscFile(const std::string& discFolder, const std::string& relativePath, int discNumber, HWND owner,
                            CdRomDrives& drives) {
  CFileFinder finder;
  std::string candidate = CollapseBackslashes(discFolder + "\\" + relativePath);
  if (finder.Exists(candidate)) return candidate;

  char text[128];
  std::snprintf(text, sizeof text, "ディスク%2d枚目を挿入してください。", discNumber);
  for (;;) {
    std::string found;
    drives.Walk([&](char letter) {
      char root[4] = {letter, ':', '\\', '\0'};
      std::string path = CollapseBackslashes(std::string(root) + "\\" + discFolder + "\\" + relativePath);
      if (!finder.Exists(path)) return false;
      found = path;
      return true;
    });
    if (!found.empty()) return found;
    if (ShowMessageBox(owner, text, "ディスク要求", MB_YESNO | MB_ICONINFORMATION) != IDYES) return "";
  }
}
