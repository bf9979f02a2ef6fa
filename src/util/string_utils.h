// Text helpers shared by the scans, the search engine and the entry actions.
// Texts are narrow strings in the process code page (UTF-8, or a legacy code
// page on Windows before 10 1903). Trims and escapes work on bytes, which is
// safe in both: no byte of a multibyte character is a blank or a quote there.
// Separators are found by character, since in a double-byte code page 0x5C
// can be a trail byte. Functions ending in Copy take their argument by value
// and return the changed copy; the others work in place.
#pragma once

#include <string>

// What every trim removes: blank, tab, CR, FF, LF. The vertical tab is kept.
inline constexpr char BlankChars[] = " \t\r\f\n";
// The thirteen characters a file name may not hold.
inline constexpr char InvalidNameChars[] = "\\/:*?\"<>|\t\r\f\n";

// Only A-Z change; every other byte, 0x80 and above included, stays as it is.
// For fixed ASCII words; names are compared with SameNameIgnoringCase.
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

// Whether two names are equal letter case aside, as Windows compares
// registry and file names (ordinal, case-insensitive, over UTF-16).
bool SameNameIgnoringCase(const std::string& a, const std::string& b);

// The offset of the last (first) character of `text` found in the ASCII
// `set`, or npos; a trail byte of a double-byte character never matches.
size_t FindLastCharOf(const std::string& text, const char* set);
size_t FindFirstCharOf(const std::string& text, const char* set);
// The offset of the character after the one at `at`, in the process code
// page or the one given.
size_t NextCharOffset(const std::string& text, size_t at, unsigned codePage = 0 /* CP_ACP */);
// Whether the last character of `text` is a backslash or a slash.
bool EndsWithSeparator(const std::string& text);
// The longest length up to `limit` bytes that ends on a whole character of
// the `length` bytes at `text`, for cutting a text to a buffer.
size_t WholeCharsLength(const char* text, size_t length, size_t limit);

// Path parts; backslash and slash both separate.
std::string FileNameOf(std::string path);   // after the last separator, trimmed
std::string FolderOf(std::string path);     // up to and with the last separator, trimmed
std::string ExtensionOf(std::string path);  // after the file name's last dot, trimmed
