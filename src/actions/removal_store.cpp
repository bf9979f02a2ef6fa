#include "actions/removal_store.h"

#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>

#include "util/file_utils.h"
#include "util/text_encoding.h"

namespace {

// The first line names the format: the first kept no exact name and read
// values through the code page, the second kept no descriptor.
const char kFirstLine[] = "Lumivane removal 3";
const char kFirstLinePrefix[] = "Lumivane removal ";
constexpr int kFormat = 3;
const char kExtension[] = ".removed";
constexpr size_t kRecordSizeMax = 4u << 20;  // a kept shortcut is at most 1 MiB, twice in hex

// Only administrators and the system may change the store or its records.
const wchar_t kGuardedFolder[] = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
const wchar_t kGuardedFile[] = L"O:BAD:P(A;;FA;;;SY)(A;;FA;;;BA)";

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

const char kValueNameKey[] = "ValueName";
const char kDescriptorKey[] = "Descriptor";

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

// Sets the field named `key`; false for an unknown key, one the record's
// format does not have, or a value that does not read.
bool SetField(RemovalRecord& record, int format, const std::string& key,
              const std::string& value) {
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
  if (key == kDescriptorKey) return format >= 3 && FromHex(value, record.descriptor);
  std::string units;
  if (format < 2 || key != kValueNameKey || !FromHex(value, units) || units.size() % 2) return false;
  record.valueName.assign(units.size() / 2, L'\0');
  for (size_t i = 0; i < record.valueName.size(); ++i)
    record.valueName[i] = static_cast<wchar_t>(static_cast<unsigned char>(units[2 * i]) |
                                               static_cast<unsigned char>(units[2 * i + 1]) << 8);
  return true;
}

// A record of the first format as today's: the exact name and the string
// data in UTF-16, converted from the code page they were read in.
void UpgradeFirstFormat(RemovalRecord& record) {
  record.valueName = WideFromCodePage(record.name);
  if (record.valueType != REG_SZ && record.valueType != REG_EXPAND_SZ) return;
  std::wstring wide;
  const int size = static_cast<int>(record.bytes.size());
  const int length = MultiByteToWideChar(CP_ACP, 0, record.bytes.data(), size, nullptr, 0);
  wide.resize(length);
  MultiByteToWideChar(CP_ACP, 0, record.bytes.data(), size, &wide[0], length);
  record.bytes.assign(reinterpret_cast<const char*>(wide.data()), wide.size() * 2);
}

// The SID of the user the process runs for, as text; empty when unknown.
std::string UserSidText() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return std::string();
  std::vector<char> buffer(256);
  DWORD size = 0;
  std::string text;
  if (GetTokenInformation(token, TokenUser, buffer.data(), static_cast<DWORD>(buffer.size()),
                          &size)) {
    char* sid = nullptr;
    if (ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &sid)) {
      text = sid;
      LocalFree(sid);
    }
  }
  CloseHandle(token);
  return text;
}

bool IsAdministratorsOrSystem(PSID sid) {
  return sid && IsValidSid(sid) &&
         (IsWellKnownSid(sid, WinBuiltinAdministratorsSid) || IsWellKnownSid(sid, WinLocalSystemSid));
}

// A descriptor made from SDDL, freed with the object.
class Descriptor {
 public:
  explicit Descriptor(const wchar_t* sddl) {
    ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor_,
                                                         nullptr);
    attributes_.lpSecurityDescriptor = descriptor_;
  }
  ~Descriptor() { LocalFree(descriptor_); }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  SECURITY_ATTRIBUTES* attributes() { return descriptor_ ? &attributes_ : nullptr; }

 private:
  PSECURITY_DESCRIPTOR descriptor_ = nullptr;
  SECURITY_ATTRIBUTES attributes_ = {sizeof attributes_, nullptr, FALSE};
};

// Opens a level of the store or a record itself, never what a reparse point
// leads to; INVALID_HANDLE_VALUE when it cannot be opened.
HANDLE OpenUnfollowed(const std::string& path, DWORD access, bool folder) {
  return CreateFileW(WideFromCodePage(path).c_str(), access,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                     OPEN_EXISTING,
                     FILE_FLAG_OPEN_REPARSE_POINT | (folder ? FILE_FLAG_BACKUP_SEMANTICS : 0),
                     nullptr);
}

