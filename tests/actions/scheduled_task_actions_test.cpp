// Remove, Ctrl+Z, F7 and Backup of "Task" rows against a stand-in Task
// Scheduler.
#include <gtest/gtest.h>

#include "actions/entry_actions.h"
#include "actions/entry_switch.h"
#include "actions/removal_undo.h"
#include "support/chosen_path_prompts.h"
#include "support/task_service_stand_in.h"
#include "support/temp_folder.h"

namespace {

const wchar_t kLogon[] = L"<LogonTrigger/>";
const wchar_t kUpdate[] = L"<Exec><Command>C:\\Program Files\\Contoso\\update.exe</Command>"
                          L"<Arguments>/logon</Arguments></Exec>";
const wchar_t kUser[] =
    L"<UserId>S-1-5-21-1-2-3-1001</UserId><LogonType>InteractiveToken</LogonType>";
const wchar_t kPath[] = L"\\Contoso\\Update";
const char kLocation[] = "\\Contoso\\Update";

std::string Bytes(const std::wstring& text) {
  return std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2);
}

TEST(ScheduledTaskActions, RemoveThenUndoRegistersTheSameTask) {
  TempFolder temp;
  TaskServiceStandIn service;
  const std::wstring xml = TaskXml(kLogon, kUpdate, kUser);
  service.tasks[kPath] = {xml, true, false, L"O:BAG:SYD:(A;;FA;;;BA)(A;;FR;;;AU)"};
  RemovalStore store(temp / "store");
  RemovalRecord kept;
  ASSERT_EQ(RemovalResult::Removed, RemoveEntryKept("Task", "Update", kLocation, store, kept));
  EXPECT_EQ(0u, service.tasks.count(kPath));

  RemovalRecord stored;
  ASSERT_TRUE(store.Load(kept.id, stored));
  EXPECT_EQ("O:BAG:SYD:(A;;FA;;;BA)(A;;FR;;;AU)", stored.descriptor);
  EXPECT_EQ("\"C:\\Program Files\\Contoso\\update.exe\" /logon", RemovalCommandText(stored));
  EXPECT_FALSE(RemovalTargetExists(stored));
  ASSERT_EQ(RestoreResult::Restored, RestoreRemoval(stored));
  ASSERT_EQ(1u, service.created.size());
  EXPECT_EQ(kPath, service.created[0].path);
  EXPECT_EQ(xml, service.created[0].xml);
  EXPECT_EQ(L"S-1-5-21-1-2-3-1001", service.created[0].userId);
  EXPECT_EQ(3, service.created[0].logonType);  // TASK_LOGON_INTERACTIVE_TOKEN
  EXPECT_EQ(L"O:BAG:SYD:(A;;FA;;;BA)(A;;FR;;;AU)", service.created[0].sddl);

  // A task that is there now is never replaced.
  service.tasks[kPath].xml = TaskXml(kLogon, L"<Exec><Command>other.exe</Command></Exec>");
  EXPECT_EQ(RestoreResult::NotAccessible, RestoreRemoval(stored));
  EXPECT_NE(xml, service.tasks[kPath].xml);
}

TEST(ScheduledTaskActions, PasswordTasksAndFileCopiesAreNotRemoved) {
  TempFolder temp;
  TaskServiceStandIn service;
  service.tasks[kPath] = {TaskXml(kLogon, kUpdate, L"<UserId>bob</UserId><LogonType>Password</LogonType>")};
  EXPECT_TRUE(IsEntryAccessible("Task", "Update", kLocation, EntryOwner()));
  EXPECT_FALSE(IsEntryRemovable("Task", "Update", kLocation, EntryOwner()));
  RemovalStore store(temp / "store");
  RemovalRecord kept;
  EXPECT_EQ(RemovalResult::NotSaved, RemoveEntryKept("Task", "Update", kLocation, store, kept));
  EXPECT_EQ(1u, service.tasks.count(kPath));

  service.tasks[kPath] = {TaskXml(kLogon, kUpdate)};
  EntryOwner copy;
  copy.readOnlyCopy = true;
  EXPECT_FALSE(IsEntryAccessible("Task", "Update", kLocation, copy));
  EXPECT_FALSE(RemoveEntry("Task", "Update", kLocation, copy));
  EXPECT_EQ(1u, service.tasks.count(kPath));
}

