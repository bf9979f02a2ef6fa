// What an entry is, beyond its row's texts: the program it starts, that
// program's publisher, description and signature, and whose entry it is.
// Reading them opens files, so the main window reads them after the rows show.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "details/file_signature.h"
#include "details/file_time_limit.h"
#include "scan/row_sink.h"
#include "details/image_resolution.h"
#include "details/user_environment.h"

enum class ImageSignature { Verified, NotVerified, Unsigned, Missing, NotApplicable };

struct EntryDetails {
  std::string imagePath;  // empty: the entry starts no file that can be known
  bool imageMissing = false;
  // The rest is left empty (NotApplicable) for a file that could not be read:
  // a device, a file offline or held for writing elsewhere, one over its
  // time limit.
  ImageSignature signature = ImageSignature::NotApplicable;
  std::string signer;  // when verified
  std::string company, description, version;  // the version resource's texts
  std::string user;

  bool operator==(const EntryDetails& other) const;
};

// "verified", "not verified", "unsigned", "missing" or "n/a".
const char* ImageSignatureText(ImageSignature signature);
// The window's Publisher: "(Verified) <signer>" (the signer's name from
// the verified signature alone), else "(Not verified) <CompanyName>", else
// empty.
std::string PublisherColumnText(const EntryDetails& details);
// The window's Image Path: the path, or "File not found: <path>".
std::string ImagePathColumnText(const EntryDetails& details);
// For a file or a script: the signer when verified, else CompanyName.
std::string PublisherFieldText(const EntryDetails& details);

// Reads details row by row, reading each user's environment, each account
// name and each image file once.
class EntryDetailsReader {
 public:
  EntryDetailsReader();
  ~EntryDetailsReader();
  // `command` is a registry row's value text, `location` a start-up row's
  // file path.
  EntryDetails Read(const std::string& type, const std::string& command,
                    const std::string& location, const EntryOwner& owner);
  // From now on each row is read under `limit` (which watches the calling
  // thread): its image found within the remote limit, its file read within
  // the limit of its volume.
  void LimitTime(FileTimeLimit* limit, DWORD local = kLocalFileLimit,
                 DWORD remote = kRemoteFileLimit);

 private:
  struct FileFacts;
  const UserEnvironment& EnvironmentOf(const EntryOwner& owner, const std::string& location);
  ResolvedImage Resolve(const std::string& type, const std::string& command,
                        const std::string& location, const EntryOwner& owner);
  void ReadFile(const std::string& path, FileFacts& facts);
  bool OnRemoteVolume(const std::string& path);
  std::map<char, bool> remoteDrives_;  // by upper-case drive letter
  FileTimeLimit* limit_ = nullptr;
  DWORD localLimit_ = kLocalFileLimit, remoteLimit_ = kRemoteFileLimit;
  std::map<std::string, UserEnvironment> environments_;
  std::map<std::string, std::string> users_;
  // By lower-case path; a start-up file's own facts are not kept, as no
  // other row has that file.
  std::map<std::string, std::unique_ptr<FileFacts>> files_;
  SignatureChecker signatures_;
};

// CompanyName, FileDescription and FileVersion of a file's version resource,
// in its first language; false when it has none.
bool ReadVersionTexts(const std::string& path, std::string& company, std::string& description,
                      std::string& version);