// A real folder, or a file of one link, that only administrators can change.
bool IsGuarded(HANDLE object, bool folder) {
  BY_HANDLE_FILE_INFORMATION info;
  if (object == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(object, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
      !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != !folder ||
      (!folder && info.nNumberOfLinks != 1))
    return false;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(object, SE_FILE_OBJECT,
                      OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr, nullptr,
                      nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
    return false;
  const bool guarded = IsAdministratorsOnly(descriptor);
  LocalFree(descriptor);
  return guarded;
}

// The whole content from a handle; false when longer than any record.
bool ReadAll(HANDLE file, std::string& bytes) {
  bytes.clear();
  char buffer[64 * 1024];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    bytes.append(buffer, got);
    if (bytes.size() > kRecordSizeMax) return false;
  }
  return got == 0;
}

bool IsRecordId(const std::string& id) {
  return id.size() == 16 + sizeof kExtension - 1 &&
         id.find_first_not_of("0123456789abcdef") == 16 && id.compare(16, std::string::npos, kExtension) == 0;
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
  std::string units;
  for (wchar_t unit : record.valueName) {
    units += static_cast<char>(unit & 0xFF);
    units += static_cast<char>(unit >> 8);
  }
  text += std::string(kValueNameKey) + " " + Hex(units) + "\r\n";
  return text + kDescriptorKey + " " + Hex(record.descriptor) + "\r\n";
}

bool ParseRemovalRecord(const std::string& text, RemovalRecord& record) {
  constexpr size_t kPrefix = sizeof kFirstLinePrefix - 1;
  if (text.compare(0, kPrefix, kFirstLinePrefix) != 0 || text.size() <= kPrefix ||
      text[kPrefix] < '1' || text[kPrefix] > '0' + kFormat)
    return false;
  const int format = text[kPrefix] - '0';
  if (text.find('\n') != sizeof kFirstLine) return false;
  size_t fields = 0;
  for (size_t at = text.find('\n'); at != std::string::npos && at + 1 < text.size(); ++fields) {
    const size_t end = text.find("\r\n", at + 1);
    if (end == std::string::npos) return false;
    const std::string line = text.substr(at + 1, end - at - 1);
    at = end + 1;
    const size_t blank = line.find(' ');
    if (blank == std::string::npos ||
        !SetField(record, format, line.substr(0, blank), line.substr(blank + 1)))
      return false;
  }
  // Every field, or the record was cut short.
  if (fields != std::size(kTimeFields) + std::size(kNumberFields) + std::size(kTextFields) +
                    (format - 1))
    return false;
  if (format == 1) UpgradeFirstFormat(record);
  return true;
}

bool ProcessIsElevated() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  TOKEN_ELEVATION elevation = {};
  DWORD size = 0;
  const bool elevated = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation,
                                            &size) &&
                        elevation.TokenIsElevated;
  CloseHandle(token);
  return elevated;
}

bool IsAdministratorsOnly(PSECURITY_DESCRIPTOR descriptor) {
  PSID owner = nullptr;
  BOOL defaulted = FALSE, present = FALSE;
  PACL dacl = nullptr;
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  if (!descriptor || !GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) ||
      !IsAdministratorsOrSystem(owner) ||
      !GetSecurityDescriptorControl(descriptor, &control, &revision) ||
      !(control & SE_DACL_PROTECTED) ||
      !GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present || !dacl)
    return false;  // no DACL lets everyone in
  constexpr DWORD kChanges = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_DELETE_CHILD | WRITE_DAC |
                             WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL | MAXIMUM_ALLOWED;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(dacl, i, &ace)) return false;
    const auto* header = static_cast<const ACE_HEADER*>(ace);
    if (header->AceType == ACCESS_DENIED_ACE_TYPE) continue;  // a denial grants nothing
    // Any other kind may allow: only the plain one names its SID where we read it.
    const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
    if (!(allowed->Mask & kChanges)) continue;
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE ||
        !IsAdministratorsOrSystem(const_cast<DWORD*>(&allowed->SidStart)))
      return false;
  }
  return true;
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

std::string RemovalStore::AdministratorsFolder() {
  // The system's own answer, not the environment the user can set.
  char common[MAX_PATH] = {};
  const std::string sid = UserSidText();
  if (sid.empty() ||
      SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, common) != S_OK)
    return std::string();
  return std::string(common) + "\\Ombrelle Studios\\Lumivane\\Removed\\" + sid;
}

RemovalStore::RemovalStore() {
  if (ProcessIsElevated()) {
    folder_ = AdministratorsFolder();
    guardedLevels_ = 4;
  } else {
    folder_ = DefaultFolder();
  }
}

