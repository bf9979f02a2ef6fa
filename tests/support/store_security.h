// What the removal store asks the system about trust, answered by the test: whether
// the process runs elevated, and every object's descriptor (Wine keeps none).
#pragma once

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <string>

#include "support/import_patch.h"

class StoreSecurityPatch {
 public:
  static inline bool elevated = false;
  static inline std::string sddl;  // what GetSecurityInfo answers; empty: the system's answer

  // A second patch in the same program finds the first in place: the
  // system's functions stay the ones called through.
  StoreSecurityPatch() {
    if (token_.original() != reinterpret_cast<void*>(&Token))
      tokenQuery_ = reinterpret_cast<decltype(&Token)>(token_.original());
    if (security_.original() != reinterpret_cast<void*>(&Security))
      securityInfo_ = reinterpret_cast<decltype(&Security)>(security_.original());
  }

 private:
  static BOOL WINAPI Token(HANDLE token, TOKEN_INFORMATION_CLASS kind, void* data, DWORD size,
                           DWORD* needed) {
    if (kind != TokenElevation || size < sizeof(TOKEN_ELEVATION))
      return tokenQuery_(token, kind, data, size, needed);
    static_cast<TOKEN_ELEVATION*>(data)->TokenIsElevated = elevated;
    return TRUE;
  }
  static DWORD WINAPI Security(HANDLE object, SE_OBJECT_TYPE type, SECURITY_INFORMATION wanted,
                               PSID* owner, PSID* group, PACL* dacl, PACL* sacl,
                               PSECURITY_DESCRIPTOR* made) {
    if (sddl.empty()) return securityInfo_(object, type, wanted, owner, group, dacl, sacl, made);
    return ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), 1, made, nullptr)
               ? ERROR_SUCCESS
               : GetLastError();
  }

  static inline decltype(&Token) tokenQuery_ = nullptr;
  static inline decltype(&Security) securityInfo_ = nullptr;
  ImportPatch token_{"advapi32.dll", "GetTokenInformation", reinterpret_cast<void*>(&Token)};
  ImportPatch security_{"advapi32.dll", "GetSecurityInfo", reinterpret_cast<void*>(&Security)};
};
