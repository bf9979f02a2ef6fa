#include "editor/line_file.h"

#include "util/file_utils.h"

namespace {

constexpr char kEndOfText = 26;  // Ctrl+Z

}  // namespace

std::vector<std::string> SplitLines(const std::string& bytes) {
  const std::string text = bytes.substr(0, bytes.find(kEndOfText));
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    const bool terminated = end != std::string::npos;
    if (!terminated) end = text.size();
    size_t length = end - start;
    if (terminated && length > 0 && text[end - 1] == '\r') --length;
    std::string line = text.substr(start, length);
    const size_t zero = line.find('\0');
    if (zero != std::string::npos) line.resize(zero);
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string bytes;
  for (const std::string& line : lines) {
    bytes += line;
    bytes += "\r\n";
  }
  return bytes;
}

bool IsLineText(const std::string& bytes) {
  const std::string start = bytes.substr(0, 2);
  return start != "\xFF\xFE" && start != "\xFE\xFF" && bytes.find('\0') == std::string::npos &&
         bytes.find(kEndOfText) == std::string::npos;
}

bool ReadLineFile(const std::string& path, std::vector<std::string>& lines) {
  lines.clear();
  // Raw bytes: the line rules above are ours, not the runtime's text mode.
  std::string bytes;
  if (!ReadWholeFile(path, bytes) || !IsLineText(bytes)) return false;
  lines = SplitLines(bytes);
  return true;
}

bool WriteLineFile(const std::string& path, const std::vector<std::string>& lines) {
  return WriteFileWhole(path.c_str(), JoinLines(lines));
}

UINT LegacyCodePage() {
  DWORD codePage = 0;
  if (GetLocaleInfoA(LOCALE_SYSTEM_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                     reinterpret_cast<LPSTR>(&codePage), sizeof codePage) == 0 ||
      codePage == 0)
    return GetACP();  // a locale without an ANSI code page of its own
  return codePage;
}

namespace {

std::wstring Widened(const std::string& text, UINT codePage, bool& exact) {
  const int size = static_cast<int>(text.size());
  DWORD flags = MB_ERR_INVALID_CHARS;
  int length = MultiByteToWideChar(codePage, flags, text.data(), size, nullptr, 0);
  if (length == 0) {
    exact = false;
    flags = 0;
    length = MultiByteToWideChar(codePage, flags, text.data(), size, nullptr, 0);
  }
  std::wstring wide(length, L'\0');
  MultiByteToWideChar(codePage, flags, text.data(), size, wide.data(), length);
  return wide;
}

std::string Narrowed(const std::wstring& wide, UINT codePage, bool& exact) {
  // UTF-8 carries everything and takes neither the flag nor the question.
  const bool utf8 = codePage == CP_UTF8;
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  BOOL usedDefault = FALSE;
  BOOL* askUsedDefault = utf8 ? nullptr : &usedDefault;
  const int size = static_cast<int>(wide.size());
  const int length =
      WideCharToMultiByte(codePage, flags, wide.data(), size, nullptr, 0, nullptr, askUsedDefault);
  std::string narrow(length, '\0');
  WideCharToMultiByte(codePage, flags, wide.data(), size, narrow.data(), length, nullptr,
                      askUsedDefault);
  if (length == 0 || usedDefault) exact = false;
  return narrow;
}

}  // namespace

bool ConvertText(const std::string& text, UINT from, UINT to, std::string& converted) {
  converted.clear();
  if (text.empty()) return true;
  if (from == CP_ACP) from = GetACP();
  if (to == CP_ACP) to = GetACP();
  bool exact = true;
  converted = Narrowed(Widened(text, from, exact), to, exact);
  return exact;
}

FileSystemRedirectionOff::FileSystemRedirectionOff()
    : off_(Wow64DisableWow64FsRedirection(&previous_) != FALSE) {}

FileSystemRedirectionOff::~FileSystemRedirectionOff() {
  if (off_) Wow64RevertWow64FsRedirection(previous_);
}
