#include "details/entry_details.h"

#include <windows.h>

#include <cstdio>
#include <vector>

#include "details/image_resolution.h"
#include "sources/entry_source.h"
#include "util/string_utils.h"

struct EntryDetailsReader::FileFacts {
  ImageSignature signature = ImageSignature::NotApplicable;
  std::string signer, company, description, version;
};

bool EntryDetails::operator==(const EntryDetails& other) const {
  return imagePath == other.imagePath && imageMissing == other.imageMissing &&
         signature == other.signature && signer == other.signer && company == other.company &&
         description == other.description && version == other.version && user == other.user;
}

const char* ImageSignatureText(ImageSignature signature) {
  switch (signature) {
    case ImageSignature::Verified:
      return "verified";
    case ImageSignature::NotVerified:
      return "not verified";
    case ImageSignature::Unsigned:
      return "unsigned";
    case ImageSignature::Missing:
      return "missing";
    case ImageSignature::NotApplicable:
      break;
  }
  return "n/a";
}

std::string PublisherColumnText(const EntryDetails& details) {
  if (details.signature == ImageSignature::Verified)
    return details.signer.empty() ? "(Verified)" : "(Verified) " + details.signer;
  return details.company.empty() ? std::string() : "(Not verified) " + details.company;
}

std::string ImagePathColumnText(const EntryDetails& details) {
  return details.imageMissing ? "File not found: " + details.imagePath : details.imagePath;
}

std::string PublisherFieldText(const EntryDetails& details) {
  if (details.signature == ImageSignature::Verified) return details.signer;
  return details.company;
}

bool ReadVersionTexts(const std::string& path, std::string& company, std::string& description,
                      std::string& version) {
  const std::string native = NativeFilePath(path);
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeA(native.c_str(), &handle);
  if (!size) return false;
  std::vector<char> block(size);
  if (!GetFileVersionInfoA(native.c_str(), 0, size, block.data())) return false;
  // The first language the resource lists, then the usual US English ones.
  std::vector<std::string> languages;
  struct Translation {
    WORD language, codePage;
  };
  Translation* translations = nullptr;
  UINT length = 0;
  char key[64];
  if (VerQueryValueA(block.data(), "\\VarFileInfo\\Translation",
                     reinterpret_cast<void**>(&translations), &length) &&
      length >= sizeof(Translation)) {
    std::snprintf(key, sizeof key, "%04x%04x", translations[0].language, translations[0].codePage);
    languages.push_back(key);
  }
  languages.insert(languages.end(), {"040904b0", "040904e4", "04090000"});
  for (const std::string& language : languages) {
    auto read = [&](const char* name, std::string& text) {
      char* value = nullptr;
      UINT chars = 0;
      const std::string query = "\\StringFileInfo\\" + language + "\\" + name;
      if (!VerQueryValueA(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &chars) ||
          !value)
        return false;
      text = TrimCopy(value);
      return true;
    };
    const bool found = read("CompanyName", company) | read("FileDescription", description) |
                       read("FileVersion", version);
    if (found) return true;
  }
  return false;
}

EntryDetailsReader::EntryDetailsReader() = default;
EntryDetailsReader::~EntryDetailsReader() = default;

