#include "actions/registration_file.h"

#include <cstdio>

#include "util/string_utils.h"
#include "util/text_encoding.h"

std::string QuotedRegText(const std::string& text, UINT codePage) {
  std::string quoted = "\"";
  for (size_t i = 0, next; i < text.size(); i = next) {
    const char c = text[i];
    // The importer reads the file as text of the code page before it looks
    // for escapes: a trail byte 0x5C is part of its character.
    next = NextCharOffset(text, i, codePage);
    if (next > i + 1) {
      quoted.append(text, i, next - i);
      continue;
    }
    switch (c) {
      case '\\':
        quoted += "\\\\";
        break;
      case '"':
        quoted += "\\\"";
        break;
      case '\r':
        quoted += "\\r";
        break;
      case '\n':
        quoted += "\\n";
        break;
      default:
        quoted += c;  // tab, VT, FF and ' included: \t and the like come back as letters
    }
  }
  return quoted + "\"";
}

std::string HexRegText(DWORD type, const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  // The importer reads the type in hexadecimal: hex(b) is a REG_QWORD.
  char start[24];
  std::snprintf(start, sizeof start, "hex(%lx):", static_cast<unsigned long>(type));
  std::string hex = start;
  hex.reserve(hex.size() + bytes.size() * 3 + 2);
  for (char c : bytes) {
    const unsigned char byte = static_cast<unsigned char>(c);
    hex += digits[byte >> 4];
    hex += digits[byte & 0x0F];
    hex += ',';
  }
  return hex + "00";
}

bool RegValueText(DWORD type, const std::string& data, std::string& text) {
  switch (type) {
    case REG_SZ:
      // A line break inside quotes is read back only by importers that know
      // \r and \n; the bytes themselves mean the same to every one.
      text = data.find_first_of("\r\n") == std::string::npos ? QuotedRegText(data)
                                                             : HexRegText(REG_SZ, data);
      return true;
    case REG_EXPAND_SZ:
      text = HexRegText(REG_EXPAND_SZ, data);
      return true;
    default:
      return false;
  }
}

std::string RegistrationFileText(const std::string& keyPath, const std::string& valueName,
                                 DWORD type, const std::string& data) {
  std::string value;
  if (!RegValueText(type, data, value)) return std::string();
  return "REGEDIT4\n\n[" + keyPath + "]\n" + QuotedRegText(valueName) + "=" + value + "\n\n";
}

std::string ProposedRegFileName(const std::string& valueName) {
  return TrimCopy(ReplaceChars(valueName.c_str(), ' ', InvalidNameChars)) + ".reg";
}

namespace {

bool IsPlainAscii(const std::string& text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

std::wstring QuotedWideText(const std::wstring& text) {
  std::wstring quoted = L"\"";
  for (wchar_t c : text) {
    switch (c) {
      case L'\\':
        quoted += L"\\\\";
        break;
      case L'"':
        quoted += L"\\\"";
        break;
      case L'\r':
        quoted += L"\\r";
        break;
      case L'\n':
        quoted += L"\\n";
        break;
      default:
        quoted += c;
    }
  }
  return quoted + L"\"";
}

// hex(1) or hex(2) of UTF-16LE bytes as they are to be stored; HexRegText
// adds one zero byte, so the bytes given lack their last one.
std::wstring WideHexText(DWORD type, const std::string& bytesButLast) {
  const std::string hex = HexRegText(type, bytesButLast);
  return std::wstring(hex.begin(), hex.end());
}

// Exactly the bytes, with no zero added after them.
std::wstring ExactHexText(DWORD type, const std::string& bytes) {
  std::string hex = HexRegText(type, bytes);
  hex.resize(hex.size() - (bytes.empty() ? 2 : 3));
  return std::wstring(hex.begin(), hex.end());
}

std::string Utf16Bytes(const std::wstring& text) {
  std::string bytes;
  bytes.reserve(text.size() * 2);
  for (wchar_t c : text) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>(c >> 8);
  }
  return bytes;
}

const wchar_t kUnicodeHeader[] = L"\xFEFFWindows Registry Editor Version 5.00\r\n\r\n[";

// The Unicode form: what regedit reads in no code page but its own.
std::string UnicodeRegistrationFile(const std::string& keyPath, const std::string& valueName,
                                    const std::wstring& value) {
  return Utf16Bytes(kUnicodeHeader + WideFromCodePage(keyPath) + L"]\r\n" +
                    QuotedWideText(WideFromCodePage(valueName)) + L"=" + value + L"\r\n\r\n");
}

}  // namespace

