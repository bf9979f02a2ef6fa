#include "scan/file_types.h"

#include <utility>

#include "scan/registry_access.h"
#include "util/string_utils.h"

namespace {

const std::string kDefaultValue;  // the value whose name is empty

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

// Extensions that name the same key share one entry: the spelling met first
// is looked up, and every later spelling that the registry would match to
// the same key (letter case aside) is kept beside it.
const std::string& FileTypeDescriptions::Of(const char* path) {
  std::string extension = ExtensionOf(path ? path : "");
  auto found = byExtension_.find(extension);
  if (found != byExtension_.end()) return found->second;
  for (const auto& [spelling, description] : byExtension_) {
    if (!SameNameIgnoringCase(spelling, extension)) continue;
    std::string known = description;
    return byExtension_.emplace(std::move(extension), std::move(known)).first->second;
  }
  return byExtension_.emplace(std::move(extension), GetFileTypeDescription(path)).first->second;
}
