#include "scan/file_signature.h"

#include <windows.h>
// In this order: each needs the one before it.
#include <wincrypt.h>
#include <wintrust.h>
#include <mscat.h>
#include <softpub.h>

#include <vector>

#include "scan/image_resolution.h"
#include "util/string_utils.h"

namespace {

std::wstring WideFromAnsi(const std::string& text) {
  const int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  std::wstring wide(length > 0 ? length : 1, L'\0');
  if (length > 0) MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], length);
  wide.resize(wcslen(wide.c_str()));
  return wide;
}

// WINTRUST_CATALOG_INFO as Windows 8 extended it: the catalog context whose
// hash algorithm the member tag was made with.
struct CatalogInfoWithAdmin {
  WINTRUST_CATALOG_INFO info;
  HCATADMIN admin;
};

LONG Verify(DWORD choice, void* subject) {
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  WINTRUST_DATA data = {};
  data.cbStruct = sizeof data;
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwUnionChoice = choice;
  if (choice == WTD_CHOICE_FILE)
    data.pFile = static_cast<WINTRUST_FILE_INFO*>(subject);
  else
    data.pCatalog = static_cast<WINTRUST_CATALOG_INFO*>(subject);
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL | WTD_REVOCATION_CHECK_NONE;
  const LONG result = WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  data.dwStateAction = WTD_STATEACTION_CLOSE;
  WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  return result;
}

// The name on the certificate that signed `path` (a program or a catalog).
std::string SignerName(const std::wstring& path) {
  HCERTSTORE store = nullptr;
  HCRYPTMSG message = nullptr;
  DWORD encoding = 0, contentType = 0, format = 0;
  if (!CryptQueryObject(
          CERT_QUERY_OBJECT_FILE, path.c_str(),
          CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED | CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED,
          CERT_QUERY_FORMAT_FLAG_BINARY, 0, &encoding, &contentType, &format, &store, &message,
          nullptr))
    return std::string();
  std::string name;
  DWORD size = 0;
  if (CryptMsgGetParam(message, CMSG_SIGNER_INFO_PARAM, 0, nullptr, &size) && size) {
    std::vector<BYTE> buffer(size);
    if (CryptMsgGetParam(message, CMSG_SIGNER_INFO_PARAM, 0, buffer.data(), &size)) {
      const auto* signer = reinterpret_cast<const CMSG_SIGNER_INFO*>(buffer.data());
      CERT_INFO wanted = {};
      wanted.Issuer = signer->Issuer;
      wanted.SerialNumber = signer->SerialNumber;
      if (PCCERT_CONTEXT certificate =
              CertFindCertificateInStore(store, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
                                         CERT_FIND_SUBJECT_CERT, &wanted, nullptr)) {
        char text[512] = {};
        if (CertGetNameStringA(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, text,
                               sizeof text) > 1)
          name = text;
        CertFreeCertificateContext(certificate);
      }
    }
  }
  CryptMsgClose(message);
  CertCloseStore(store, 0);
  return name;
}

// The catalog functions of Windows 8 and later, looked up at run time: older
// systems (and Wine) lack them, and a static import would keep the program
// from starting there.
using AcquireContext2 = BOOL(WINAPI*)(HCATADMIN*, const GUID*, const WCHAR*,
                                      const CERT_STRONG_SIGN_PARA*, DWORD);
using CalcHash2 = BOOL(WINAPI*)(HCATADMIN, HANDLE, DWORD*, BYTE*, DWORD);

struct CatalogFunctions {
  AcquireContext2 acquire2 = nullptr;
  CalcHash2 calcHash2 = nullptr;
  CatalogFunctions() {
    if (HMODULE wintrust = GetModuleHandleA("wintrust.dll")) {
      acquire2 = reinterpret_cast<AcquireContext2>(
          reinterpret_cast<void*>(GetProcAddress(wintrust, "CryptCATAdminAcquireContext2")));
      calcHash2 = reinterpret_cast<CalcHash2>(reinterpret_cast<void*>(
          GetProcAddress(wintrust, "CryptCATAdminCalcHashFromFileHandle2")));
    }
  }
};

bool StartsAsProgramImage(HANDLE file) {
  char start[2] = {};
  DWORD read = 0;
  return ReadFile(file, start, sizeof start, &read, nullptr) && read == 2 && start[0] == 'M' &&
         start[1] == 'Z';
}

// Whether the file may hold a signature of its own: a program image, or a
// script or installer that Windows signs inside the file. Any other file is
// not handed to CryptQueryObject, which Wine's 32-bit build crashes on for
// some files that hold none.
bool CanHoldEmbeddedSignature(bool programImage, const std::string& path) {
  if (programImage) return true;
  for (const char* extension : {"ps1", "psm1", "psd1", "vbs", "js", "wsf", "msi", "cab"})
    if (SameNameIgnoringCase(ExtensionOf(path), extension)) return true;
  return false;
}

}  // namespace

