// Maps HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_USERS and HKEY_CLASSES_ROOT
// of this process onto fresh scratch keys for the life of the object, then
// restores them and deletes the scratch keys.
#pragma once

#include <windows.h>

#include <string>

class RegistrySandbox {
 public:
  RegistrySandbox();
  ~RegistrySandbox();
  RegistrySandbox(const RegistrySandbox&) = delete;
  RegistrySandbox& operator=(const RegistrySandbox&) = delete;

  // Writes raw bytes as the value; the key and its parents are created.
  static void SetValue(HKEY root, const std::string& subKey, const std::string& name, DWORD type,
                       const void* data, DWORD size);
  static void SetString(HKEY root, const std::string& subKey, const std::string& name,
                        const std::string& text, DWORD type = REG_SZ);  // with its zero
  static void SetDword(HKEY root, const std::string& subKey, const std::string& name, DWORD v);
  static void CreateKey(HKEY root, const std::string& subKey);
  static bool ValueExists(HKEY root, const std::string& subKey, const std::string& name);
  // Type and raw bytes of a value; false when it cannot be read.
  static bool ReadValue(HKEY root, const std::string& subKey, const std::string& name, DWORD& type,
                        std::string& bytes);
  static bool KeyExists(HKEY root, const std::string& subKey);
  // Where another process (reg.exe) finds `root` of this sandbox: "HKCU\...".
  std::string PathFor(HKEY root) const;

 private:
  std::string scratch_;  // below the real HKEY_CURRENT_USER
  HKEY mapped_[4] = {};
};
