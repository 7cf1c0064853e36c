#pragma once
// CSurfaceRegistry: the process-wide list of (surface, owner window) pairs, so that every surface of a
// window can be built again after its pixels were lost (Restore) or given up with the window. Surfaces
// add themselves when created with their registered flag set and remove themselves when released.
// While a walk over the list runs, the additions and removals the walk causes itself (a Restore
// releases and creates its surface) are ignored; the walk keeps the list right. Guarded by a critical
// section: surfaces may be created on any thread.

#include <windows.h>

#include <vector>

class CSurfaceBase;

class CSurfaceRegistry {
 public:
  static CSurfaceRegistry* Get();

  // Adds the pair, or sets the owner of a surface listed already.
  void Add(CSurfaceBase* surface, HWND owner);
  void Remove(CSurfaceBase* surface);
  bool Contains(CSurfaceBase* surface);
  // Restores every surface of the window; a surface whose Restore fails is released and unlinked.
  // Returns the number of surfaces that failed.
  int RestoreAll(HWND owner);
  // Releases and unlinks every surface of the window.
  void ReleaseAll(HWND owner);
  // Number of surfaces listed for the window.
  int Count(HWND owner);

 private:
  struct Entry {
    CSurfaceBase* surface;
    HWND owner;
  };
  std::vector<Entry> entries_;
  bool busy_ = false;
};