TEST(ScheduledTaskActions, SwitchIsReadBack) {
  TaskServiceStandIn service;
  service.tasks[kPath] = {TaskXml(kLogon, kUpdate)};
  EXPECT_EQ(ERROR_SUCCESS, SwitchEntry("Task", "Update", kLocation, true, EntryOwner()));
  EXPECT_FALSE(service.tasks[kPath].enabled);
  service.switchWorks = false;  // says done, does nothing
  EXPECT_EQ(ERROR_ACCESS_DENIED, SwitchEntry("Task", "Update", kLocation, false, EntryOwner()));
  EXPECT_FALSE(service.tasks[kPath].enabled);
  EXPECT_EQ(ERROR_SUCCESS, SwitchEntry("Task", "Update", kLocation, true, EntryOwner()));
}

TEST(ScheduledTaskActions, BackupWritesTheXmlOnlyWithActions) {
  TempFolder temp;
  TaskServiceStandIn service;
  const std::wstring xml = TaskXml(kLogon, kUpdate);
  service.tasks[kPath] = {xml};
  service.tasks[L"\\Empty"] = {TaskXml(kLogon, L"")};
  ChosenPathPrompts update(temp / "Update.xml"), empty(temp / "Empty.xml");
  BackupEntry("Task", "Update", kLocation, update, EntryOwner());
  EXPECT_EQ("\xFF\xFE" + Bytes(xml), TempFolder::ReadFile(temp / "Update.xml"));
  EXPECT_TRUE(update.warnings.empty());
  BackupEntry("Task", "Empty", "\\Empty", empty, EntryOwner());
  EXPECT_EQ(std::vector<std::string>{"Unable to save file!"}, empty.warnings);
  EXPECT_EQ(0, empty.dialogs);
  EXPECT_FALSE(TempFolder::Exists(temp / "Empty.xml"));
}

TEST(ScheduledTaskActions, RecordsNameOnlyTasksThatCanComeBack) {
  const std::string good = Bytes(TaskXml(kLogon, kUpdate));
  const struct {
    const char* name;
    const char* location;
    std::string bytes;
    const char* descriptor;
    bool allowed;
  } cases[] = {
      {"Update", "\\Contoso\\Update", good, "O:BAD:(A;;FA;;;BA)", true},
      {"Update", "\\Contoso\\Update", good, "", true},
      {"Own", "\\Microsoft\\Windows\\Own", good, "", false},
      {"Update", "\\Contoso\\..\\Update", good, "", false},
      {"Other", "\\Contoso\\Update", good, "", false},
      {"Update", "\\Contoso\\Update", Bytes(TaskXml(kLogon, L"")), "", false},
      {"Update", "\\Contoso\\Update",
       Bytes(TaskXml(kLogon, kUpdate, L"<LogonType>Password</LogonType>")), "", false},
      {"Update", "\\Contoso\\Update", good + "x", "", false},
      {"Update", "\\Contoso\\Update", good, "D:(A;;FA;;;BA", false},
  };
  for (const auto& c : cases) {
    RemovalRecord record;
    record.type = "Task";
    record.name = c.name;
    record.location = c.location;
    record.bytes = c.bytes;
    record.descriptor = c.descriptor;
    EXPECT_EQ(c.allowed, MayRestore(record)) << c.location << " " << c.descriptor;
  }
}

TEST(RemovalRecordFormat, EarlierRecordsStillRead) {
  RemovalRecord record;
  record.type = "Registry";
  record.descriptor = "O:BA";
  std::string text = RemovalRecordText(record);
  ASSERT_EQ(0u, text.find("Lumivane removal 3\r\n"));
  RemovalRecord read;
  ASSERT_TRUE(ParseRemovalRecord(text, read));
  EXPECT_EQ("O:BA", read.descriptor);
  // The second format: no descriptor, and none may be named.
  text[17] = '2';
  RemovalRecord second;
  EXPECT_FALSE(ParseRemovalRecord(text, second));
  text.erase(text.find("Descriptor "));
  second = RemovalRecord();
  ASSERT_TRUE(ParseRemovalRecord(text, second));
  EXPECT_EQ("Registry", second.type);
  EXPECT_EQ("", second.descriptor);
}

}  // namespace
