#include "foundation/AnsiText.h"

#include <climits>
#include <cwchar>
#include <vector>

namespace {

// The wide forms answer in characters and accept at most 32767 of them.
constexpr DWORD kLongestWideText = 32767;

}  // namespace

bool AnsiToWide(const std::string& text, std::wstring& outText) {
  if (text.empty()) {
    outText.clear();
    return true;
  }
  if (text.size() > static_cast<size_t>(INT_MAX)) return false;
  const int bytes = static_cast<int>(text.size());
  const int needed = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), bytes, nullptr, 0);
  if (needed <= 0) return false;
  std::wstring wide(static_cast<size_t>(needed), L'\0');
  if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), bytes, &wide[0], needed) != needed) return false;
  outText.swap(wide);
  return true;
}

bool WideToAnsi(const std::wstring& text, std::string& outText) {
  if (text.empty()) {
    outText.clear();
    return true;
  }
  if (text.size() > static_cast<size_t>(INT_MAX)) return false;
  const int characters = static_cast<int>(text.size());
  BOOL substituted = FALSE;
  const int needed =
      WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), characters, nullptr, 0, nullptr, &substituted);
  if (needed <= 0 || substituted) return false;
  std::string ansi(static_cast<size_t>(needed), '\0');
  if (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), characters, &ansi[0], needed, nullptr,
                          &substituted) != needed ||
      substituted) {
    return false;
  }
  outText.swap(ansi);
  return true;
}

bool ExpandEnvironmentText(const std::string& text, std::string& outText) {
  // Nothing to expand: no round trip through UTF-16, which would change bytes that several code-page
  // forms share one character for.
  if (text.find('%') == std::string::npos) {
    outText = text;
    return true;
  }
  std::wstring wide;
  if (!AnsiToWide(text, wide)) return false;
  // The answer counts the characters with the terminating NUL; the environment may change between two
  // calls, so the buffer grows a few times at most.
  std::vector<wchar_t> buffer(wide.size() + 1 + MAX_PATH);
  for (int attempt = 0; attempt < 4; ++attempt) {
    const DWORD capacity = static_cast<DWORD>(buffer.size());
    const DWORD answer = ExpandEnvironmentStringsW(wide.c_str(), buffer.data(), capacity);
    if (answer == 0 || answer > kLongestWideText) return false;
    if (answer <= capacity) {
      const size_t length = wcsnlen(buffer.data(), capacity);
      if (length == capacity) return false;
      return WideToAnsi(std::wstring(buffer.data(), length), outText);
    }
    buffer.assign(answer, L'\0');
  }
  return false;
}

bool GetModuleFileNameText(HMODULE module, std::string& outName) {
  // A name that fills the buffer may have been cut: the buffer doubles until the name leaves room.
  std::vector<wchar_t> buffer(MAX_PATH + 1);
  for (;;) {
    const DWORD capacity = static_cast<DWORD>(buffer.size());
    const DWORD length = GetModuleFileNameW(module, buffer.data(), capacity);
    if (length == 0) return false;
    if (length < capacity - 1) return WideToAnsi(std::wstring(buffer.data(), length), outName);
    if (capacity > kLongestWideText) return false;
    buffer.assign(static_cast<size_t>(capacity) * 2, L'\0');
  }
}
