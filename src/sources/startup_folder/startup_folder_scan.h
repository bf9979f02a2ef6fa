// Lists the files in the start-up folders: those the Shell Folders values of
// the machine, the current user and every user hive name, and the
// "Start Menu\Programs\Startup" folder of every profile beside the common
// desktop's.
#pragma once

#include <string>
#include <vector>

#include "scan/registry_access.h"
#include "scan/row_sink.h"

// The Type text of its rows (sources/entry_source.h).
inline constexpr char StartupFileType[] = "Start-Up";

// Paths CollectSearchHit received, in order. Process-wide because a
// SearchHandler carries no context; the folder scan empties it around every
// search, so only one search with CollectSearchHit may run at a time.
extern std::vector<std::string> SearchHits;

// The SearchHandler of the folder scan: appends a copy of `path` to SearchHits.
void CollectSearchHit(const char* path);

// The folder two levels above the common desktop folder, with its final
// separator: "D:\Profiles\Public\Desktop" and "...\Desktop\" give
// "D:\Profiles\". Empty when the desktop folder is less than two levels deep.
std::string ProfileRootOf(std::string commonDesktop);

// The folders the Shell Folders values name, with where each was read:
// "Common Startup" of the machine, then "Startup" of the current user and of
// every hive, each under both spellings of the key, the blank one first.
// Values that cannot be read are left out; each text is as stored.
std::vector<RegistryLocation> ReadShellStartupFolders();

// Every folder the scan searches, in its order, repeats included: the
// ReadShellStartupFolders ones, then each profile's start-up folder that
// exists (with no root, and its text only).
std::vector<RegistryLocation> StartupFolderCandidates();

// Adds one "Start-Up" row per file found at any depth below each start-up
// folder, hidden and system files included; a folder text met again (letter
// case aside) is not searched again. Silent: what cannot be read or listed
// gives no row. A file directly in a folder that a Shell Folders value names
// carries its owner's switch (scan/startup_approved.h).
void ScanStartupFolders(RowSink& sink);
