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

bool ReadLineFile(const std::string& path, std::vector<std::string>& lines) {
  lines.clear();
  // Raw bytes: the line rules above are ours, not the runtime's text mode.
  std::string bytes;
  if (!ReadWholeFile(path, bytes)) return false;
  lines = SplitLines(bytes);
  return true;
}

bool WriteLineFile(const std::string& path, const std::vector<std::string>& lines) {
  return WriteFileWhole(path.c_str(), JoinLines(lines));
}
