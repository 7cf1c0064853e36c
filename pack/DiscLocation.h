#pragma once
// Finding data on the machine's CD-ROM drives.
//
// A CdRomDrives object remembers which drive letters are CD-ROM drives (looked up once, on first use) and
// the letter it tried last, so that the next walk starts there. The file front's silent disc search and the
// install job's disc request each keep one for the whole process.

#include <windows.h>

#include <functional>
#include <string>

class CdRomDrives {
 public:
  using DriveTypeQuery = UINT(WINAPI*)(LPCSTR root);

  // `query` answers the drive type of a root such as "E:\"; the platform's GetDriveTypeA by default.
  explicit CdRomDrives(DriveTypeQuery query = &GetDriveTypeA);

  // Visits every CD-ROM drive once, starting from the letter tried last ('A' the first time) and wrapping
  // from 'Z' to 'A'. Each visited letter becomes the last letter before `tryDrive` sees it; a step that
  // returns true ends the walk, and Walk returns true.
  bool Walk(const std::function<bool(char letter)>& tryDrive);

  bool IsCdRom(char letter);
  char LastLetter() const { return lastLetter_; }

 private:
  void BuildTable();

  DriveTypeQuery query_;
  bool tablePending_ = true;
  bool isCdRom_[26] = {};
  char lastLetter_ = 0;
};

// The process-wide state of the file front's disc search and of the install job's disc request.
CdRomDrives& DiscSearchDrives();
CdRomDrives& DiscRequestDrives();

// Finds `relativePath` below `discFolder` on a disc: first discFolder\relativePath as it stands, then on
// every CD-ROM drive as X:\discFolder\relativePath. While no drive has it, asks the user (owned by `owner`)
// to insert disc `discNumber`; Yes searches again. Returns the path found, or "" when the user declines.
std::string RequestDiscFile(const std::string& discFolder, const std::string& relativePath, int discNumber, HWND owner,
                            CdRomDrives& drives = DiscRequestDrives());