std::string RegistrationFileBytes(const std::string& keyPath, const std::string& valueName,
                                  DWORD type, const std::string& data) {
  if (type != REG_SZ && type != REG_EXPAND_SZ) return std::string();
  if (!IsPlainAscii(keyPath) || !IsPlainAscii(valueName) || !IsPlainAscii(data)) {
    const std::wstring wideData = WideFromCodePage(data);
    if (type == REG_SZ && wideData.find_first_of(L"\r\n") == std::wstring::npos)
      return UnicodeRegistrationFile(keyPath, valueName, QuotedWideText(wideData));
    // The terminating character is the zero byte HexRegText adds and this one.
    const std::string bytes(reinterpret_cast<const char*>(wideData.data()), wideData.size() * 2);
    return UnicodeRegistrationFile(keyPath, valueName, WideHexText(type, bytes + '\0'));
  }
  const std::string text = RegistrationFileText(keyPath, valueName, type, data);
  std::string bytes;
  bytes.reserve(text.size() + text.size() / 16);
  for (char c : text) {
    if (c == '\n') bytes += '\r';
    bytes += c;
  }
  return bytes;
}

std::string StoredRegistrationFileBytes(const std::string& keyPath, const std::string& valueName,
                                        DWORD type, const std::string& stored) {
  if (type != REG_SZ && type != REG_EXPAND_SZ) return std::string();
  std::wstring units(stored.size() / 2, L'\0');
  stored.copy(reinterpret_cast<char*>(&units[0]), units.size() * 2);
  // Text and one terminating zero, nothing else: then the text is the value.
  bool plain = stored.size() % 2 == 0 && !units.empty() && units.find(L'\0') == units.size() - 1;
  for (size_t i = 0; plain && i + 1 < units.size(); ++i) {
    const bool high = units[i] >= 0xD800 && units[i] <= 0xDBFF;
    const bool low = units[i] >= 0xDC00 && units[i] <= 0xDFFF;
    if (high && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF)
      ++i;  // a whole pair
    else if (high || low)
      plain = false;
  }
  std::string text;
  if (plain && NarrowFromWide(units.substr(0, units.size() - 1), text))
    return RegistrationFileBytes(keyPath, valueName, type, text);
  return UnicodeRegistrationFile(keyPath, valueName, ExactHexText(type, stored));
}

std::string KeyRegistrationFileBytes(const std::string& keyPath,
                                     const std::vector<StoredValue>& values) {
  std::wstring text = kUnicodeHeader + WideFromCodePage(keyPath) + L"]\r\n";
  for (const StoredValue& value : values) {
    text += QuotedWideText(value.name) + L"=";
    if (value.type == REG_DWORD && value.bytes.size() == 4) {
      wchar_t dword[16];
      const auto* b = reinterpret_cast<const unsigned char*>(value.bytes.data());
      swprintf(dword, 16, L"dword:%08lx",
               static_cast<unsigned long>(b[0] | b[1] << 8 | b[2] << 16 |
                                          static_cast<unsigned long>(b[3]) << 24));
      text += dword;
    } else {
      text += ExactHexText(value.type, value.bytes);
    }
    text += L"\r\n";
  }
  return Utf16Bytes(text + L"\r\n");
}
