#pragma once
// The setup program's built-in constants: what it installs and where it looks for the base game.

#include <cstdint>

namespace setup {

extern const char* const kProductTitle;      // first name of the base game's App Paths entry; the job's title
extern const char* const kSecondLookupName;  // tried when the first lookup fails (full-width parentheses)

constexpr int kCategoryCount = 4;
extern const char* const kCategoryFolders[kCategoryCount];  // relative to the disc, index = category

extern const char* const kPatchPack1000;  // below the base game's folder: brings category 2
extern const char* const kPatchPack1005;  // below the base game's folder: brings category 3

// Fixed byte counts of the required free space.
constexpr uint64_t kSizeAlways = 968328970ull;         // categories 1 and 0, each
constexpr uint64_t kSizeWithPack1000 = 1070332992ull;  // running total after category 2
constexpr uint64_t kSizePack1005 = 86448083ull;        // category 3

// User-facing texts of the flow.
extern const char* const kNotInstalledText;
extern const char* const kErrorCaption;
extern const char* const kNoSpaceText;
extern const char* const kSuccessText;
extern const char* const kSuccessCaption;

}  // namespace setup
