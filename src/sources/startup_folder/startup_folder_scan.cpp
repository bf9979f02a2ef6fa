#include "sources/startup_folder/startup_folder_scan.h"

#include <algorithm>
#include <utility>

#include "scan/file_types.h"
#include "scan/registry_access.h"
#include "scan/startup_approved.h"
#include "details/user_environment.h"
#include "search/file_search.h"
#include "util/file_utils.h"
#include "util/string_utils.h"

std::vector<std::string> SearchHits;

namespace {

// Both spellings of the key are in use; the one with a blank is read first.
const char* const kShellFolderKeys[] = {
    "Software\\Microsoft\\Windows\\Current Version\\Explorer\\Shell Folders",
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
};
constexpr char kProfileStartup[] = "Start Menu\\Programs\\Startup";
constexpr char kEverything[] = "-all";

// Appends a candidate when the value can be read. A value of another type
// reads nothing and still counts: its empty text is refused by the search
// like any other empty folder text.
void AppendIfReadable(std::vector<RegistryLocation>& candidates, HKEY root, const char* rootName,
                      std::string subKey, const char* valueName) {
  RegistryLocation candidate;
  candidate.root = root;
  candidate.subKey = std::move(subKey);
  candidate.valueName = valueName;
  if (ReadStringValue(root, candidate.subKey, candidate.valueName, candidate.value) !=
      ERROR_SUCCESS)
    return;
  candidate.keyPath = rootName;
  candidate.keyPath += '\\';
  candidate.keyPath += candidate.subKey;
  candidates.push_back(std::move(candidate));
}

}  // namespace

std::vector<RegistryLocation> ReadShellStartupFolders() {
  std::vector<RegistryLocation> candidates;
  for (const char* key : kShellFolderKeys)
    AppendIfReadable(candidates, HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", key, "Common Startup");
  for (const char* key : kShellFolderKeys)
    AppendIfReadable(candidates, HKEY_CURRENT_USER, "HKEY_CURRENT_USER", key, "Startup");

  // Every key directly under HKEY_USERS is tried as a hive, whatever its name;
  // one without the key simply gives nothing.
  NameSet hives;
  EnumSubKeyNames(HKEY_USERS, std::string(), hives);
  for (const std::string& hive : hives) {
    for (const char* key : kShellFolderKeys)
      AppendIfReadable(candidates, HKEY_USERS, "HKEY_USERS", hive + '\\' + key, "Startup");
  }
  return candidates;
}

namespace {

// Runs one search that leaves its hits in SearchHits, which must be empty.
// False, with SearchHits emptied again, when anything in it throws; a walk cut
// short lists nothing rather than a part.
// `directory`, when given, gets the folder's text as the hits begin with it.
bool SearchInto(const std::string& folder, SearchMode mode, std::string* directory = nullptr) {
  try {
    CFileSearch search(CollectSearchHit, folder.c_str(), kEverything, kEverything);
    if (directory) *directory = search.Directory();
    search.Search(mode);
    return true;
  } catch (...) {
    SearchHits.clear();
    return false;
  }
}

// The start-up folder of every profile found beside the common desktop's.
void AppendProfileCandidates(std::vector<RegistryLocation>& candidates) {
  std::string commonDesktop;
  LONG result = ERROR_FILE_NOT_FOUND;
  for (const char* key : kShellFolderKeys) {
    commonDesktop.clear();
    result = ReadStringValue(HKEY_LOCAL_MACHINE, key, "Common Desktop", commonDesktop);
    if (result == ERROR_SUCCESS) break;
  }
  SearchHits.clear();
  if (result != ERROR_SUCCESS) return;

  // A root too near the top comes out empty, and the search refuses an empty
  // folder text: it never stands for the current folder or drive.
  if (!SearchInto(ProfileRootOf(std::move(commonDesktop)), FoldersInFolder)) return;
  std::string probe;
  for (std::string& hit : SearchHits) {
    hit += kProfileStartup;  // a folder hit ends in its backslash
    probe = hit;
    if (NormalizeFolderPath(probe)) {
      candidates.emplace_back();
      candidates.back().value = std::move(hit);
    }
  }
  SearchHits.clear();
}

// A profile found on the disk has no key: its user is its folder's name.
EntryOwner OwnerOfFolder(const RegistryLocation& candidate) {
  if (candidate.root) return OwnerOfKey(candidate.root, candidate.subKey);
  EntryOwner owner;
  owner.kind = EntryOwner::Kind::Profile;
  std::string profile = candidate.value.substr(0, candidate.value.size() - sizeof kProfileStartup + 1);
  if (EndsWithSeparator(profile)) profile.pop_back();
  owner.name = FileNameOf(profile);
  return owner;
}

}  // namespace

void CollectSearchHit(const char* path) {
  SearchHits.emplace_back(path);
}

std::string ProfileRootOf(std::string commonDesktop) {
  if (EndsWithSeparator(commonDesktop)) commonDesktop.pop_back();
  std::string folder = FolderOf(std::move(commonDesktop));
  if (EndsWithSeparator(folder)) folder.pop_back();
  return FolderOf(std::move(folder));
}

std::vector<RegistryLocation> StartupFolderCandidates() {
  std::vector<RegistryLocation> candidates = ReadShellStartupFolders();
  AppendProfileCandidates(candidates);
  return candidates;
}

void ScanStartupFolders(RowSink& sink) {
  const std::vector<RegistryLocation> candidates = StartupFolderCandidates();
  const bool approvals = SystemHonoursApproval();

  // Letter case aside, a folder text is searched once, in its first place;
  // texts that differ otherwise count as different folders.
  std::vector<std::string> searched;
  searched.reserve(candidates.size());
  FileTypeDescriptions descriptions;
  for (const RegistryLocation& candidate : candidates) {
    const std::string& folder = candidate.value;
    if (std::any_of(searched.begin(), searched.end(),
                    [&](const std::string& text) { return SameNameIgnoringCase(text, folder); }))
      continue;
    searched.push_back(folder);

    // Usually a folder that does not exist: it just gives no rows.
    std::string directory;
    if (!SearchInto(candidate.value, FilesInTree, &directory)) continue;
    // Windows starts only the files directly in a folder, and keeps a switch
    // for them when a Shell Folders value names the folder.
    ApprovalTable table;
    HKEY owner = nullptr;
    std::string ownerKey;
    const bool switched =
        approvals && FindFolderApprovalKey(candidates, candidate.value, owner, ownerKey);
    if (switched) table.Load(owner, ownerKey);
    EntryOwner user = OwnerOfFolder(candidate);
    // Remove acts only on the file this folder holds below this path.
    user.folderTextLength = directory.size();
    if (!SearchHits.empty()) FolderFinalPath(directory, user.folderFinalPath);
    // Every hit begins with the search's folder text: the files directly in
    // it are those without a separator after it, and whether the switch
    // applies to them is one question for all.
    const bool topSwitched = switched && IsSameFolder(directory, candidate.value);
    for (const std::string& hit : SearchHits) {
      // The description depends on the file name only.
      const std::string name = FileNameOf(hit);
      const size_t separator = FindLastCharOf(hit, "\\") + 1;
      EntryApproval approval;
      if (topSwitched && separator == directory.size())
        approval = table.Find(hit.substr(separator));
      sink.AddEntryRow(StartupFileType, name.c_str(), descriptions.Of(name.c_str()).c_str(),
                       hit.c_str(), RowImage(StartupFileImage, approval), approval, user);
    }
    SearchHits.clear();
  }
}
