#include "support/import_patch.h"

#include <windows.h>

#include <cstring>

namespace {

void WriteSlot(void** slot, void* value) {
  DWORD protection = 0;
  VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protection);
  *slot = value;
  VirtualProtect(slot, sizeof *slot, protection, &protection);
}

}  // namespace

ImportPatch::ImportPatch(const char* dll, const char* function, void* replacement) {
  auto* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
  auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (imports.VirtualAddress == 0) return;
  for (auto* module = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
       module->Name != 0; ++module) {
    // The name table is needed: the address table holds addresses once loaded.
    if (module->OriginalFirstThunk == 0) continue;
    if (_stricmp(reinterpret_cast<const char*>(base + module->Name), dll) != 0) continue;
    auto* name = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->OriginalFirstThunk);
    auto* address = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->FirstThunk);
    for (; name->u1.AddressOfData != 0; ++name, ++address) {
      if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal)) continue;
      auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + name->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) != 0) continue;
      if (slotCount_ == kSlotsMax) break;
      void** slot = reinterpret_cast<void**>(&address->u1.Function);
      original_ = *slot;
      WriteSlot(slot, replacement);
      slots_[slotCount_++] = slot;
    }
  }
}

ImportPatch::~ImportPatch() {
  for (int i = 0; i < slotCount_; ++i) WriteSlot(slots_[i], original_);
}

ImportPatch* ImportPatchSet::Add(const char* function, void* replacement) {
  patches_.push_back(std::make_unique<ImportPatch>(dll_, function, replacement));
  return patches_.back().get();
}

bool ImportPatchSet::applied() const {
  for (const auto& patch : patches_)
    if (!patch->applied()) return false;
  return true;
}
