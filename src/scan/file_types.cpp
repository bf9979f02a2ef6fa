#include "scan/file_types.h"

#include "scan/registry_access.h"
#include "util/string_utils.h"

namespace {

const std::string kDefaultValue;  // the value whose name is empty

}  // namespace

// Two reads per call and nothing cached: the registry may change between
// refreshes, and a description must never outlive its key.
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