SignatureChecker::~SignatureChecker() {
  for (void* admin : admins_)
    if (admin) CryptCATAdminReleaseContext(static_cast<HCATADMIN>(admin), 0);
}

// A catalog signature over the file: SHA-256 catalogs through the newer
// functions where they exist, then SHA-1 ones through the first versions.
bool SignatureChecker::CheckCatalogs(void* fileHandle, const std::wstring& path,
                                     FileSignature& signature) {
  static const CatalogFunctions functions;
  HANDLE file = static_cast<HANDLE>(fileHandle);
  if (!acquired_) {
    acquired_ = true;
    HCATADMIN admin = nullptr;
    if (functions.acquire2 && functions.calcHash2 &&
        functions.acquire2(&admin, nullptr, L"SHA256", nullptr, 0))
      admins_[0] = admin;
    if (CryptCATAdminAcquireContext(&admin, nullptr, 0)) admins_[1] = admin;
  }
  for (int kind = 0; kind < 2; ++kind) {
    HCATADMIN admin = static_cast<HCATADMIN>(admins_[kind]);
    if (!admin) continue;
    BYTE hash[64];
    DWORD hashSize = sizeof hash;
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    const BOOL hashed = kind == 0 ? functions.calcHash2(admin, file, &hashSize, hash, 0)
                                  : CryptCATAdminCalcHashFromFileHandle(file, &hashSize, hash, 0);
    HCATINFO catalog =
        hashed ? CryptCATAdminEnumCatalogFromHash(admin, hash, hashSize, 0, nullptr) : nullptr;
    if (!catalog) continue;
    CATALOG_INFO info = {};
    info.cbStruct = sizeof info;
    const bool found = CryptCATCatalogInfoFromContext(catalog, &info, 0);
    if (found) {
      std::wstring tag;
      for (DWORD i = 0; i < hashSize; ++i) {
        wchar_t digits[3];
        swprintf(digits, 3, L"%02X", hash[i]);
        tag += digits;
      }
      CatalogInfoWithAdmin subject = {};
      subject.info.cbStruct = sizeof subject;
      subject.info.pcwszCatalogFilePath = info.wszCatalogFile;
      subject.info.pcwszMemberTag = tag.c_str();
      subject.info.pcwszMemberFilePath = path.c_str();
      subject.info.hMemberFile = file;
      subject.info.pbCalculatedFileHash = hash;
      subject.info.cbCalculatedFileHash = hashSize;
      subject.admin = admin;
      if (Verify(WTD_CHOICE_CATALOG, &subject) == ERROR_SUCCESS)
        signature = {SignatureVerdict::Verified, SignerName(info.wszCatalogFile)};
      else
        signature = {SignatureVerdict::NotVerified, std::string()};
    }
    CryptCATAdminReleaseCatalogContext(admin, catalog, 0);
    if (found) return true;
  }
  return false;
}

FileSignature CheckFileSignature(const std::string& path) {
  return SignatureChecker().Check(path);
}

FileSignature SignatureChecker::Check(const std::string& path) {
  const std::wstring wide = WideFromAnsi(NativeFilePath(path));
  HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  const bool programImage = StartsAsProgramImage(file);
  SetFilePointer(file, 0, nullptr, FILE_BEGIN);
  WINTRUST_FILE_INFO subject = {};
  subject.cbStruct = sizeof subject;
  subject.pcwszFilePath = wide.c_str();
  subject.hFile = file;
  const LONG result = Verify(WTD_CHOICE_FILE, &subject);
  // Only a file that carries a signature of its own can fail one; Wine
  // also accepts files it has no signature format for, which carry none.
  // Catalogs are searched for programs (a signable format without a
  // signature of its own), not for every file of no signable format.
  const bool program = result == static_cast<LONG>(TRUST_E_NOSIGNATURE);
  const bool unknownForm = result == static_cast<LONG>(TRUST_E_SUBJECT_FORM_UNKNOWN) ||
                           result == static_cast<LONG>(TRUST_E_PROVIDER_UNKNOWN);
  const std::string signer = program || unknownForm || !CanHoldEmbeddedSignature(programImage, path)
                                 ? std::string()
                                 : SignerName(wide);
  FileSignature signature;
  if (!signer.empty())
    signature = {
        result == ERROR_SUCCESS ? SignatureVerdict::Verified : SignatureVerdict::NotVerified,
        result == ERROR_SUCCESS ? signer : std::string()};
  else if (!program || !CheckCatalogs(file, wide, signature))
    signature = {SignatureVerdict::Unsigned, std::string()};
  signature.programImage = programImage;
  CloseHandle(file);
  return signature;
}
