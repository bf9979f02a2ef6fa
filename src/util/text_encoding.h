// Conversions between the program's narrow texts (the system code page) and
// UTF-8 or UTF-16, for what leaves the program as Unicode text.
#pragma once

#include <windows.h>

#include <string>

// `text` in `codePage` as UTF-8; bytes the code page does not map become the
// replacement character rather than being dropped.
std::string Utf8FromCodePage(const std::string& text, UINT codePage = CP_ACP);

std::wstring WideFromCodePage(const std::string& text, UINT codePage = CP_ACP);
std::string Utf8FromWide(const std::wstring& wide);
std::wstring WideFromUtf8(const std::string& text);

// `wide` in the process code page, and whether that text is exactly `wide`:
// false when a character has no form there (it becomes the code page's
// default character, never a look-alike), so the narrow text names
// something else or nothing.
bool NarrowFromWide(const std::wstring& wide, std::string& narrow);

// `wide` as a row shows it, in the process code page: a NUL becomes U+FFFD
// (or the code page's default character), as does any character that code
// page cannot carry. True when that text converts back to exactly `wide`.
bool ShownTextFromWide(const std::wstring& wide, std::string& shown);
