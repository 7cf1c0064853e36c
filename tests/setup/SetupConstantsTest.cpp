// The texts are compiled to code page 932 from UTF-8 sources; these bytes are what the user's Windows
// shows, so a change of compiler charset or source encoding must not slip through.

#include "setup/SetupConstants.h"

#include <gtest/gtest.h>

#include "tests/support/Bytes.h"

using testing_support::HexBytes;

TEST(SetupConstants, TextsAreShiftJisBytes) {
  // Full-width parentheses: 81 69 and 81 6A.
  EXPECT_EQ(HexBytes(setup::kSecondLookupName), "53 6F 72 76 61 6E 65 81 69 44 6F 72 76 65 6C 6F 81 6A");
  // "正常終了"
  EXPECT_EQ(HexBytes(setup::kSuccessCaption), "90 B3 8F ED 8F 49 97 B9");
  // "Sorvane～Quellith～が…": the full-width tilde is 81 60.
  EXPECT_EQ(HexBytes(std::string(setup::kNotInstalledText).substr(7, 2)), "81 60");
  EXPECT_EQ(HexBytes(setup::kErrorCaption), "83 47 83 89 81 5B");
}
