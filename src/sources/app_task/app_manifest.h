// The start-up tasks a packaged app's manifest (AppxManifest.xml) declares:
// every Extension of Category "windows.startupTask", in any namespace, with
// its StartupTask child. The manifest is read with the system's XmlLite.
#pragma once

#include <memory>
#include <string>
#include <vector>

struct ManifestStartupTask {
  std::wstring taskId;
  std::wstring displayName;  // as written: plain text or an ms-resource: reference
  std::wstring executable;   // the extension's, else its application's; may be empty
  std::wstring parameters;
  bool enabled = false;      // Enabled="true"
  bool fullTrust = false;    // a desktop program rather than a UWP app's background task
};

using ManifestStartupTasks = std::vector<ManifestStartupTask>;

// A manifest larger than this is not read; real ones are a few tens of KiB.
inline constexpr unsigned long ManifestSizeMax = 1024 * 1024;

// The tasks of a manifest held in memory. False when XmlLite cannot be loaded
// or the text is no well-formed XML (a document type, too deep, cut short):
// then no task at all, rather than those before the fault.
bool ParseManifestStartupTasks(const std::string& bytes, ManifestStartupTasks& tasks);

// The tasks of `<packageFolder>\AppxManifest.xml`. Only a regular file on a
// fixed local drive, on the disk now (not offline, not recalled on access) and
// at most ManifestSizeMax bytes is read; anything else has no tasks. A
// manifest is parsed again only when its size or last-write time changed.
std::shared_ptr<const ManifestStartupTasks> ReadManifestStartupTasks(
    const std::wstring& packageFolder);

// Drops the cached manifests that no ReadManifestStartupTasks asked for since
// the last call, so that the cache holds the installed packages only.
void ForgetUnusedManifests();
