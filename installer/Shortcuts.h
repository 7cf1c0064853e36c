#pragma once
// Shell shortcuts (.lnk files) on the desktop and in the Start menu's programs folder, and folders of
// the programs menu. A shortcut's name may hold subfolders ("Sub\\Game" is Game.lnk in the folder Sub);
// its file is the place's folder + "\\" + name + ".lnk". The desktop is this user's; "programs" is this
// user's programs folder, "all users' programs" the machine's common one. When the system does not name
// a place's folder, nothing is made or removed there.

#include <string>

// Saves a shortcut to `target` at `link` (icon: the target's first; working folder: the target's
// folder), making the link's folder and the folders above it first. COM is entered and left on the
// calling thread. True only when the shortcut file was saved with its target, working folder and icon
// all accepted; false for an empty target or one of MAX_PATH bytes or more. When it is not saved, the
// folders made for it are removed again.
bool CreateShortcut(const std::string& link, const std::string& target);

bool CreateDesktopShortcut(const std::string& target, const std::string& name);
// True when the shortcut file was deleted.
bool RemoveDesktopShortcut(const std::string& name);

// Makes programs\subfolder and the folders above it; the result of making the subfolder itself (false
// when it was there already).
bool CreateProgramsFolder(const std::string& subfolder);
// Removes the subfolder below this user's and all users' programs folders where it is empty; true.
bool RemoveProgramsFolder(const std::string& subfolder);

bool CreateProgramsShortcut(const std::string& target, const std::string& name);
// True when this user's programs shortcut file was deleted.
bool RemoveProgramsShortcut(const std::string& name);

// Where the shortcuts and folders above go; empty when the system does not name the place's folder (or,
// for a folder, when the subfolder is empty: the programs folder itself is never one of ours).
std::string GetDesktopShortcutPath(const std::string& name);
std::string GetProgramsShortcutPath(const std::string& name);
std::string GetCommonProgramsShortcutPath(const std::string& name);
std::string GetProgramsFolderPath(const std::string& subfolder);
std::string GetCommonProgramsFolderPath(const std::string& subfolder);
