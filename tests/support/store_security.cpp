#include "support/store_security.h"

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

namespace {

using TokenQuery = BOOL(WINAPI*)(HANDLE, TOKEN_INFORMATION_CLASS, void*, DWORD, DWORD*);

bool g_elevated = false;
TokenQuery g_tokenQuery = nullptr;
std::string g_sddl;

BOOL WINAPI AnswerTokenQuery(HANDLE token, TOKEN_INFORMATION_CLASS kind, void* data, DWORD size,
                             DWORD* needed) {
  if (kind != TokenElevation) return g_tokenQuery(token, kind, data, size, needed);
  if (needed) *needed = sizeof(TOKEN_ELEVATION);
  if (size < sizeof(TOKEN_ELEVATION)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  static_cast<TOKEN_ELEVATION*>(data)->TokenIsElevated = g_elevated;
  return TRUE;
}

DWORD WINAPI AnswerSecurityInfo(HANDLE, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID* owner,
                                PSID* group, PACL* dacl, PACL* sacl,
                                PSECURITY_DESCRIPTOR* descriptor) {
  PSECURITY_DESCRIPTOR made = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(g_sddl.c_str(), SDDL_REVISION_1,
                                                            &made, nullptr))
    return GetLastError();
  BOOL present = FALSE, defaulted = FALSE;
  if (owner) GetSecurityDescriptorOwner(made, owner, &defaulted);
  if (group) GetSecurityDescriptorGroup(made, group, &defaulted);
  if (dacl) GetSecurityDescriptorDacl(made, &present, dacl, &defaulted);
  if (sacl) *sacl = nullptr;
  if (descriptor)
    *descriptor = made;
  else
    LocalFree(made);
  return ERROR_SUCCESS;
}

}  // namespace

ElevationPatch::ElevationPatch(bool elevated)
    : patch_("advapi32.dll", "GetTokenInformation", reinterpret_cast<void*>(&AnswerTokenQuery)),
      before_(g_elevated) {
  g_elevated = elevated;
  // Another patch may be in place already: its own original is the system's.
  if (!g_tokenQuery) g_tokenQuery = reinterpret_cast<TokenQuery>(patch_.original());
}

ElevationPatch::~ElevationPatch() {
  g_elevated = before_;
}

DescriptorPatch::DescriptorPatch(std::string sddl)
    : patch_("advapi32.dll", "GetSecurityInfo", reinterpret_cast<void*>(&AnswerSecurityInfo)) {
  g_sddl = std::move(sddl);
}

DescriptorPatch::~DescriptorPatch() = default;
