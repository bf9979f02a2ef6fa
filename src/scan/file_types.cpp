#include "scan/file_types.h"

#include <utility>

#include "scan/registry_access.h"
#include "util/string_utils.h"

namespace {

const std::string kDefaultValue;  // the value whose name is empty

// Extensions that name the same key share one entry. The registry matches key
// names regardless of case; only ASCII letters are folded here, and only in an
// all-ASCII extension, where no byte can be part of a multibyte character.
// Other extensions are kept apart by their exact bytes: at worst one type is
// looked up twice.
std::string ExtensionKey(std::string extension) {
  for (char c : extension)
    if (static_cast<unsigned char>(c) >= 0x80) return extension;
  ToLower(extension);
  return extension;
}

}  // namespace

// Two reads per call and nothing cached here: the registry may change
// between refreshes (FileTypeDescriptions keeps descriptions for one scan).
std::string GetFileTypeDescription(const char* path) {
  std::string extension = ExtensionOf(path ? path : "");
  if (extension.empty()) return UnknownFileType;
  extension.insert(extension.begin(), '.');

  // An empty type name would name HKEY_CLASSES_ROOT itself, so it is refused
  // rather than read.
  std::string typeName;
  if (ReadStringValue(HKEY_CLASSES_ROOT, extension, kDefaultValue, typeName) != ERROR_SUCCESS ||
      typeName.empty())
    return UnknownFileType;

  std::string description;
  if (ReadStringValue(HKEY_CLASSES_ROOT, typeName, kDefaultValue, description) != ERROR_SUCCESS ||
      description.empty())
    return UnknownFileType;
  return description;
}

const std::string& FileTypeDescriptions::Of(const char* path) {
  std::string key = ExtensionKey(ExtensionOf(path ? path : ""));
  auto found = byExtension_.find(key);
  if (found == byExtension_.end())
    found = byExtension_.emplace(std::move(key), GetFileTypeDescription(path)).first;
  return found->second;
}
