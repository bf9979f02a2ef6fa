#include "sources/scheduled_task/scheduled_task_scan.h"

#include <sddl.h>
#include <taskschd.h>

#include <algorithm>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "details/image_resolution.h"
#include "scan/registry_access.h"
#include "sources/scheduled_task/task_xml.h"
#include "util/file_utils.h"
#include "util/text_encoding.h"

namespace {

std::string Shown(const std::wstring& wide) {
  std::string text;
  ShownTextFromWide(wide, text);
  return text;
}

// A path with a blank as one word, as the command line Task Scheduler makes.
std::wstring Quoted(const std::wstring& program) {
  if (program.empty() || program[0] == L'"' || program.find_first_of(L" \t") == std::wstring::npos)
    return program;
  return L'"' + program + L'"';
}

bool IsClassId(const std::wstring& text) {
  if (text.size() != 38 || text[0] != L'{' || text[37] != L'}') return false;
  for (size_t i = 1; i < 37; ++i) {
    const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
    if (dash ? text[i] != L'-' : !iswxdigit(text[i])) return false;
  }
  return true;
}

// The server a COM handler loads, as registered in the 64-bit view; empty
// when the class is not registered there.
std::string ComServer(const std::wstring& classId) {
  std::string server;
  if (IsClassId(classId))
    ReadStringValue(HKEY_LOCAL_MACHINE,
                    "Software\\Classes\\CLSID\\" + Shown(classId) + "\\InprocServer32", "", server);
  return server;
}

// Whose task it is: a SID, or an account name that resolves to one, is that
// user (named and with the environment as for a user hive); a name that does
// not resolve is shown as it is; no principal names the machine's.
EntryOwner OwnerOfPrincipal(const std::wstring& principal) {
  EntryOwner owner;
  if (principal.empty()) return owner;
  owner.kind = EntryOwner::Kind::Hive;
  // The SID in its one spelling ("SY" is S-1-5-18 too).
  char* text = nullptr;
  PSID sid = nullptr;
  if (ConvertStringSidToSidW(principal.c_str(), &sid)) {
    const bool spelled = ConvertSidToStringSidA(sid, &text);
    LocalFree(sid);
    if (spelled) {
      owner.name = text;
      LocalFree(text);
      return owner;
    }
  }
  BYTE buffer[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof buffer, domainSize = 256;
  wchar_t domain[256];
  SID_NAME_USE use;
  if (LookupAccountNameW(nullptr, principal.c_str(), buffer, &size, domain, &domainSize, &use) &&
      ConvertSidToStringSidA(buffer, &text)) {
    owner.name = text;
    LocalFree(text);
    return owner;
  }
  owner.kind = EntryOwner::Kind::Profile;
  owner.name = Shown(principal);
  return owner;
}

void AddTaskFiles(const std::wstring& folder, const std::wstring& below, size_t depth,
                  size_t& count, const TaskTextHandler& take) {
  WIN32_FIND_DATAW entry;
  HANDLE listing = FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &entry,
                                    FindExSearchNameMatch, nullptr, 0);
  if (listing == INVALID_HANDLE_VALUE) return;
  std::vector<std::wstring> files, folders;
  do {
    const std::wstring name = entry.cFileName;
    // A link may lead anywhere: it is no task of this folder.
    if (name == L"." || name == L".." || (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
      continue;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      folders.push_back(name);
    } else if (!entry.nFileSizeHigh && entry.nFileSizeLow <= TaskXmlSizeMax) {
      files.push_back(name);
    }
  } while (FindNextFileW(listing, &entry));
  FindClose(listing);
  const auto byName = [](const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_LESS_THAN;
  };
  std::sort(files.begin(), files.end(), byName);
  std::sort(folders.begin(), folders.end(), byName);
  for (const std::wstring& name : files) {
    if (count >= TaskFilesMax) return;
    HANDLE file = CreateFileW((folder + L'\\' + name).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) continue;
    std::string bytes;
    LARGE_INTEGER size = {};
    DWORD got = 0;
    // Its size again from the handle: the file may have changed since it was listed.
    if (GetFileType(file) == FILE_TYPE_DISK && GetFileSizeEx(file, &size) &&
        size.QuadPart <= static_cast<LONGLONG>(TaskXmlSizeMax)) {
      bytes.resize(static_cast<size_t>(size.QuadPart));
      if (!ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &got, nullptr)) got = 0;
      bytes.resize(got);
    }
    CloseHandle(file);
    RegisteredTaskText task;
    task.path = below + L'\\' + name;
    if (!DecodeTaskFile(bytes, task.xml)) continue;
    ++count;
    take(task);
  }
  if (depth + 1 >= TaskFolderDepthMax) return;
  for (const std::wstring& name : folders)
    AddTaskFiles(folder + L'\\' + name, below + L'\\' + name, depth + 1, count, take);
}

void AddServiceTasks(TaskService& service, const std::wstring& folder, size_t depth,
                     std::vector<RegisteredTaskText>& tasks) {
  service.Tasks(folder, TASK_ENUM_HIDDEN, tasks);
  if (depth + 1 >= TaskFolderDepthMax) return;
  std::vector<std::wstring> folders;
  service.Folders(folder, folders);
  for (const std::wstring& child : folders) AddServiceTasks(service, child, depth + 1, tasks);
}

struct TaskSnapshot {
  std::vector<ListedTask> tasks;
  std::unordered_map<std::string, size_t> byLocation;
};

std::mutex g_snapshotLock;
std::shared_ptr<const TaskSnapshot> g_snapshot;
HANDLE g_folderChange = INVALID_HANDLE_VALUE;

// One connection: where the service lists no task with a trigger or an
// action, the files are read instead, one at a time, keeping only rows.
std::shared_ptr<const TaskSnapshot> ReadSnapshot() {
  std::vector<RegisteredTaskText> tasks;
  if (std::unique_ptr<TaskService> service = ConnectTaskService())
    ReadServiceTasks(*service, tasks);
  TaskRows listed(false);
  bool defined = false;
  for (const RegisteredTaskText& task : tasks) {
    TaskDefinition definition;
    if (listed.Add(task, definition))
      defined = defined || !(definition.triggers.empty() && definition.actions.empty());
  }
  tasks.clear();
  auto snapshot = std::make_shared<TaskSnapshot>();
  const std::string folder = TaskFolder();
  const DWORD attributes = GetFileAttributesW(WideFromCodePage(folder).c_str());
  if (!defined && attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    TaskRows files(true);
    ReadTaskFiles(folder, [&](const RegisteredTaskText& task) {
      TaskDefinition definition;
      files.Add(task, definition);
    });
    snapshot->tasks = std::move(files.rows);
  } else {
    snapshot->tasks = std::move(listed.rows);
  }
  for (size_t i = 0; i < snapshot->tasks.size(); ++i)
    snapshot->byLocation.emplace(snapshot->tasks[i].location, i);
  return snapshot;
}

std::shared_ptr<const TaskSnapshot> Snapshot(bool read) {
  std::lock_guard<std::mutex> lock(g_snapshotLock);
  if (!read) return g_snapshot;
  if (g_folderChange == INVALID_HANDLE_VALUE)
    g_folderChange = FindFirstChangeNotificationW(
        WideFromCodePage(TaskFolder()).c_str(), TRUE,
        FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME | FILE_NOTIFY_CHANGE_SIZE |
            FILE_NOTIFY_CHANGE_LAST_WRITE);
  // Without a notification (no task folder) every refresh reads again.
  const bool changed = g_folderChange == INVALID_HANDLE_VALUE ||
                       WaitForSingleObject(g_folderChange, 0) != WAIT_TIMEOUT;
  if (g_snapshot && !changed) return g_snapshot;
  // Asked again before reading: a change made while reading counts next time.
  if (g_folderChange != INVALID_HANDLE_VALUE && changed &&
      !FindNextChangeNotification(g_folderChange)) {
    FindCloseChangeNotification(g_folderChange);
    g_folderChange = INVALID_HANDLE_VALUE;
  }
  g_snapshot = ReadSnapshot();
  return g_snapshot;
}

}  // namespace

