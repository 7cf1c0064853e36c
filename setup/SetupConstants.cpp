// Kept free of windows.h: this file is also compiled natively into text_tests.
#include "setup/SetupConstants.h"

namespace setup {

const char* const kProductTitle = "Sorvane";
const char* const kSecondLookupName = "Sorvane（Dorvelo）";

const char* const kCategoryFolders[kCategoryCount] = {
    "data\\gamedata5",
    "data\\gamedata2",
    "data\\gamedata3",
    "data\\gamedata4",
};

const char* const kPatchPack1000 = "\\patch\\1000_tolvemark1116120116.pak";
const char* const kPatchPack1005 = "\\patch\\1005_tokubetsu116120116.pak";

const char* const kNotInstalledText = "Sorvane～Quellith～がインストールされていません。";
const char* const kErrorCaption = "エラー";
const char* const kNoSpaceText = "インストール先ハードディスクの容量が不足しています。";
const char* const kSuccessText = "セットアップは正常に終了しました。";
const char* const kSuccessCaption = "正常終了";

}  // namespace setup