bool RemovalStore::FolderUsable(bool create) const {
  if (folder_.empty()) return false;
  if (!guardedLevels_) return create ? MakeFolders(folder_) : true;
  // From the top guarded level down: a level is trusted only once those above it are.
  std::vector<std::string> levels;
  for (std::string path = folder_; levels.size() < guardedLevels_;) {
    levels.insert(levels.begin(), path);
    const size_t separator = path.rfind('\\');
    if (separator == std::string::npos) return false;
    path.resize(separator);
  }
  Descriptor guarded(kGuardedFolder);
  if (create && !guarded.attributes()) return false;
  for (const std::string& level : levels) {
    if (create) CreateDirectoryW(WideFromCodePage(level).c_str(), guarded.attributes());
    HANDLE folder = OpenUnfollowed(level, READ_CONTROL | FILE_READ_ATTRIBUTES, true);
    const bool usable = IsGuarded(folder, true);
    if (folder != INVALID_HANDLE_VALUE) CloseHandle(folder);
    if (!usable) return false;
  }
  return true;
}

std::vector<std::string> RemovalStore::Ids() const {
  std::vector<std::string> ids;
  WIN32_FIND_DATAA entry;
  HANDLE listing = FindFirstFileA(PathOf(std::string("*") + kExtension).c_str(), &entry);
  if (listing == INVALID_HANDLE_VALUE) return ids;
  do {
    if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && IsRecordId(entry.cFileName))
      ids.push_back(entry.cFileName);
  } while (FindNextFileA(listing, &entry));
  FindClose(listing);
  // Named by their time in fixed-width hexadecimal: the name's order is the time's.
  std::sort(ids.begin(), ids.end());
  return ids;
}

bool RemovalStore::Keep(RemovalRecord& record) {
  if (!FolderUsable(true)) return false;
  Descriptor guarded(kGuardedFile);
  if (guardedLevels_ && !guarded.attributes()) return false;
  record.removedAt = Now();
  const std::string text = RemovalRecordText(record);
  HANDLE file = INVALID_HANDLE_VALUE;
  // Two removals within one tick still get a name each; a name that is
  // there, whoever made it, is never written into.
  for (uint64_t stamp = record.removedAt; file == INVALID_HANDLE_VALUE; ++stamp) {
    char id[32];
    std::snprintf(id, sizeof id, "%016llx%s", static_cast<unsigned long long>(stamp), kExtension);
    record.id = id;
    file = CreateFileW(WideFromCodePage(PathOf(record.id)).c_str(), GENERIC_WRITE, 0,
                       guardedLevels_ ? guarded.attributes() : nullptr, CREATE_NEW,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS &&
        GetLastError() != ERROR_ALREADY_EXISTS)
      break;
  }
  DWORD written = 0;
  const bool whole = file != INVALID_HANDLE_VALUE &&
                     WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written,
                               nullptr) &&
                     written == text.size() && FlushFileBuffers(file);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  if (!whole) {
    if (file != INVALID_HANDLE_VALUE) DeleteFileW(WideFromCodePage(PathOf(record.id)).c_str());
    record.id.clear();
    return false;
  }
  // Only records that read count: files anyone else put here are not ours
  // to drop, and never push this one out.
  const std::vector<std::string> ids = Ids();
  if (ids.size() <= kKept) return true;
  std::vector<std::string> readable;
  for (const std::string& id : ids) {
    RemovalRecord kept;
    if (id != record.id && Load(id, kept)) readable.push_back(id);
  }
  for (size_t i = 0; i + kKept < readable.size() + 1; ++i) Drop(readable[i]);
  return true;
}

bool RemovalStore::Load(const std::string& id, RemovalRecord& record) const {
  record = RemovalRecord();
  if (!IsRecordId(id) || !FolderUsable(false)) return false;
  HANDLE file = OpenUnfollowed(PathOf(id), GENERIC_READ | READ_CONTROL, false);
  if (file == INVALID_HANDLE_VALUE) return false;
  std::string text;
  const bool read = (!guardedLevels_ || IsGuarded(file, false)) && ReadAll(file, text);
  CloseHandle(file);
  if (!read || !ParseRemovalRecord(text, record)) {
    record = RemovalRecord();
    return false;
  }
  record.id = id;
  return true;
}

std::vector<RemovalRecord> RemovalStore::List() const {
  std::vector<RemovalRecord> records;
  if (!FolderUsable(false)) return records;
  const std::vector<std::string> ids = Ids();
  for (auto id = ids.rbegin(); id != ids.rend(); ++id) {
    RemovalRecord record;
    if (Load(*id, record)) records.push_back(std::move(record));
  }
  return records;
}

bool RemovalStore::Drop(const std::string& id) {
  if (!IsRecordId(id) || !FolderUsable(false)) return false;
  // The entry itself, a link included, never what it leads to.
  HANDLE file = CreateFileW(WideFromCodePage(PathOf(id)).c_str(), DELETE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_DELETE_ON_CLOSE,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}
