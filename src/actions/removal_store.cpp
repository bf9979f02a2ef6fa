#include "actions/removal_store.h"

#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>

#include "util/file_utils.h"

namespace {

const char kFirstLine[] = "Lumivane removal 1";
const char kExtension[] = ".removed";

// Texts are kept as hexadecimal bytes: any byte, line breaks included,
// comes back as it was.
const struct {
  const char* key;
  std::string RemovalRecord::*field;
} kTextFields[] = {
    {"Type", &RemovalRecord::type},
    {"Name", &RemovalRecord::name},
    {"Location", &RemovalRecord::location},
    {"Bytes", &RemovalRecord::bytes},
    {"SwitchKey", &RemovalRecord::switchKey},
    {"SwitchName", &RemovalRecord::switchName},
    {"SwitchBytes", &RemovalRecord::switchBytes},
};
const struct {
  const char* key;
  DWORD RemovalRecord::*field;
} kNumberFields[] = {
    {"View", &RemovalRecord::view},
    {"ValueType", &RemovalRecord::valueType},
    {"Attributes", &RemovalRecord::attributes},
    {"SwitchType", &RemovalRecord::switchType},
};
const struct {
  const char* key;
  uint64_t RemovalRecord::*field;
} kTimeFields[] = {
    {"RemovedAt", &RemovalRecord::removedAt},
    {"Created", &RemovalRecord::created},
    {"Accessed", &RemovalRecord::accessed},
    {"Written", &RemovalRecord::written},
};

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char c : bytes) {
    hex += digits[c >> 4];
    hex += digits[c & 15];
  }
  return hex;
}

bool FromHex(const std::string& hex, std::string& bytes) {
  if (hex.size() % 2) return false;
  bytes.clear();
  for (size_t i = 0; i < hex.size(); i += 2) {
    char* end = nullptr;
    const std::string pair = hex.substr(i, 2);
    const unsigned long byte = std::strtoul(pair.c_str(), &end, 16);
    if (*end) return false;
    bytes += static_cast<char>(byte);
  }
  return true;
}

bool FromDecimal(const std::string& text, uint64_t& number) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
  number = std::strtoull(text.c_str(), nullptr, 10);
  return true;
}

uint64_t Now() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

// Creates the folder and those above it that are missing; whether it is
// there now is what counts (a drive or a share cannot be created).
bool MakeFolders(const std::string& folder) {
  if (folder.empty()) return false;
  for (size_t at = folder.find('\\'); at != std::string::npos; at = folder.find('\\', at + 1))
    CreateDirectoryA(folder.substr(0, at).c_str(), nullptr);
  CreateDirectoryA(folder.c_str(), nullptr);
  const DWORD attributes = GetFileAttributesA(folder.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Sets the field named `key`; false for an unknown key or a value that
// does not read.
bool SetField(RemovalRecord& record, const std::string& key, const std::string& value) {
  for (const auto& f : kTimeFields)
    if (key == f.key) return FromDecimal(value, record.*f.field);
  for (const auto& f : kNumberFields) {
    uint64_t number = 0;
    if (key != f.key) continue;
    if (!FromDecimal(value, number) || number > MAXDWORD) return false;
    record.*f.field = static_cast<DWORD>(number);
    return true;
  }
  for (const auto& f : kTextFields)
    if (key == f.key) return FromHex(value, record.*f.field);
  return false;
}

}  // namespace

std::string RemovalRecordText(const RemovalRecord& record) {
  std::string text = std::string(kFirstLine) + "\r\n";
  for (const auto& f : kTimeFields)
    text += std::string(f.key) + " " + std::to_string(record.*f.field) + "\r\n";
  for (const auto& f : kNumberFields)
    text += std::string(f.key) + " " + std::to_string(record.*f.field) + "\r\n";
  for (const auto& f : kTextFields)
    text += std::string(f.key) + " " + Hex(record.*f.field) + "\r\n";
  return text;
}

bool ParseRemovalRecord(const std::string& text, RemovalRecord& record) {
  if (text.compare(0, sizeof kFirstLine - 1, kFirstLine) != 0) return false;
  size_t fields = 0;
  for (size_t at = text.find('\n'); at != std::string::npos && at + 1 < text.size(); ++fields) {
    const size_t end = text.find("\r\n", at + 1);
    if (end == std::string::npos) return false;
    const std::string line = text.substr(at + 1, end - at - 1);
    at = end + 1;
    const size_t blank = line.find(' ');
    if (blank == std::string::npos ||
        !SetField(record, line.substr(0, blank), line.substr(blank + 1)))
      return false;
  }
  // Every field, or the record was cut short.
  return fields == std::size(kTimeFields) + std::size(kNumberFields) + std::size(kTextFields);
}

std::string RemovalStore::DefaultFolder() {
  char buffer[MAX_PATH] = {};
  const DWORD length = GetEnvironmentVariableA("LOCALAPPDATA", buffer, MAX_PATH);
  std::string local = length > 0 && length < MAX_PATH ? buffer : "";
  if (local.empty() &&
      SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buffer) == S_OK)
    local = buffer;
  // Without one, nothing can be kept, and so nothing is removed.
  return local.empty() ? "" : local + "\\Ombrelle Studios\\Lumivane\\Removed";
}

std::vector<std::string> RemovalStore::Ids() const {
  std::vector<std::string> ids;
  WIN32_FIND_DATAA entry;
  HANDLE listing = FindFirstFileA(PathOf(std::string("*") + kExtension).c_str(), &entry);
  if (listing == INVALID_HANDLE_VALUE) return ids;
  do {
    if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ids.push_back(entry.cFileName);
  } while (FindNextFileA(listing, &entry));
  FindClose(listing);
  // Named by their time in fixed-width hexadecimal: the name's order is the time's.
  std::sort(ids.begin(), ids.end());
  return ids;
}

bool RemovalStore::Keep(RemovalRecord& record) {
  if (!MakeFolders(folder_)) return false;
  record.removedAt = Now();
  // Two removals within one tick still get a name each.
  for (uint64_t stamp = record.removedAt;; ++stamp) {
    char id[32];
    std::snprintf(id, sizeof id, "%016llx%s", static_cast<unsigned long long>(stamp), kExtension);
    if (GetFileAttributesA(PathOf(id).c_str()) != INVALID_FILE_ATTRIBUTES) continue;
    record.id = id;
    break;
  }
  if (!WriteFileWhole(PathOf(record.id).c_str(), RemovalRecordText(record))) return false;
  const std::vector<std::string> ids = Ids();
  for (size_t i = 0; i + kKept < ids.size(); ++i) Drop(ids[i]);
  return true;
}

bool RemovalStore::Load(const std::string& id, RemovalRecord& record) const {
  std::string text;
  record = RemovalRecord();
  if (!ReadWholeFile(PathOf(id), text) || !ParseRemovalRecord(text, record)) return false;
  record.id = id;
  return true;
}

std::vector<RemovalRecord> RemovalStore::List() const {
  std::vector<RemovalRecord> records;
  const std::vector<std::string> ids = Ids();
  for (auto id = ids.rbegin(); id != ids.rend(); ++id) {
    RemovalRecord record;
    if (Load(*id, record)) records.push_back(std::move(record));
  }
  return records;
}

bool RemovalStore::Drop(const std::string& id) {
  return DeleteFileA(PathOf(id).c_str()) != 0;
}
