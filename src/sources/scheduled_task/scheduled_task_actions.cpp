// The write half of "Task" rows: a scheduled task, named by its path, acted
// on through Task Scheduler only. The task files are never written.
#include <windows.h>

#include <commdlg.h>
#include <sddl.h>
#include <taskschd.h>

#include "sources/entry_source_actions.h"
#include "sources/scheduled_task/scheduled_task_scan.h"
#include "sources/scheduled_task/task_service.h"
#include "sources/scheduled_task/task_xml.h"
#include "util/file_utils.h"
#include "util/text_encoding.h"

namespace {

const char kXmlFilesFilter[] = "XML Files (*.xml)|*.xml|All Files (*.*)|*.*|";

std::wstring XmlOfBytes(const std::string& bytes) {
  std::wstring xml(bytes.size() / 2, L'\0');
  bytes.copy(reinterpret_cast<char*>(&xml[0]), xml.size() * 2);
  return xml;
}

std::string BytesOfXml(const std::wstring& xml) {
  return std::string(reinterpret_cast<const char*>(xml.data()), xml.size() * 2);
}

bool IsNotFound(HRESULT result) {
  return result == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) ||
         result == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
}

// A path Task Scheduler can name a task by: "\" and plain names, no "." or
// ".." step, nothing of Windows' own.
bool IsPlainTaskPath(const std::wstring& path) {
  if (path.size() < 2 || path[0] != L'\\' || path.back() == L'\\' || IsWindowsOwnTask(path))
    return false;
  for (size_t start = 1, end; start <= path.size(); start = end + 1) {
    end = path.find(L'\\', start);
    if (end == std::wstring::npos) end = path.size();
    const std::wstring part = path.substr(start, end - start);
    if (part.empty() || part == L"." || part == L".." || part.front() == L' ' ||
        part.back() == L' ')
      return false;
    for (wchar_t c : part)
      if (c < 0x20 || std::wstring(L"<>:\"/|?*").find(c) != std::wstring::npos) return false;
  }
  return true;
}

// The task the row names, as the service has it now.
HRESULT ReadTask(TaskService& service, const std::string& location, RegisteredTaskText& task,
                 TaskDefinition& definition) {
  const std::wstring path = WideFromCodePage(location);
  if (!IsPlainTaskPath(path)) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
  const HRESULT result = service.Task(path, task);
  if (SUCCEEDED(result)) ParseTaskXml(task.xml, definition);
  return result;
}

// How RegisterTask is to log the task on, from its principal.
LONG LogonTypeOf(const TaskDefinition& definition) {
  static const struct {
    const wchar_t* name;
    TASK_LOGON_TYPE type;
  } kTypes[] = {
      {L"S4U", TASK_LOGON_S4U},
      {L"InteractiveToken", TASK_LOGON_INTERACTIVE_TOKEN},
      {L"Group", TASK_LOGON_GROUP},
      {L"ServiceAccount", TASK_LOGON_SERVICE_ACCOUNT},
  };
  for (const auto& known : kTypes)
    if (definition.logonType == known.name) return known.type;
  if (!definition.groupId.empty() && definition.userId.empty()) return TASK_LOGON_GROUP;
  // The system's own accounts log on as services.
  for (const wchar_t* service : {L"S-1-5-18", L"S-1-5-19", L"S-1-5-20"})
    if (definition.userId == service) return TASK_LOGON_SERVICE_ACCOUNT;
  return TASK_LOGON_INTERACTIVE_TOKEN;
}

class TaskActions : public EntrySourceActions {
 public:
  const char* Type() const override { return ScheduledTaskType; }

  // A task read from its file is never acted on; a task stored with its
  // user's password cannot be registered again, so it is not removed.
  bool IsAccessible(const std::string&, const std::string& location, const EntryOwner& owner,
                    bool oneName) const override {
    if (owner.readOnlyCopy) return false;
    std::unique_ptr<TaskService> service = ConnectTaskService();
    RegisteredTaskText task;
    TaskDefinition definition;
    return service && SUCCEEDED(ReadTask(*service, location, task, definition)) &&
           !(oneName && NeedsPassword(definition));
  }

  bool IsGone(const std::string&, const std::string& location, const EntryOwner&) const override {
    std::unique_ptr<TaskService> service = ConnectTaskService();
    RegisteredTaskText task;
    TaskDefinition definition;
    return service && IsNotFound(ReadTask(*service, location, task, definition));
  }

  bool Remove(const std::string& name, const std::string& location,
              const EntryOwner& owner) const override {
    std::unique_ptr<TaskService> service = ConnectTaskService();
    if (!service) return false;
    const std::wstring path = WideFromCodePage(location);
    if (IsPlainTaskPath(path)) service->Delete(path);
    ForgetListedTasks();
    return IsGone(name, location, owner);
  }

