// A fresh, empty folder under the system's temporary folder, deleted with
// everything in it when the object goes.
#pragma once

#include <cstddef>
#include <string>

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // The folder's path, without a final backslash.
  const std::string& Path() const { return path_; }
  // Path + "\" + relative; WriteFile creates the folders on the way.
  std::string operator/(const std::string& relative) const { return path_ + "\\" + relative; }
  std::string WriteFile(const std::string& relative, const std::string& bytes) const;
  std::string MakeFolder(const std::string& relative) const;
  static std::string ReadFile(const std::string& path);
  static bool Exists(const std::string& path);
  // Files and folders directly in `folder`.
  static size_t EntryCount(const std::string& folder);

 private:
  std::string path_;
};

// An open handle to a file that keeps its data reachable once its name is
// gone, so a test can see what was written before the deletion. It shares
// everything, so it stands in no one's way.
class FileWitness {
 public:
  explicit FileWitness(const std::string& path);
  ~FileWitness();
  FileWitness(const FileWitness&) = delete;
  FileWitness& operator=(const FileWitness&) = delete;

  bool IsOpen() const;
  std::string Read() const;          // the whole content, from the start
  unsigned long Attributes() const;  // INVALID_FILE_ATTRIBUTES when unknown

 private:
  void* file_;
};
