#include "util/text_encoding.h"

std::wstring WideFromCodePage(const std::string& text, UINT codePage) {
  if (text.empty()) return std::wstring();
  const int length = static_cast<int>(text.size());
  const int units = MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
  std::wstring wide(static_cast<size_t>(units), L'\0');
  if (units > 0) MultiByteToWideChar(codePage, 0, text.data(), length, &wide[0], units);
  return wide;
}

std::string Utf8FromCodePage(const std::string& text, UINT codePage) {
  return Utf8FromWide(WideFromCodePage(text, codePage));
}

std::string Utf8FromWide(const std::wstring& wide) {
  if (wide.empty()) return std::string();
  const int units = static_cast<int>(wide.size());
  const int bytes =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(bytes), '\0');
  if (bytes > 0)
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, &utf8[0], bytes, nullptr, nullptr);
  return utf8;
}

std::wstring WideFromUtf8(const std::string& text) {
  return WideFromCodePage(text, CP_UTF8);
}

// UTF-8 takes no best-fit flag and maps every character but a lone
// surrogate, which the round trip below catches.
bool NarrowFromWide(const std::wstring& wide, std::string& narrow) {
  narrow.clear();
  if (wide.empty()) return true;
  const bool utf8 = GetACP() == CP_UTF8;
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const int units = static_cast<int>(wide.size());
  BOOL defaulted = FALSE;
  BOOL* usedDefault = utf8 ? nullptr : &defaulted;
  const int bytes =
      WideCharToMultiByte(CP_ACP, flags, wide.data(), units, nullptr, 0, nullptr, usedDefault);
  if (bytes <= 0) return false;
  narrow.resize(static_cast<size_t>(bytes));
  WideCharToMultiByte(CP_ACP, flags, wide.data(), units, &narrow[0], bytes, nullptr, usedDefault);
  return !defaulted && WideFromCodePage(narrow) == wide;
}

bool ShownTextFromWide(const std::wstring& wide, std::string& shown) {
  std::wstring showable = wide;
  const bool hasNul = showable.find(L'\0') != std::wstring::npos;
  for (wchar_t& unit : showable)
    if (unit == L'\0') unit = 0xFFFD;
  return NarrowFromWide(showable, shown) && !hasNul;
}
