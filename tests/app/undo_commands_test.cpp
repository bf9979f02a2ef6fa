// Ctrl+Z and File > Removed Entries... driven through the running main window,
// against a sandboxed registry and a store in a scratch folder.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/lumivane_app.h"
#include "app/lumivane_dlg.h"
#include "actions/removal_undo.h"
#include "resource.h"
#include "util/file_utils.h"
#include "support/modal_script.h"
#include "support/registry_sandbox.h"
#include "support/scripted_prompts.h"
#include "support/store_security.h"
#include "support/task_service_stand_in.h"
#include "support/temp_folder.h"

namespace {

// Wine runs every program elevated; the window's tests run as a standard
// user, whose removals are kept in LOCALAPPDATA, unless a test says otherwise.
const StoreSecurityPatch g_storeSecurity;

const char kRun[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kSwitches[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";
const std::string kOff("\x03\0\0\0\x10\x20\x30\x40\x50\x60\x70\x01", 12);

// Type and raw bytes of the value Alpha and of its switch; "" for what is missing.
std::string Alpha() {
  std::string seen;
  for (const char* key : {kRun, kSwitches}) {
    DWORD type = REG_NONE;
    std::string bytes;
    if (RegistrySandbox::ReadValue(HKEY_CURRENT_USER, key, "Alpha", type, bytes))
      seen += std::to_string(type) + ":" + bytes + "|";
  }
  return seen;
}

class UndoCommandsTest : public ::testing::Test {
 protected:
  RegistrySandbox sandbox;
  TempFolder folder;
  CLumivaneApp app;
  ScriptedPrompts prompts;
  std::unique_ptr<CLumivaneDlg> dialog;
  std::string alpha;  // as seeded

  void SetUp() override {
    app.m_hAccelTable =
        LoadAcceleratorsA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAIN_ACCELERATORS));
    SetEnvironmentVariableA("LOCALAPPDATA", folder.Path().c_str());
    RegistrySandbox::SetString(HKEY_CURRENT_USER, kRun, "Before", "before.exe");
    RegistrySandbox::SetValue(HKEY_CURRENT_USER, kRun, "Alpha", REG_EXPAND_SZ, "%a%\0b", 5);
    RegistrySandbox::SetValue(HKEY_CURRENT_USER, kSwitches, "Alpha", REG_BINARY, kOff.data(), 12);
    alpha = Alpha();
  }
  void TearDown() override {
    SetEnvironmentVariableA("LOCALAPPDATA", nullptr);
    StoreSecurityPatch::elevated = false;
    StoreSecurityPatch::sddl.clear();
  }

  void RunMainWindow(std::vector<ModalStep> steps) {
    RunNewMainWindow(app, dialog, std::move(steps));
  }
  ModalStep RemoveAlpha(const std::string& name = "Alpha") {
    return [this, name] {
      CListCtrl& list = dialog->EntryList();
      for (int row = 0; row < list.GetItemCount(); ++row)
        if (list.GetItemText(row, 1) == name)
          list.SetItemState(row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
      prompts.answers.push_back(IDYES);
      PostMessageA(*dialog, WM_COMMAND, ID_TASK_REMOVE, 0);
    };
  }
  ModalStep CtrlZ() {
    return [this] { PostKey(dialog->EntryList(), 'Z', true); };
  }
  std::string SelectedName() {
    return dialog->EntryList().GetItemText(dialog->EntryList().GetNextItem(-1, LVNI_SELECTED), 1);
  }
  std::vector<std::string> Boxes() {
    std::vector<std::string> texts;
    for (const auto& box : prompts.messageBoxes)
      texts.push_back(box.caption + " " + std::to_string(box.type) + ": " + box.text);
    return texts;
  }
};

const char kRemoveQuestion[] = "Question 36: Remove this item?";
const char kOverwriteQuestion[] = "Warning 308: File exists.\nOverwrite it?";

TEST_F(UndoCommandsTest, CtrlZPutsBackTheExactValueAndSwitchOfThisWindowsRemoval) {
  std::string selected;
  RunMainWindow({RemoveAlpha(), CtrlZ(), [&] { selected = SelectedName(); }});
  EXPECT_EQ(alpha, Alpha());
  EXPECT_EQ("Alpha", selected);
  EXPECT_EQ(std::vector<std::string>{kRemoveQuestion}, Boxes());

  // A removal of an earlier window stays removed at Ctrl+Z.
  RunMainWindow({RemoveAlpha()});
  RunMainWindow({CtrlZ(), CtrlZ()});
  EXPECT_EQ("", Alpha());
}

// A scheduled task goes through the service and comes back registered anew.
TEST_F(UndoCommandsTest, CtrlZRegistersARemovedTaskAgain) {
  TaskServiceStandIn service;
  const std::wstring xml = TaskXml(L"<BootTrigger/>", L"<Exec><Command>u.exe</Command></Exec>");
  service.tasks[L"\\Contoso\\Update"] = {xml};
  size_t tasksAfterRemove = 1;
  std::string selected;
  RunMainWindow({RemoveAlpha("Update"), [&] { tasksAfterRemove = service.tasks.size(); }, CtrlZ(),
                 [&] { selected = SelectedName(); }});
  EXPECT_EQ(0u, tasksAfterRemove);
  EXPECT_EQ(xml, service.tasks.at(L"\\Contoso\\Update").xml);
  EXPECT_EQ("Update", selected);
  EXPECT_EQ(std::vector<std::string>{kRemoveQuestion}, Boxes());
}

// What is at the place now is replaced only after a Yes; a No keeps it and
// the record, which File > Removed Entries... restores later.
TEST_F(UndoCommandsTest, RestoreOntoAnExistingValueAsksFirst) {
  HWND removed = nullptr;
  RunMainWindow({RemoveAlpha(),
                 [&] {
                   RegistrySandbox::SetString(HKEY_CURRENT_USER, kRun, "Alpha", "new.exe");
                   prompts.answers.push_back(IDNO);
                 },
                 CtrlZ(), [&] { PostMessageA(*dialog, WM_COMMAND, ID_FILE_REMOVED_ENTRIES, 0); },
                 [&] {
                   removed = GetLastActivePopup(*dialog);
                   ASSERT_NE(nullptr, removed);
                   prompts.answers.insert(prompts.answers.end(), {IDYES, IDYES});
                   PostMessageA(removed, WM_COMMAND, IDC_RESTORE_REMOVED, 0);
                 },
                 [&] { PostMessageA(removed, WM_COMMAND, IDCANCEL, 0); }});
  EXPECT_EQ((std::vector<std::string>{kRemoveQuestion, kOverwriteQuestion,
                                      "Question 36: Restore this item?", kOverwriteQuestion}),
            Boxes());
  ASSERT_EQ(4u, prompts.messageBoxes.size());
  EXPECT_EQ(removed, prompts.messageBoxes[3].owner);
  EXPECT_EQ(alpha, Alpha());
}

// Ctrl+Z writes back what this window removed, whatever its record says by
// then; File > Removed Entries... shows the command a record would bring back.
TEST_F(UndoCommandsTest, CtrlZTrustsNoFile) {
  const std::string store = folder / "Ombrelle Studios\\Lumivane\\Removed";
  RunMainWindow({RemoveAlpha(),
                 [&] {
                   const RemovalRecord kept = RemovalStore(store).List().at(0);
                   std::string text = TempFolder::ReadFile(store + "\\" + kept.id);
                   text[text.find("2500610025") + 5] = '2';  // "%a%" in UTF-16 becomes "%b%"
                   ASSERT_TRUE(WriteFileWhole((store + "\\" + kept.id).c_str(), text));
                   EXPECT_EQ("%b%", RemovalCommandText(RemovalStore(store).List().at(0)));
                 },
                 CtrlZ()});
  EXPECT_EQ(alpha, Alpha());
}

// An elevated window keeps its records where only administrators can write,
// and only while that holds (Wine's own answer: owned by the user).
TEST_F(UndoCommandsTest, AnElevatedWindowKeepsItsRecordsForAdministratorsOnly) {
  StoreSecurityPatch::elevated = true;
  StoreSecurityPatch::sddl = "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
  const std::string store = RemovalStore::AdministratorsFolder();
  RunMainWindow({RemoveAlpha(), [&] { EXPECT_EQ(1u, TempFolder::EntryCount(store)); }, CtrlZ()});
  EXPECT_EQ(alpha, Alpha());
  StoreSecurityPatch::sddl.clear();
  prompts.messageBoxes.clear();
  RunMainWindow({RemoveAlpha()});
  EXPECT_EQ((std::vector<std::string>{kRemoveQuestion, "Error 16: Unable to save file!"}), Boxes());
  EXPECT_EQ(alpha, Alpha());
  EXPECT_EQ(0u, TempFolder::EntryCount(store));
}

TEST_F(UndoCommandsTest, AStoreThatCannotBeWrittenLeavesTheEntry) {
  SetEnvironmentVariableA("LOCALAPPDATA", folder.WriteFile("file", "not a folder").c_str());
  RunMainWindow({RemoveAlpha()});
  EXPECT_EQ((std::vector<std::string>{kRemoveQuestion, "Error 16: Unable to save file!"}), Boxes());
  EXPECT_EQ(alpha, Alpha());
}

}  // namespace