namespace {

// Whether two handles reach one file: the same volume and file id.
bool SameFile(HANDLE one, HANDLE other) {
  BY_HANDLE_FILE_INFORMATION a, b;
  return GetFileInformationByHandle(one, &a) && GetFileInformationByHandle(other, &b) &&
         a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

// The profile folder of a start-up folder found in a profile on the disk.
std::string ProfileOfStartupFile(const std::string& location) {
  const std::string lower = LowerCopy(location);
  const size_t at = lower.rfind("\\start menu\\programs\\startup\\");
  return at == std::string::npos ? std::string() : location.substr(0, at);
}

}  // namespace

void EntryDetailsReader::LimitTime(FileTimeLimit* limit, DWORD local, DWORD remote) {
  limit_ = limit;
  localLimit_ = local;
  remoteLimit_ = remote;
}

const UserEnvironment& EntryDetailsReader::EnvironmentOf(const EntryOwner& owner,
                                                         const std::string& location) {
  std::string profile;
  if (owner.kind == EntryOwner::Kind::Profile) profile = ProfileOfStartupFile(location);
  const std::string key = owner.kind == EntryOwner::Kind::Hive ? owner.name
                          : profile.empty()                    ? std::string()
                                                               : "\\" + profile;
  auto found = environments_.find(key);
  if (found == environments_.end())
    found = environments_
                .emplace(key, owner.kind == EntryOwner::Kind::Hive
                                  ? UserEnvironment::OfHive(owner.name)
                              : profile.empty() ? UserEnvironment::OfThisProcess()
                                                : UserEnvironment::OfProfileFolder(profile))
                .first;
  return found->second;
}

ResolvedImage EntryDetailsReader::Resolve(const std::string& type, const std::string& command,
                                          const std::string& location, const EntryOwner& owner) {
  const UserEnvironment& environment = EnvironmentOf(owner, location);
  // Finding the image looks at folders only, which is quick unless one is
  // on a server that does not answer.
  if (limit_) limit_->Begin(remoteLimit_);
  ResolvedImage image;
  if (const EntrySource* source = FindEntrySource(type))
    image = source->Image(command, location, owner, environment);
  // A look cut short may have missed the image: none is known then.
  if (limit_ && limit_->End()) return {};
  return image;
}

// A drive's kind, asked once per refresh rather than once per file.
bool EntryDetailsReader::OnRemoteVolume(const std::string& path) {
  if (path.size() < 2 || path[1] != ':') return ::OnRemoteVolume(path);
  const char drive = static_cast<char>(toupper(static_cast<unsigned char>(path[0])));
  const auto known = remoteDrives_.find(drive);
  if (known != remoteDrives_.end()) return known->second;
  return remoteDrives_[drive] = ::OnRemoteVolume(path);
}

void EntryDetailsReader::ReadFile(const std::string& path, FileFacts& facts) {
  if (limit_) limit_->Begin(OnRemoteVolume(path) ? remoteLimit_ : localLimit_);
  const FileSignature signature =
      signatures_.Check(path, [&](HANDLE file, const FileSignature& checked) {
        // Reading a version resource costs more than the signature check,
        // and only a program image can hold one. It is read by path, and
        // kept only when that path still leads to the file checked.
        if (!checked.programImage) return;
        HANDLE again = CreateFileA(NativeFilePath(path).c_str(), FILE_READ_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_OPEN_NO_RECALL, nullptr);
        if (again == INVALID_HANDLE_VALUE) return;
        if (SameFile(file, again))
          ReadVersionTexts(path, facts.company, facts.description, facts.version);
        CloseHandle(again);
      });
  // Over its time limit: what was read may be cut short, so nothing is kept.
  if ((limit_ && limit_->End()) || !signature.read) {
    facts = FileFacts();
    return;
  }
  facts.signature = signature.verdict == SignatureVerdict::Verified      ? ImageSignature::Verified
                    : signature.verdict == SignatureVerdict::NotVerified ? ImageSignature::NotVerified
                                                                         : ImageSignature::Unsigned;
  facts.signer = signature.signer;
}

EntryDetails EntryDetailsReader::Read(const std::string& type, const std::string& command,
                                      const std::string& location, const EntryOwner& owner) {
  EntryDetails details;
  const std::string userKey = std::to_string(static_cast<int>(owner.kind)) + owner.name;
  auto user = users_.find(userKey);
  if (user == users_.end()) user = users_.emplace(userKey, OwnerUserName(owner)).first;
  details.user = user->second;

  const ResolvedImage image = Resolve(type, command, location, owner);
  details.imagePath = image.path;
  if (image.path.empty()) return details;
  if (!image.exists) {
    details.imageMissing = true;
    details.signature = ImageSignature::Missing;
    return details;
  }

  std::unique_ptr<FileFacts> own;
  std::unique_ptr<FileFacts>& facts = image.path == location ? own : files_[LowerCopy(image.path)];
  if (!facts) {
    facts = std::make_unique<FileFacts>();
    ReadFile(image.path, *facts);
  }
  details.signature = facts->signature;
  details.signer = facts->signer;
  details.company = facts->company;
  details.description = facts->description;
  details.version = facts->version;
  return details;
}