std::string TaskFolder() {
  return NativeFilePath(SystemFolder() + "Tasks");
}

bool IsWindowsOwnTask(const std::wstring& path) {
  static const wchar_t kOwn[] = L"\\Microsoft\\Windows\\";
  const size_t length = wcslen(kOwn);
  return path.size() > length && CompareStringOrdinal(path.c_str(), static_cast<int>(length), kOwn,
                                                      static_cast<int>(length), TRUE) == CSTR_EQUAL;
}

void ReadServiceTasks(TaskService& service, std::vector<RegisteredTaskText>& tasks) {
  AddServiceTasks(service, L"\\", 0, tasks);
}

void ReadTaskFiles(const std::string& folder, const TaskTextHandler& take) {
  size_t count = 0;
  AddTaskFiles(WideFromCodePage(folder), L"", 0, count, take);
}

std::string TaskCommandText(const TaskDefinition& definition, std::string* imageCommand) {
  std::string command, program, server;
  for (const TaskAction& action : definition.actions) {
    std::string text;
    if (action.kind == TaskAction::Kind::Exec) {
      const std::string quoted = Shown(Quoted(action.command));
      text = action.arguments.empty() ? quoted : quoted + ' ' + Shown(action.arguments);
      if (program.empty()) program = quoted;
    } else if (action.kind == TaskAction::Kind::ComHandler) {
      const std::string path = ComServer(action.classId);
      text = Shown(action.classId) + (path.empty() ? "" : " (" + path + ")");
      if (server.empty() && !path.empty()) server = Shown(Quoted(WideFromCodePage(path)));
    } else {
      continue;
    }
    if (!command.empty()) command += " & ";
    command += text;
  }
  if (imageCommand) *imageCommand = program.empty() ? server : program;
  return command;
}

