#include "details/file_signature.h"

#include <windows.h>
// In this order: each needs the one before it.
#include <wincrypt.h>
#include <wintrust.h>
#include <mscat.h>
#include <softpub.h>

#include <vector>

#include "details/image_resolution.h"
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

// The name on the certificate that made the signature a verification
// accepted, from that verification's own state: never read again from a
// file that may have changed since.
std::string SignerOfState(HANDLE state) {
  CRYPT_PROVIDER_DATA* provider = WTHelperProvDataFromStateData(state);
  CRYPT_PROVIDER_SGNR* signer =
      provider ? WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0) : nullptr;
  CRYPT_PROVIDER_CERT* certificate = signer ? WTHelperGetProvCertFromChain(signer, 0) : nullptr;
  char text[512] = {};
  if (!certificate || !certificate->pCert ||
      CertGetNameStringA(certificate->pCert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, text,
                         sizeof text) <= 1)
    return std::string();
  return text;
}

// WinVerifyTrust's result; on success `signer` gets the signer's name.
LONG Verify(DWORD choice, void* subject, std::string& signer) {
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
  signer = result == ERROR_SUCCESS && data.hWVTStateData ? SignerOfState(data.hWVTStateData)
                                                          : std::string();
  data.dwStateAction = WTD_STATEACTION_CLOSE;
  WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  return result;
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
// script or installer that Windows signs inside the file. Wine accepts
// files of any other kind, which hold none.
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
bool SignatureChecker::CheckCatalogs(HANDLE file, const std::wstring& path,
                                     FileSignature& signature) {
  static const CatalogFunctions functions;
  if (!acquired_) {
    acquired_ = true;
    HCATADMIN admin = nullptr;
    if (functions.acquire2 && functions.calcHash2 &&
        functions.acquire2(&admin, nullptr, L"SHA256", nullptr, 0))
      admins_[0] = admin;
    if (CryptCATAdminAcquireContext(&admin, nullptr, 0)) admins_[1] = admin;
  }
  bool found = false;
  for (int kind = 0; kind < 2; ++kind) {
    HCATADMIN admin = static_cast<HCATADMIN>(admins_[kind]);
    if (!admin) continue;
    BYTE hash[64];
    DWORD hashSize = sizeof hash;
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    const BOOL hashed = kind == 0 ? functions.calcHash2(admin, file, &hashSize, hash, 0)
                                  : CryptCATAdminCalcHashFromFileHandle(file, &hashSize, hash, 0);
    if (!hashed) continue;
    std::wstring tag;
    for (DWORD i = 0; i < hashSize; ++i) {
      wchar_t digits[3];
      swprintf(digits, 3, L"%02X", hash[i]);
      tag += digits;
    }
    // Every catalog that lists the file, until one verifies: a damaged or
    // untrusted catalog does not hide a good one. Each call releases the
    // catalog before it.
    HCATINFO previous = nullptr;
    while (HCATINFO catalog = CryptCATAdminEnumCatalogFromHash(admin, hash, hashSize, 0,
                                                               previous ? &previous : nullptr)) {
      previous = catalog;
      CATALOG_INFO info = {};
      info.cbStruct = sizeof info;
      if (!CryptCATCatalogInfoFromContext(catalog, &info, 0)) continue;
      found = true;
      CatalogInfoWithAdmin subject = {};
      subject.info.cbStruct = sizeof subject;
      subject.info.pcwszCatalogFilePath = info.wszCatalogFile;
      subject.info.pcwszMemberTag = tag.c_str();
      subject.info.pcwszMemberFilePath = path.c_str();
      subject.info.hMemberFile = file;
      subject.info.pbCalculatedFileHash = hash;
      subject.info.cbCalculatedFileHash = hashSize;
      subject.admin = admin;
      std::string signer;
      if (Verify(WTD_CHOICE_CATALOG, &subject, signer) == ERROR_SUCCESS && !signer.empty()) {
        CryptCATAdminReleaseCatalogContext(admin, catalog, 0);
        signature.verdict = SignatureVerdict::Verified;
        signature.signer = signer;
        return true;
      }
    }
  }
  if (found) signature = {SignatureVerdict::NotVerified, std::string()};
  return found;
}

FileSignature CheckFileSignature(const std::string& path) {
  return SignatureChecker().Check(path);
}

FileSignature SignatureChecker::Check(const std::string& path, const WhileOpen& whileOpen) {
  // A device (a pipe, a port, NUL) is no program file, and reading one may
  // never end.
  if (IsDeviceName(path)) return {};
  const std::wstring wide = WideFromAnsi(NativeFilePath(path));
  // A file kept elsewhere (offline, or a cloud placeholder) would be fetched
  // by reading it.
  const DWORD kRecallOnOpen = 0x40000, kRecallOnDataAccess = 0x400000;
  WIN32_FILE_ATTRIBUTE_DATA attributes;
  if (!GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &attributes) ||
      (attributes.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_OFFLINE |
                                      kRecallOnOpen | kRecallOnDataAccess)))
    return {};
  // Others may read it meanwhile, not change it: the verdict, the signer and
  // what `whileOpen` reads are of one file. A file open for writing
  // elsewhere is not read (a sharing violation).
  HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OPEN_NO_RECALL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  if (GetFileType(file) != FILE_TYPE_DISK) {
    CloseHandle(file);
    return {};
  }
  const bool programImage = StartsAsProgramImage(file);
  SetFilePointer(file, 0, nullptr, FILE_BEGIN);
  WINTRUST_FILE_INFO subject = {};
  subject.cbStruct = sizeof subject;
  subject.pcwszFilePath = wide.c_str();
  subject.hFile = file;
  std::string signer;
  const LONG result = Verify(WTD_CHOICE_FILE, &subject, signer);
  // Only a file that carries a signature of its own can fail one; Wine
  // also accepts files it has no signature format for, which carry none.
  // Catalogs are searched for programs (a signable format without a
  // signature of its own), not for every file of no signable format.
  const bool program = result == static_cast<LONG>(TRUST_E_NOSIGNATURE);
  const bool unknownForm = result == static_cast<LONG>(TRUST_E_SUBJECT_FORM_UNKNOWN) ||
                           result == static_cast<LONG>(TRUST_E_PROVIDER_UNKNOWN);
  const bool signable = CanHoldEmbeddedSignature(programImage, path);
  FileSignature signature;
  if (result == ERROR_SUCCESS && signable && !signer.empty())
    signature = {SignatureVerdict::Verified, signer};
  else if (result != ERROR_SUCCESS && !program && !unknownForm && signable)
    signature = {SignatureVerdict::NotVerified, std::string()};
  else if (!program || !CheckCatalogs(file, wide, signature))
    signature = {SignatureVerdict::Unsigned, std::string()};
  signature.programImage = programImage;
  signature.read = true;
  if (whileOpen) whileOpen(file, signature);
  CloseHandle(file);
  return signature;
}
