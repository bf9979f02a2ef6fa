// Walks a folder or a folder tree and hands every file or subfolder that passes
// the extension and name-fragment filters to a handler.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Receives one hit: a file's path, or a folder's path with a final backslash.
// The text lives only for the duration of the call.
using SearchHandler = void (*)(const char* path);

enum SearchMode : int32_t {
  FilesInFolder = 0,    // files of the start folder
  FilesInTree = 1,      // files at every depth
  FoldersInFolder = 2,  // subfolders of the start folder
  FoldersInTree = 3,    // subfolders at every depth
};

// Configuration errors throw std::invalid_argument; a folder of the tree that
// cannot be listed just contributes nothing.
class CFileSearch {
 public:
  // `directory` may be "-win", "-sys" or "-root". `szPattern` is a comma list of
  // extensions ("-?" for none), `szQuery` a comma list of name fragments; empty,
  // blank or "-all" accepts everything. Checked in argument order.
  CFileSearch(SearchHandler handler, const char* directory, const char* szPattern,
              const char* szQuery);
  virtual ~CFileSearch();

  void SetHandler(SearchHandler handler);
  // Leaves the stored directory alone when it throws.
  void SetDirectory(const char* directory);
  // Both empty their list first; when they throw, the tokens before the bad one stay.
  void SetPattern(const char* szPattern);
  void SetQuery(const char* szQuery);

  // Depth-first, in listing order; returns after the last handler call.
  void Search(SearchMode mode);
  // The recursive worker; `folder` ends in a backslash.
  void SearchFolder(const std::string& folder);

  // Whether a listing entry counts as a folder: only 26 exact attribute words do.
  static bool IsFolderAttribute(uint32_t attributes);
  // The extension filter, applied to file names.
  bool MatchesPattern(std::string_view name) const;
  // The fragment filter; in the file modes a name is seen without its extension.
  bool MatchesQuery(std::string_view name, SearchMode mode) const;

  const std::vector<std::string>& Extensions() const { return extensions_; }
  const std::vector<std::string>& Fragments() const { return fragments_; }
  // Absolute, with a final backslash and no slash.
  const std::string& Directory() const { return directory_; }

 private:
  enum class ListRules { Pattern, Query };
  static void ParseList(const char* text, std::vector<std::string>& list, ListRules rules);
  // `widePath` is `path` in UTF-16; `path` may hold '?' for characters the
  // code page lacks.
  void Walk(std::string& path, std::wstring& widePath);

  std::vector<std::string> extensions_;
  std::vector<std::string> fragments_;
  std::string directory_;
  SearchMode mode_ = FilesInFolder;
  SearchHandler handler_ = nullptr;
  mutable std::string lowered_;  // reused by MatchesQuery
};
