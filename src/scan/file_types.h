// The description Windows has registered for a file's type, as the start-up
// folder rows show it.
#pragma once

#include <string>
#include <unordered_map>

// What every failed lookup gives.
inline constexpr char UnknownFileType[] = "Unknown File Type";

// Reads HKEY_CLASSES_ROOT only, never the file: the default value of the key
// ".ext" names a type, whose key's default value is the description. The
// extension is what follows the file name's last dot, letter case kept. Every
// failure, including an empty type name or description, gives UnknownFileType.
std::string GetFileTypeDescription(const char* path);

// The descriptions one scan needs, each extension looked up once: a start-up
// folder holds many files of few types. Kept only as long as the object, so
// the next scan sees what changed in the registry meanwhile.
class FileTypeDescriptions {
 public:
  // GetFileTypeDescription(path), from the first lookup of its extension.
  const std::string& Of(const char* path);

 private:
  std::unordered_map<std::string, std::string> byExtension_;
};
