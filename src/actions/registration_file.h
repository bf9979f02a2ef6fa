// A registration file holding one registry value, written so that the
// system's registry editor imports the same type and bytes again.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "util/file_utils.h"

// A value name or string data between double quotes. The importer reads \\,
// \", \r and \n back as escapes and takes every other byte as it is, so only
// those four characters are escaped. Trail bytes of double-byte characters
// in `codePage` are never taken for a backslash or a quote.
std::string QuotedRegText(const std::string& text, UINT codePage = CP_ACP);

// "hex(type):", the type in hexadecimal, and every byte as two lower-case
// digits and a comma, then "00" for the terminating zero. On one line.
std::string HexRegText(DWORD type, const std::string& bytes);

// What follows the equals sign for string data of `type`: REG_SZ quoted, or as
// hex(1) when it holds a CR or LF; REG_EXPAND_SZ as hex(2). False for any
// other type, which is not exported.
bool RegValueText(DWORD type, const std::string& data, std::string& text);

// The whole file with "\n" line ends, the final empty line included; written
// through a text-mode stream every line ends in CR LF. The key path is written
// as it is. Empty when `type` is not exported.
std::string RegistrationFileText(const std::string& keyPath, const std::string& valueName,
                                 DWORD type, const std::string& data);

// The name the save dialog proposes for the backup of a value: characters not
// allowed in file names become blanks, the ends are trimmed, ".reg" follows.
std::string ProposedRegFileName(const std::string& valueName);

// The bytes of the backup file. All ASCII: RegistrationFileText with CR LF
// line ends. Otherwise regedit would read a REGEDIT4 file in its own code
// page, not ours: "Windows Registry Editor Version 5.00" in UTF-16LE with a
// byte-order mark and CR LF, the hex(1) and hex(2) data as UTF-16LE bytes.
// Empty when `type` is not exported.
std::string RegistrationFileBytes(const std::string& keyPath, const std::string& valueName,
                                  DWORD type, const std::string& data);

// The same from the bytes the registry holds (`stored`, UTF-16LE). Data that
// a quoted string or a hex of its text would not give back byte for byte (a
// zero before its end, no terminating zero, a lone surrogate, a character the
// code page cannot carry) is written as hex(1) or hex(2) of exactly those
// bytes, in the Unicode form.
std::string StoredRegistrationFileBytes(const std::string& keyPath, const std::string& valueName,
                                        DWORD type, const std::string& stored);

// One value as the registry holds it: its exact name, its type and its bytes.
struct StoredValue {
  std::wstring name;
  DWORD type = REG_NONE;
  std::string bytes;
};

// A registration file of one key and all of `values`, in the Unicode form: a
// REG_DWORD of four bytes as dword:, any other value as hex(type): of exactly
// its bytes, so that every type comes back as it was. With no values, the key
// alone.
std::string KeyRegistrationFileBytes(const std::string& keyPath,
                                     const std::vector<StoredValue>& values);
