#include "support/temp_folder.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

void DeleteTree(const std::string& folder) {
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      std::string path = folder + "\\" + name;
      SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
          !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        DeleteTree(path);
      else if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveDirectoryA(path.c_str());
      else
        DeleteFileA(path.c_str());
    } while (FindNextFileA(find, &found));
    FindClose(find);
  }
  RemoveDirectoryA(folder.c_str());
}

}  // namespace

TempFolder::TempFolder() {
  static int counter = 0;
  char base[MAX_PATH];
  GetTempPathA(MAX_PATH, base);
  path_ = std::string(base) + "lumivane-test-" + std::to_string(GetCurrentProcessId()) + "-" +
          std::to_string(++counter);
  DeleteTree(path_);
  if (!CreateDirectoryA(path_.c_str(), nullptr)) ADD_FAILURE() << "cannot create " << path_;
}

TempFolder::~TempFolder() {
  DeleteTree(path_);
}

std::string TempFolder::MakeFolder(const std::string& relative) const {
  std::string path = path_;
  std::stringstream parts(relative);
  std::string part;
  while (std::getline(parts, part, '\\')) {
    path += "\\" + part;
    CreateDirectoryA(path.c_str(), nullptr);
  }
  return path;
}

std::string TempFolder::WriteFile(const std::string& relative, const std::string& bytes) const {
  size_t slash = relative.rfind('\\');
  if (slash != std::string::npos) MakeFolder(relative.substr(0, slash));
  std::string path = *this / relative;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) ADD_FAILURE() << "cannot write " << path;
  return path;
}

std::string TempFolder::ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

bool TempFolder::Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

size_t TempFolder::EntryCount(const std::string& folder) {
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
  size_t count = 0;
  if (find == INVALID_HANDLE_VALUE) return count;
  do {
    if (std::string(found.cFileName) != "." && std::string(found.cFileName) != "..") ++count;
  } while (FindNextFileA(find, &found));
  FindClose(find);
  return count;
}

FileWitness::FileWitness(const std::string& path)
    : file_(CreateFileA(path.c_str(), GENERIC_READ,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, 0, nullptr)) {}

FileWitness::~FileWitness() {
  if (IsOpen()) CloseHandle(file_);
}

bool FileWitness::IsOpen() const {
  return file_ != INVALID_HANDLE_VALUE;
}

std::string FileWitness::Read() const {
  std::string content;
  if (!IsOpen() || SetFilePointer(file_, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER)
    return content;
  char buffer[4096];
  DWORD got = 0;
  while (::ReadFile(file_, buffer, sizeof buffer, &got, nullptr) && got > 0)
    content.append(buffer, got);
  return content;
}

unsigned long FileWitness::Attributes() const {
  BY_HANDLE_FILE_INFORMATION info;
  return IsOpen() && GetFileInformationByHandle(file_, &info) ? info.dwFileAttributes
                                                              : INVALID_FILE_ATTRIBUTES;
}
