// Whether a program file is signed, checked the way Windows checks it, and by
// whom. Nothing goes to the network: revocation is not checked and only
// cached URLs are used.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

enum class SignatureVerdict {
  Verified,     // an embedded or a catalog signature that WinVerifyTrust accepts
  NotVerified,  // a signature that does not verify (a changed file, an untrusted root)
  Unsigned,     // no embedded signature and no catalog that lists the file
};

struct FileSignature {
  SignatureVerdict verdict = SignatureVerdict::Unsigned;
  // The name on the certificate that made the verified signature, from the
  // verification itself; empty otherwise.
  std::string signer;
  // The file was read: false for a device, a file offline or recalled on
  // access, one another program holds open for writing, or an open that
  // failed. Nothing else here is known then.
  bool read = false;
  // The file begins as a program image ("MZ"): the only kind of file that
  // can hold a version resource.
  bool programImage = false;
};

// Checks file after file, keeping the catalog databases open in between.
// One thread at a time.
class SignatureChecker {
 public:
  SignatureChecker() = default;
  ~SignatureChecker();
  SignatureChecker(const SignatureChecker&) = delete;
  SignatureChecker& operator=(const SignatureChecker&) = delete;

  // `path` is read as the 64-bit shell means it (see NativeFilePath), through
  // one handle that lets others read only; `whileOpen` runs before that
  // handle is closed, with it and the result, when the file was read.
  using WhileOpen = std::function<void(HANDLE file, const FileSignature& signature)>;
  FileSignature Check(const std::string& path, const WhileOpen& whileOpen = nullptr);

 private:
  bool CheckCatalogs(HANDLE file, const std::wstring& path, FileSignature& signature);
  // SHA-256 catalogs (Windows 8 and later), then SHA-1 ones; null when not
  // opened (yet, or at all).
  void* admins_[2] = {};
  bool acquired_ = false;
};

// One file, with a checker of its own.
FileSignature CheckFileSignature(const std::string& path);
