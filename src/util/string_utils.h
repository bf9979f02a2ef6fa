// Byte-wise text helpers shared by the scans, the search engine and the entry
// actions. Texts are narrow strings in the system code page; a multi-byte
// character is handled as separate bytes. Functions ending in Copy take their
// argument by value and return the changed copy; the others work in place.
#pragma once

#include <string>

// What every trim removes: blank, tab, CR, FF, LF. The vertical tab is kept.
inline constexpr char BlankChars[] = " \t\r\f\n";
// The thirteen characters a file name may not hold.
inline constexpr char InvalidNameChars[] = "\\/:*?\"<>|\t\r\f\n";

// Only A-Z change; every other byte, 0x80 and above included, stays as it is.
void ToLower(std::string& text);
std::string LowerCopy(std::string text);

void Trim(std::string& text);
void TrimLeft(std::string& text);
void TrimRight(std::string& text);
std::string TrimCopy(std::string text);

// Backslash escapes for FF, CR, LF, tab, VT, backslash and both quotes; any other
// byte stands for itself.
std::string EscapeCharacter(char c);
void EscapeString(std::string& text);
std::string EscapedCopy(std::string text);

// `text` with every byte found in `set` replaced by `replacement`; same length.
// A null text gives an empty string, a null set replaces nothing.
std::string ReplaceChars(const char* text, char replacement, const char* set);

// Path parts; backslash and slash both separate.
std::string FileNameOf(std::string path);   // after the last separator, trimmed
std::string FolderOf(std::string path);     // up to and with the last separator, trimmed
std::string ExtensionOf(std::string path);  // after the file name's last dot, trimmed