bool TaskRows::Add(const RegisteredTaskText& task, TaskDefinition& definition) {
  if (!ParseTaskXml(task.xml, definition)) return false;
  if (IsWindowsOwnTask(task.path) || !StartsAtLogonOrBoot(definition)) return true;
  ListedTask row;
  row.name = Shown(task.path.substr(task.path.rfind(L'\\') + 1));
  row.location = Shown(task.path);
  row.command = TaskCommandText(definition, &row.imageCommand);
  const std::wstring& principal =
      definition.userId.empty() ? definition.groupId : definition.userId;
  auto owner = owners_.find(principal);
  if (owner == owners_.end()) owner = owners_.emplace(principal, OwnerOfPrincipal(principal)).first;
  row.owner = owner->second;
  row.owner.readOnlyCopy = fromFiles_;
  row.enabled = fromFiles_ ? definition.enabled : task.enabled;
  rows.push_back(std::move(row));
  return true;
}

std::shared_ptr<const std::vector<ListedTask>> CurrentTasks() {
  std::shared_ptr<const TaskSnapshot> snapshot = Snapshot(true);
  return std::shared_ptr<const std::vector<ListedTask>>(snapshot, &snapshot->tasks);
}

void ForgetListedTasks() {
  std::lock_guard<std::mutex> lock(g_snapshotLock);
  g_snapshot.reset();
}

bool FindListedTask(const std::string& location, ListedTask& task) {
  const std::shared_ptr<const TaskSnapshot> snapshot = Snapshot(false);
  if (!snapshot) return false;
  const auto found = snapshot->byLocation.find(location);
  if (found == snapshot->byLocation.end()) return false;
  task = snapshot->tasks[found->second];
  return true;
}

void ScanScheduledTasks(RowSink& sink) {
  for (const ListedTask& task : *CurrentTasks()) {
    EntryApproval approval;
    approval.state = task.enabled ? EntryState::Enabled : EntryState::Disabled;
    sink.AddEntryRow(ScheduledTaskType, task.name.c_str(), task.command.c_str(),
                     task.location.c_str(), RowImage(ScheduledTaskImage, approval), approval,
                     task.owner);
  }
}
