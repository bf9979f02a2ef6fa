// The description Windows has registered for a file's type, as the start-up
// folder rows show it.
#pragma once

#include <string>

// What every failed lookup gives.
inline constexpr char UnknownFileType[] = "Unknown File Type";

// Reads HKEY_CLASSES_ROOT only, never the file: the default value of the key
// ".ext" names a type, whose key's default value is the description. The
// extension is what follows the file name's last dot, letter case kept. Every
// failure, including an empty type name or description, gives UnknownFileType.
std::string GetFileTypeDescription(const char* path);
