#include "scan/entry_details.h"

#include <windows.h>

#include <cstdio>
#include <vector>

#include "scan/image_resolution.h"
#include "util/string_utils.h"

struct EntryDetailsReader::FileFacts {
  ImageSignature signature;
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
    return "(Verified) " + (details.signer.empty() ? details.company : details.signer);
  return details.company.empty() ? std::string() : "(Not verified) " + details.company;
}

std::string ImagePathColumnText(const EntryDetails& details) {
  return details.imageMissing ? "File not found: " + details.imagePath : details.imagePath;
}

std::string PublisherFieldText(const EntryDetails& details) {
  if (details.signature == ImageSignature::Verified && !details.signer.empty())
    return details.signer;
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

const UserEnvironment& EntryDetailsReader::EnvironmentOf(const EntryOwner& owner) {
  const std::string key = owner.kind == EntryOwner::Kind::Hive ? owner.name : std::string();
  auto found = environments_.find(key);
  if (found == environments_.end())
    found = environments_
                .emplace(key, owner.kind == EntryOwner::Kind::Hive
                                  ? UserEnvironment::OfHive(owner.name)
                                  : UserEnvironment::OfThisProcess())
                .first;
  return found->second;
}

EntryDetails EntryDetailsReader::Read(const std::string& type, const std::string& command,
                                      const std::string& location, const EntryOwner& owner) {
  EntryDetails details;
  const std::string userKey = std::to_string(static_cast<int>(owner.kind)) + owner.name;
  auto user = users_.find(userKey);
  if (user == users_.end()) user = users_.emplace(userKey, OwnerUserName(owner)).first;
  details.user = user->second;

  ResolvedImage image;
  if (type == RegistryEntryType)
    image = CommandImage(command, owner.expandCommand, EnvironmentOf(owner));
  else if (type == StartupFileType)
    image = StartupImage(location);
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
    const FileSignature signature = signatures_.Check(image.path);
    // Reading a version resource costs more than the signature check, and
    // only a program image can hold one.
    if (signature.programImage)
      ReadVersionTexts(image.path, facts->company, facts->description, facts->version);
    facts->signature = signature.verdict == SignatureVerdict::Verified ? ImageSignature::Verified
                       : signature.verdict == SignatureVerdict::NotVerified
                           ? ImageSignature::NotVerified
                           : ImageSignature::Unsigned;
    facts->signer = signature.signer;
  }
  details.signature = facts->signature;
  details.signer = facts->signer;
  details.company = facts->company;
  details.description = facts->description;
  details.version = facts->version;
  return details;
}
