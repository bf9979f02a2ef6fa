// The line editor's text format, apart from any window: a file is a list of
// lines, read the way a text-mode stream of the system's runtime reads it and
// written back with CR LF after every line.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Splits the bytes of a file into lines. A line ends at LF; a CR right before
// that LF is dropped, any other CR stays. A Ctrl+Z (byte 26) ends the text. A
// last line without LF counts only if it is not empty. A line's text stops at
// its first zero byte, as the list shows it.
std::vector<std::string> SplitLines(const std::string& bytes);

// Every line, the last one included, followed by CR LF.
std::string JoinLines(const std::vector<std::string>& lines);

// False for bytes that are no text of lines in a single- or double-byte code
// page: UTF-16 (a byte-order mark FF FE or FE FF first), or anything holding a
// zero byte or a Ctrl+Z, which SplitLines stops at. Shown as lines and saved
// back, such a file would be destroyed.
bool IsLineText(const std::string& bytes);

// False (and no lines) when the file cannot be opened for reading, a read
// fails part-way (a short list saved back would cut the file), or the bytes
// are not line text.
bool ReadLineFile(const std::string& path, std::vector<std::string>& lines);

// Replaces or creates the file with the lines, whole or not at all (see
// WriteFileWhole). False when it was not written; the file is then as it was.
bool WriteLineFile(const std::string& path, const std::vector<std::string>& lines);

// The code page the system's boot and configuration files are written in: the
// system locale's ANSI code page, which need not be the process's own (UTF-8
// where the manifest asks for it).
UINT LegacyCodePage();

// Converts `text` from code page `from` to code page `to` (CP_ACP: the
// process's own). `converted` always receives the conversion; the result says
// whether it is exact: false when `text` is not valid in `from`, or holds a
// character that `to` cannot carry (no best-fit look-alike, no "?").
bool ConvertText(const std::string& text, UINT from, UINT to, std::string& converted);

// Turns the file-system redirection of a 32-bit program on 64-bit Windows off
// for the calling thread while it lives, so that System32 is the real system
// folder and not SysWOW64. Elsewhere it does nothing.
class FileSystemRedirectionOff {
 public:
  FileSystemRedirectionOff();
  ~FileSystemRedirectionOff();
  FileSystemRedirectionOff(const FileSystemRedirectionOff&) = delete;
  FileSystemRedirectionOff& operator=(const FileSystemRedirectionOff&) = delete;

 private:
  PVOID previous_ = nullptr;
  bool off_ = false;
};
