// "Task" rows: what a stand-in Task Scheduler lists, and the task files read
// where it lists nothing.
#include "sources/scheduled_task/scheduled_task_scan.h"

#include <gtest/gtest.h>

#include "recording_sink.h"
#include "sources/scheduled_task/task_xml.h"
#include "support/registry_sandbox.h"
#include "support/task_service_stand_in.h"
#include "support/temp_folder.h"
#include "util/text_encoding.h"

namespace {

const wchar_t kLogon[] = L"<LogonTrigger><Delay>PT30S</Delay></LogonTrigger>";
const wchar_t kBoot[] = L"<BootTrigger/>";
const wchar_t kUpdate[] =
    L"<Exec><Command>C:\\Program Files\\Contoso\\update.exe</Command>"
    L"<Arguments> /logon </Arguments></Exec>";

TEST(ScheduledTaskScan, ListsLogonAndBootTasksOutsideWindowsOwn) {
  RegistrySandbox sandbox;
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE,
                             "Software\\Classes\\CLSID\\{11111111-2222-3333-4444-555555555555}\\"
                             "InprocServer32",
                             "", "C:\\tools\\handler.dll");
  TaskServiceStandIn service;
  service.tasks[L"\\Contoso\\ContosoUpdate"] = {TaskXml(kLogon, kUpdate)};
  service.tasks[L"\\BootHelper"] = {TaskXml(
      kBoot, L"<ComHandler><ClassId>{11111111-2222-3333-4444-555555555555}</ClassId></ComHandler>"
             L"<Exec><Command>C:\\tools\\helper.exe</Command></Exec>")};
  service.tasks[L"\\TimeOnly"] = {
      TaskXml(L"<TimeTrigger><StartBoundary>2026-01-01T00:00:00</StartBoundary></TimeTrigger>",
              kUpdate)};
  service.tasks[L"\\OffTrigger"] = {
      TaskXml(L"<LogonTrigger><Enabled>false</Enabled></LogonTrigger>", kUpdate)};
  service.tasks[L"\\Hidden"] = {TaskXml(kLogon, kUpdate, L""), true, true};
  service.tasks[L"\\Microsoft\\Windows\\Own"] = {TaskXml(kLogon, kUpdate)};
  service.tasks[L"\\Switched"] = {TaskXml(kBoot, kUpdate), false};
  service.tasks[L"\\Contoso\\Deep\\Password"] = {TaskXml(
      kLogon, kUpdate, L"<UserId>CONTOSO\\nobody</UserId><LogonType>Password</LogonType>")};

  RecordingSink sink;
  ScanScheduledTasks(sink);
  const std::string update = "\"C:\\Program Files\\Contoso\\update.exe\" /logon";
  const std::vector<RecordedRow> expected = {
      {"Task", "BootHelper",
       "{11111111-2222-3333-4444-555555555555} (C:\\tools\\handler.dll) & C:\\tools\\helper.exe",
       "\\BootHelper", 4},
      {"Task", "Hidden", update, "\\Hidden", 4},
      {"Task", "Switched", update, "\\Switched", 9},
      {"Task", "ContosoUpdate", update, "\\Contoso\\ContosoUpdate", 4},
      {"Task", "Password", update, "\\Contoso\\Deep\\Password", 4},
  };
  EXPECT_EQ(expected, sink.rows);
  ASSERT_EQ(5u, sink.owners.size());
  EXPECT_EQ(EntryState::Disabled, sink.approvals[2].state);
  EXPECT_EQ(EntryState::Enabled, sink.approvals[3].state);
  // No principal, a SID, a name that resolves to none.
  EXPECT_EQ(EntryOwner::Kind::AllUsers, sink.owners[1].kind);
  EXPECT_EQ(EntryOwner::Kind::Hive, sink.owners[3].kind);
  EXPECT_EQ("S-1-5-18", sink.owners[3].name);
  EXPECT_EQ(EntryOwner::Kind::Profile, sink.owners[4].kind);
  EXPECT_EQ("CONTOSO\\nobody", sink.owners[4].name);
  EXPECT_FALSE(sink.owners[0].readOnlyCopy);

  ListedTask task;
  ASSERT_TRUE(FindListedTask("\\BootHelper", task));
  EXPECT_EQ("C:\\tools\\helper.exe", task.imageCommand);

  // Read again only when told: the list of the last reading stands.
  service.tasks.erase(L"\\Hidden");
  EXPECT_EQ(5u, CurrentTasks()->size());
  ForgetListedTasks();
  EXPECT_EQ(4u, CurrentTasks()->size());
}

std::string Utf16File(const std::wstring& text) {
  return "\xFF\xFE" + std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2);
}

TEST(ScheduledTaskScan, ReadsTaskFilesAsCopies) {
  TempFolder folder;
  folder.WriteFile("a", Utf16File(TaskXml(kLogon, kUpdate, L"", L"<Enabled>false</Enabled>")));
  folder.WriteFile("sub\\b", "\xEF\xBB\xBF<!-- Task definition created by Wine -->" +
                                 Utf8FromWide(TaskXml(kBoot, L"<Exec><Command>b.exe</Command></Exec>")
                                                  .substr(41)));
  folder.WriteFile("c", Utf8FromWide(TaskXml(kLogon, kUpdate)));                 // no mark
  folder.WriteFile("sub\\d", Utf16File(TaskXml(L"<IdleTrigger/>", kUpdate)));  // not at logon
  folder.WriteFile("e", Utf16File(L"<Task><Triggers>"));                         // cut short

  std::vector<RegisteredTaskText> files;
  ReadTaskFiles(folder.Path(), [&](const RegisteredTaskText& task) { files.push_back(task); });
  ASSERT_EQ(4u, files.size());
  EXPECT_EQ(L"\\a", files[0].path);
  EXPECT_EQ(L"\\sub\\b", files[2].path);

  TaskRows listed(true);
  TaskDefinition definition;
  for (const RegisteredTaskText& task : files) listed.Add(task, definition);
  const std::vector<ListedTask>& rows = listed.rows;
  ASSERT_EQ(2u, rows.size());
  EXPECT_EQ("\\a", rows[0].location);
  EXPECT_EQ("\"C:\\Program Files\\Contoso\\update.exe\" /logon", rows[0].command);
  EXPECT_FALSE(rows[0].enabled);
  EXPECT_EQ("b", rows[1].name);
  EXPECT_EQ("b.exe", rows[1].command);
  EXPECT_TRUE(rows[1].enabled);
  EXPECT_TRUE(rows[0].owner.readOnlyCopy && rows[1].owner.readOnlyCopy);
}

}  // namespace
