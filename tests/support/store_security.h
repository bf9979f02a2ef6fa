// What the removal store asks of the system about trust, answered by the
// test: whether the process runs elevated (the token query), and the
// security descriptor of every file or folder (Wine keeps none of its own).
#pragma once

#include <string>

#include "support/import_patch.h"

class ElevationPatch {
 public:
  explicit ElevationPatch(bool elevated);
  ~ElevationPatch();
  bool applied() const { return patch_.applied(); }

 private:
  ImportPatch patch_;
  bool before_;
};

// Every GetSecurityInfo answers the descriptor of `sddl` while it lives.
class DescriptorPatch {
 public:
  explicit DescriptorPatch(std::string sddl);
  ~DescriptorPatch();
  bool applied() const { return patch_.applied(); }

 private:
  ImportPatch patch_;
};