  // The task's XML as Task Scheduler gives it, as `schtasks /create /xml`
  // takes it back: UTF-16LE with its mark.
  void Backup(const std::string& name, const std::string& location, BackupPrompts& prompts,
              const EntryOwner&) const override {
    std::unique_ptr<TaskService> service = ConnectTaskService();
    RegisteredTaskText task;
    TaskDefinition definition;
    if (!service || FAILED(ReadTask(*service, location, task, definition))) {
      prompts.Warn(EntryNotAccessible, MB_OK | MB_ICONEXCLAMATION);
      return;
    }
    // A task without its actions (Wine's service keeps none) would come
    // back as a task that runs nothing.
    if (definition.actions.empty()) {
      prompts.Fail(UnableToSave);
      return;
    }
    std::string path;
    if (!ChooseWritableTarget({"xml", name + ".xml", OFN_HIDEREADONLY, kXmlFilesFilter}, prompts,
                              path))
      return;
    std::wstring xml = task.xml;
    if (xml.empty() || xml[0] != 0xFEFF) xml.insert(xml.begin(), wchar_t(0xFEFF));
    bool usable = false;
    if (!WriteFileWhole(path.c_str(), BytesOfXml(xml), &usable)) TellWriteFailure(usable, prompts);
  }

  bool HasOwnSwitch() const override { return true; }

  // put_Enabled, then the state read back: a change the service reported
  // but did not make (Wine's) is refused, never shown as done.
  LONG SwitchOwn(const std::string&, const std::string& location, const EntryOwner& owner,
                 bool disable) const override {
    if (owner.readOnlyCopy) return ERROR_ACCESS_DENIED;
    std::unique_ptr<TaskService> service = ConnectTaskService();
    RegisteredTaskText task;
    TaskDefinition definition;
    if (!service) return ERROR_ACCESS_DENIED;
    HRESULT result = ReadTask(*service, location, task, definition);
    if (IsNotFound(result)) return ERROR_FILE_NOT_FOUND;
    if (FAILED(result)) return ERROR_ACCESS_DENIED;
    if (task.enabled == !disable) return ERROR_SUCCESS;
    result = service->SetEnabled(task.path, !disable);
    ForgetListedTasks();
    if (FAILED(result) || FAILED(ReadTask(*service, location, task, definition)) ||
        task.enabled != !disable)
      return ERROR_ACCESS_DENIED;
    return ERROR_SUCCESS;
  }

  RemovalCapture Capture(RemovalRecord& record) const override {
    std::unique_ptr<TaskService> service = ConnectTaskService();
    if (!service) return RemovalCapture::Failed;
    RegisteredTaskText task;
    TaskDefinition definition;
    const HRESULT result = ReadTask(*service, record.location, task, definition);
    if (IsNotFound(result)) return RemovalCapture::NotKept;  // nothing left to remove
    std::wstring sddl;
    // Without its XML, its actions or its descriptor it could not come back
    // as it was.
    if (FAILED(result) || definition.actions.empty() || NeedsPassword(definition) ||
        FAILED(service->SecurityDescriptor(task.path, sddl)))
      return RemovalCapture::Failed;
    record.bytes = BytesOfXml(task.xml);
    record.descriptor = Utf8FromWide(sddl);
    return RemovalCapture::Kept;
  }

  // A task outside Windows' own, of this name, whose XML parses with an
  // action and needs no password, with a descriptor that reads.
  bool MayRestore(const RemovalRecord& record) const override {
    const std::wstring path = WideFromCodePage(record.location);
    if (!IsPlainTaskPath(path) || record.bytes.size() % 2 ||
        record.bytes.size() > TaskXmlSizeMax ||
        record.name != record.location.substr(record.location.rfind('\\') + 1))
      return false;
    TaskDefinition definition;
    if (!ParseTaskXml(XmlOfBytes(record.bytes), definition) || definition.actions.empty() ||
        NeedsPassword(definition))
      return false;
    if (record.descriptor.empty()) return true;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
            WideFromUtf8(record.descriptor).c_str(), SDDL_REVISION_1, &descriptor, nullptr))
      return false;
    LocalFree(descriptor);
    return true;
  }

  bool SwitchName(const RemovalRecord&, std::string&) const override { return false; }

  // A task that is there now is never replaced: WriteBack refuses it, so
  // nobody is asked to replace it.
  bool TargetExists(const RemovalRecord&) const override { return false; }

  std::string CommandText(const RemovalRecord& record) const override {
    TaskDefinition definition;
    return ParseTaskXml(XmlOfBytes(record.bytes), definition) ? TaskCommandText(definition)
                                                              : std::string();
  }

  RestoreResult WriteBack(const RemovalRecord& record) const override {
    std::unique_ptr<TaskService> service = ConnectTaskService();
    if (!service) return RestoreResult::RegistryNotWritten;
    const std::wstring xml = XmlOfBytes(record.bytes);
    TaskDefinition definition;
    ParseTaskXml(xml, definition);
    const std::wstring& user = definition.userId.empty() ? definition.groupId : definition.userId;
    const HRESULT result = service->Create(WideFromCodePage(record.location), xml, user,
                                           LogonTypeOf(definition),
                                           WideFromUtf8(record.descriptor));
    ForgetListedTasks();
    if (result == HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS)) return RestoreResult::NotAccessible;
    return SUCCEEDED(result) ? RestoreResult::Restored : RestoreResult::RegistryNotWritten;
  }
};

}  // namespace

const EntrySourceActions& ScheduledTaskActions() {
  static const TaskActions actions;
  return actions;
}
