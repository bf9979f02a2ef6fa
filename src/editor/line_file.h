// The line editor's text format, apart from any window: a file is a list of
// lines, read the way a text-mode stream of the system's runtime reads it and
// written back with CR LF after every line.
#pragma once

#include <string>
#include <vector>

// Splits the bytes of a file into lines. A line ends at LF; a CR right before
// that LF is dropped, any other CR stays. A Ctrl+Z (byte 26) ends the text. A
// last line without LF counts only if it is not empty. A line's text stops at
// its first zero byte, as the list shows it.
std::vector<std::string> SplitLines(const std::string& bytes);

// Every line, the last one included, followed by CR LF.
std::string JoinLines(const std::vector<std::string>& lines);

// False (and no lines) when the file cannot be opened for reading or a read
// fails part-way: a short list saved back would cut the file.
bool ReadLineFile(const std::string& path, std::vector<std::string>& lines);

// Replaces or creates the file with the lines, whole or not at all (see
// WriteFileWhole). False when it was not written; the file is then as it was.
bool WriteLineFile(const std::string& path, const std::vector<std::string>& lines);
