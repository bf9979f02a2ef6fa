// Whether a program file is signed, checked the way Windows checks it, and by
// whom. Nothing goes to the network: revocation is not checked and only
// cached URLs are used.
#pragma once

#include <string>

enum class SignatureVerdict {
  Verified,     // an embedded or a catalog signature that WinVerifyTrust accepts
  NotVerified,  // a signature that does not verify (a changed file, an untrusted root)
  Unsigned,     // no embedded signature and no catalog that lists the file
};

struct FileSignature {
  SignatureVerdict verdict = SignatureVerdict::Unsigned;
  std::string signer;  // the signing certificate's name, when verified
};

// `path` is read as the 64-bit shell means it (see NativeFilePath).
FileSignature CheckFileSignature(const std::string& path);
