#include "support/registry_sandbox.h"

#include <gtest/gtest.h>

namespace {

const HKEY kRoots[4] = {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_USERS, HKEY_CLASSES_ROOT};
const char* const kRootNames[4] = {"HKLM", "HKCU", "HKU", "HKCR"};

}  // namespace

RegistrySandbox::RegistrySandbox() {
  static int counter = 0;
  scratch_ = "Software\\LumivaneTestSandbox\\" + std::to_string(GetCurrentProcessId()) + "-" +
             std::to_string(++counter);
  for (int i = 0; i < 4; ++i) {
    std::string path = scratch_ + "\\" + kRootNames[i];
    LONG rc = RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &mapped_[i], nullptr);
    if (rc != ERROR_SUCCESS) {
      ADD_FAILURE() << "cannot create scratch key " << path << ": " << rc;
      continue;
    }
  }
  // Map only after every scratch key exists: HKCU itself is remapped below.
  for (int i = 0; i < 4; ++i) {
    if (mapped_[i]) {
      LONG rc = RegOverridePredefKey(kRoots[i], mapped_[i]);
      if (rc != ERROR_SUCCESS) ADD_FAILURE() << "RegOverridePredefKey failed: " << rc;
    }
  }
}

std::string RegistrySandbox::PathFor(HKEY root) const {
  for (int i = 0; i < 4; ++i)
    if (kRoots[i] == root) return "HKCU\\" + scratch_ + "\\" + kRootNames[i];
  return std::string();
}

RegistrySandbox::~RegistrySandbox() {
  for (int i = 0; i < 4; ++i) RegOverridePredefKey(kRoots[i], nullptr);
  for (HKEY key : mapped_)
    if (key) RegCloseKey(key);
  RegDeleteTreeA(HKEY_CURRENT_USER, scratch_.c_str());
  RegDeleteKeyA(HKEY_CURRENT_USER, scratch_.c_str());
}

void RegistrySandbox::SetValue(HKEY root, const std::string& subKey, const std::string& name,
                               DWORD type, const void* data, DWORD size) {
  HKEY key = nullptr;
  LONG rc =
      RegCreateKeyExA(root, subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  ASSERT_EQ(ERROR_SUCCESS, rc) << "create " << subKey;
  rc = RegSetValueExA(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
  RegCloseKey(key);
  ASSERT_EQ(ERROR_SUCCESS, rc) << "set " << subKey << " : " << name;
}

void RegistrySandbox::SetString(HKEY root, const std::string& subKey, const std::string& name,
                                const std::string& text, DWORD type) {
  SetValue(root, subKey, name, type, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

void RegistrySandbox::SetDword(HKEY root, const std::string& subKey, const std::string& name,
                               DWORD v) {
  SetValue(root, subKey, name, REG_DWORD, &v, sizeof v);
}

void RegistrySandbox::CreateKey(HKEY root, const std::string& subKey) {
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root, subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                           nullptr, &key, nullptr));
  RegCloseKey(key);
}

bool RegistrySandbox::ValueExists(HKEY root, const std::string& subKey, const std::string& name) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  LONG rc = RegQueryValueExA(key, name.c_str(), nullptr, nullptr, nullptr, nullptr);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS;
}

bool RegistrySandbox::ReadValue(HKEY root, const std::string& subKey, const std::string& name,
                                DWORD& type, std::string& bytes) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  DWORD size = 0;
  LONG rc = RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size);
  if (rc == ERROR_SUCCESS) {
    bytes.assign(size, '\0');
    rc = RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&bytes[0]),
                          &size);
    bytes.resize(size);
  }
  RegCloseKey(key);
  return rc == ERROR_SUCCESS;
}

bool RegistrySandbox::KeyExists(HKEY root, const std::string& subKey) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}
