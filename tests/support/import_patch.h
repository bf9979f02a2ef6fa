// Points this program's import of one DLL function at a stand-in for the life
// of the object, so a test can make a system call fail at a chosen moment.
#pragma once

#include <memory>
#include <vector>

class ImportPatch {
 public:
  ImportPatch(const char* dll, const char* function, void* replacement);
  ~ImportPatch();
  ImportPatch(const ImportPatch&) = delete;
  ImportPatch& operator=(const ImportPatch&) = delete;

  // False when the program does not import the function (nothing was changed).
  bool applied() const { return slotCount_ > 0; }
  // The system's function; stand-ins call it rather than the imported name,
  // which now leads back to them.
  void* original() const { return original_; }

 private:
  static constexpr int kSlotsMax = 4;
  void** slots_[kSlotsMax] = {};
  int slotCount_ = 0;
  void* original_ = nullptr;
};

// Stand-ins for several functions of one DLL, undone together.
class ImportPatchSet {
 public:
  explicit ImportPatchSet(const char* dll) : dll_(dll) {}

  // The new patch, whose original() the stand-in calls.
  ImportPatch* Add(const char* function, void* replacement);
  // False when any of the functions is not imported.
  bool applied() const;
  void Undo() { patches_.clear(); }

 private:
  const char* dll_;
  std::vector<std::unique_ptr<ImportPatch>> patches_;
};
