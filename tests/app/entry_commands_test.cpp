// Remove and Backup driven through the running main window, against a
// sandboxed registry and scratch files, with scripted answers.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/entry_list.h"
#include "app/lumivane_app.h"
#include "app/lumivane_dlg.h"
#include "resource.h"
#include "support/file_faults.h"
#include "support/modal_script.h"
#include "support/registry_sandbox.h"
#include "support/scripted_prompts.h"
#include "support/temp_folder.h"
#include "util/file_utils.h"

namespace {

const char kRun[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::string kHklmRun = std::string("HKEY_LOCAL_MACHINE\\") + kRun;
const std::string kHkcuRun = std::string("HKEY_CURRENT_USER\\") + kRun;

template <size_t N>
std::string Bytes(const char (&literal)[N]) {
  return std::string(literal, N - 1);
}

struct Row {
  std::string type, name, location;
  bool operator==(const Row& o) const {
    return type == o.type && name == o.name && location == o.location;
  }
};

std::ostream& operator<<(std::ostream& out, const Row& r) {
  return out << "{" << r.type << " | " << r.name << " | " << r.location << "}";
}

std::vector<Row> RowsOf(CListCtrl& list) {
  std::vector<Row> rows;
  for (int i = 0; i < list.GetItemCount(); ++i)
    rows.push_back({list.GetItemText(i, 0), list.GetItemText(i, 1), list.GetItemText(i, 3)});
  return rows;
}

// A row no scan produces: gone after a rebuild of the list, kept otherwise.
const Row kMarker = {"Marker", "marker", "nowhere"};

bool HasMarker(const std::vector<Row>& rows) {
  return std::find(rows.begin(), rows.end(), kMarker) != rows.end();
}

// The rows the registry scan gives for the values seeded by SeedRegistry.
const std::vector<Row> kScanRows = {{"Registry", "Alpha", kHklmRun},
                                    {"Registry", "Beta", kHklmRun},
                                    {"Registry", "", kHkcuRun},
                                    {"Registry", "Gamma", kHkcuRun}};

void SeedRegistry() {
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kRun, "Alpha", "alpha.exe");
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kRun, "Beta", "%WINDIR%\\beta.exe", REG_EXPAND_SZ);
  RegistrySandbox::SetString(HKEY_CURRENT_USER, kRun, "", "default.exe");
  RegistrySandbox::SetString(HKEY_CURRENT_USER, kRun, "Gamma", "\"C:\\Program Files\\g.exe\" /q");
}

enum class Command { Remove, Backup, SaveList };
enum class Binding { Key, Button, Menu, DoubleClick };

class EntryCommandsTest : public ::testing::Test {
 protected:
  RegistrySandbox sandbox;
  TempFolder folder;
  CLumivaneApp app;
  std::unique_ptr<CLumivaneDlg> dialog;  // a fresh main window for every run
  ScriptedPrompts prompts;
  HWND window = nullptr;
  std::vector<Row> rowsBefore, rowsAfter;
  int selectedAfter = -2;
  int focusedAfter = -2;

  void SetUp() override {
    app.m_hAccelTable =
        LoadAcceleratorsA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAIN_ACCELERATORS));
    SetEnvironmentVariableA("LOCALAPPDATA", folder.Path().c_str());  // Remove's store
  }
  void TearDown() override { SetEnvironmentVariableA("LOCALAPPDATA", nullptr); }

  void RunMainWindow(std::vector<ModalStep> steps) {
    RunNewMainWindow(app, dialog, std::move(steps));
  }

  void AddRow(const Row& row, int image = 0) {
    EntryListSink sink(dialog->EntryList());
    sink.AddEntryRow(row.type.c_str(), row.name.c_str(), "", row.location.c_str(), image, {});
  }
  void AddMarker() { AddRow(kMarker); }
  void Select(int row) {
    dialog->EntryList().SetItemState(row, LVIS_SELECTED | LVIS_FOCUSED,
                                     LVIS_SELECTED | LVIS_FOCUSED);
  }
  // Adds the row and selects it.
  void AddSelected(const Row& row, int image = 0) {
    AddRow(row, image);
    Select(dialog->EntryList().GetItemCount() - 1);
  }

  void Trigger(Command command, Binding binding) {
    if (command == Command::SaveList) {  // a menu command only
      PostMessageA(*dialog, WM_COMMAND, ID_FILE_SAVE_LIST, 0);
      return;
    }
    const bool remove = command == Command::Remove;
    CListCtrl& list = dialog->EntryList();
    switch (binding) {
      case Binding::Key:
        PostKey(list, remove ? VK_F8 : VK_F9);
        break;
      case Binding::Button:
        PostMessageA(dialog->GetDlgItem(remove ? IDC_REMOVE : IDC_BACKUP), BM_CLICK, 0, 0);
        break;
      case Binding::Menu:
        PostMessageA(*dialog, WM_COMMAND, remove ? ID_TASK_REMOVE : ID_TASK_BACKUP, 0);
        break;
      case Binding::DoubleClick: {
        // On the selected row: the list reports the double click as NM_DBLCLK
        // or NM_RDBLCLK to the dialog.
        RECT cell = {};
        cell.left = LVIR_BOUNDS;
        list.SendMessage(LVM_GETITEMRECT, std::max(0, list.GetNextItem(-1, LVNI_SELECTED)),
                         reinterpret_cast<LPARAM>(&cell));
        LPARAM point = MAKELPARAM(cell.left + 10, (cell.top + cell.bottom) / 2);
        PostMessageA(list, remove ? WM_LBUTTONDBLCLK : WM_RBUTTONDBLCLK,
                     remove ? MK_LBUTTON : MK_RBUTTON, point);
        break;
      }
    }
  }

  // Runs the main window: `prepare` once the list is filled, then the command
  // by `binding`; the rows are recorded before and after.
  void Run(Command command, const std::function<void()>& prepare, Binding binding = Binding::Menu) {
    RunMainWindow({[&] {
                     window = dialog->m_hWnd;
                     prepare();
                     rowsBefore = RowsOf(dialog->EntryList());
                     Trigger(command, binding);
                   },
                   [&] {
                     rowsAfter = RowsOf(dialog->EntryList());
                     selectedAfter = dialog->EntryList().GetNextItem(-1, LVNI_SELECTED);
                     focusedAfter = dialog->EntryList().GetNextItem(-1, LVNI_FOCUSED);
                   }});
  }
};

// ---------------------------------------------------------------- Remove

class RemoveTest : public EntryCommandsTest {
 protected:
  void SetUp() override {
    EntryCommandsTest::SetUp();
    SeedRegistry();
  }
  void Remove(const std::function<void()>& prepare, Binding binding = Binding::Menu) {
    Run(Command::Remove, prepare, binding);
  }
  void ExpectQuestionAsked() {
    ASSERT_EQ(1u, prompts.messageBoxes.size());
    EXPECT_EQ(window, prompts.messageBoxes[0].owner);
    EXPECT_EQ("Remove this item?", prompts.messageBoxes[0].text);
    EXPECT_EQ("Question", prompts.messageBoxes[0].caption);
    EXPECT_EQ(static_cast<UINT>(MB_YESNO | MB_ICONQUESTION), prompts.messageBoxes[0].type);
  }
  // A start-up row that names no file the scan could have listed is refused
  // before the question; any other row is asked about.
  void ExpectRefusedOrAsked(const Row& row) {
    if (row.type != "Start-Up") return ExpectQuestionAsked();
    ASSERT_EQ(1u, prompts.messageBoxes.size());
    EXPECT_EQ("Entry Not Accessible!", prompts.messageBoxes[0].text);
  }
};

TEST_F(RemoveTest, EmptyListAsksNothing) {
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, kRun);
  RegDeleteTreeA(HKEY_CURRENT_USER, kRun);
  Remove([] {});
  EXPECT_TRUE(rowsBefore.empty());
  EXPECT_TRUE(prompts.messageBoxes.empty());
}

TEST_F(RemoveTest, SelectedRegistryValueIsDeletedAndTheListRebuilt) {
  prompts.answers = {IDYES};
  Remove([&] {
    AddMarker();
    Select(0);
  });
  ExpectQuestionAsked();
  EXPECT_FALSE(RegistrySandbox::ValueExists(HKEY_LOCAL_MACHINE, kRun, "Alpha"));
  EXPECT_TRUE(RegistrySandbox::ValueExists(HKEY_LOCAL_MACHINE, kRun, "Beta"));
  EXPECT_EQ(std::vector<Row>(kScanRows.begin() + 1, kScanRows.end()), rowsAfter);
  EXPECT_EQ(-1, selectedAfter);
  EXPECT_EQ(-1, focusedAfter);
}

TEST_F(RemoveTest, DefaultValueIsDeleted) {
  prompts.answers = {IDYES};
  Remove([&] { Select(2); });
  EXPECT_FALSE(RegistrySandbox::ValueExists(HKEY_CURRENT_USER, kRun, ""));
  EXPECT_TRUE(RegistrySandbox::ValueExists(HKEY_CURRENT_USER, kRun, "Gamma"));
}

TEST_F(RemoveTest, NoSelectionAsksThenDeletesNothingAndRebuilds) {
  prompts.answers = {IDYES};
  Remove([&] { AddMarker(); });
  ExpectQuestionAsked();
  EXPECT_EQ(kScanRows, rowsAfter);
  EXPECT_FALSE(HasMarker(rowsAfter));
}

TEST_F(RemoveTest, AnswerNoDeletesNothingAndKeepsTheList) {
  prompts.answers = {IDNO};
  Remove([&] {
    AddMarker();
    Select(0);
  });
  ExpectQuestionAsked();
  EXPECT_TRUE(RegistrySandbox::ValueExists(HKEY_LOCAL_MACHINE, kRun, "Alpha"));
  EXPECT_EQ(rowsBefore, rowsAfter);
  EXPECT_TRUE(HasMarker(rowsAfter));
}

TEST_F(RemoveTest, ValueAlreadyGoneIsNotReported) {
  prompts.answers = {IDYES};
  Remove([&] {
    Select(0);
    RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kRun, "Alpha");
  });
  ExpectQuestionAsked();  // and nothing else
  EXPECT_EQ(std::vector<Row>(kScanRows.begin() + 1, kScanRows.end()), rowsAfter);
}

TEST_F(RemoveTest, CursorIsPutBack) {
  HCURSOR cross = LoadCursorA(nullptr, IDC_CROSS);
  HCURSOR after = nullptr;
  prompts.answers = {IDYES};
  RunMainWindow({[&] {
    Select(0);
    SetCursor(cross);
    dialog->SendMessage(WM_COMMAND, ID_TASK_REMOVE);
    after = GetCursor();
  }});
  EXPECT_FALSE(RegistrySandbox::ValueExists(HKEY_LOCAL_MACHINE, kRun, "Alpha"));
  EXPECT_EQ(cross, after);
}

// A row whose texts are not exactly a registry value's: nothing is deleted,
// and the list is rebuilt all the same.
struct RegistryRowCase {
  const char* label;
  Row row;
  bool deletes;
};

void PrintTo(const RegistryRowCase& c, std::ostream* out) {
  *out << c.label;
}

class RemoveRegistryRowTest : public RemoveTest,
                              public ::testing::WithParamInterface<RegistryRowCase> {};

TEST_P(RemoveRegistryRowTest, DeletesOnlyAnExactRegistryRow) {
  prompts.answers = {IDYES};
  Remove([&] { AddSelected(GetParam().row); });
  ExpectRefusedOrAsked(GetParam().row);
  EXPECT_EQ(!GetParam().deletes, RegistrySandbox::ValueExists(HKEY_LOCAL_MACHINE, kRun, "Alpha"));
  EXPECT_TRUE(RegistrySandbox::ValueExists(HKEY_LOCAL_MACHINE, kRun, "Beta"));
  std::vector<Row> expected = kScanRows;
  if (GetParam().deletes) expected.erase(expected.begin());
  EXPECT_EQ(expected, rowsAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RemoveRegistryRowTest,
    ::testing::Values(
        RegistryRowCase{"Exact", {"Registry", "Alpha", kHklmRun}, true},
        RegistryRowCase{"LowerCaseRootName",
                        {"Registry", "Alpha", "hkey_local_machine\\" + std::string(kRun)},
                        true},
        RegistryRowCase{"SlashAfterRoot",
                        {"Registry", "Alpha", "HKEY_LOCAL_MACHINE/" + std::string(kRun)},
                        true},
        RegistryRowCase{
            "ShortRootName", {"Registry", "Alpha", "HKLM\\" + std::string(kRun)}, false},
        RegistryRowCase{"RootNameWithExtra",
                        {"Registry", "Alpha", "HKEY_LOCAL_MACHINE2\\" + std::string(kRun)},
                        false},
        RegistryRowCase{"NoSeparator", {"Registry", "Alpha", "HKEY_LOCAL_MACHINE"}, false},
        RegistryRowCase{"EmptyLocation", {"Registry", "Alpha", ""}, false},
        RegistryRowCase{"LowerCaseType", {"registry", "Alpha", kHklmRun}, false},
        RegistryRowCase{"UpperCaseType", {"REGISTRY", "Alpha", kHklmRun}, false},
        RegistryRowCase{"TypeWithBlank", {"Registry ", "Alpha", kHklmRun}, false},
        RegistryRowCase{"EmptyType", {"", "Alpha", kHklmRun}, false},
        RegistryRowCase{"StartUpType", {"Start-Up", "Alpha", kHklmRun}, false}),
    [](const ::testing::TestParamInfo<RegistryRowCase>& info) {
      return std::string(info.param.label);
    });

TEST_F(RemoveTest, ReadOnlyStartupFileIsZeroedAndDeleted) {
  const std::string content = "MZ\x90\x00 start-up program";
  const std::string file = folder.WriteFile("Startup\\tool.exe", content);
  ASSERT_TRUE(SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY));
  {
    const FileWitness witness(file);
    ASSERT_TRUE(witness.IsOpen());
    prompts.answers = {IDYES};
    Remove([&] {
      AddMarker();
      AddSelected({"Start-Up", "tool.exe", file}, 1);
    });
    ExpectQuestionAsked();
    EXPECT_EQ(std::string(content.size(), '\0'), witness.Read());
  }
  EXPECT_FALSE(TempFolder::Exists(file));
  EXPECT_EQ(kScanRows, rowsAfter);
}

// A start-up entry that is another name of a file, here of a program's own
// .exe: refused, and the program keeps its bytes and its attributes.
TEST_F(RemoveTest, HardLinkedStartupFileIsRefused) {
  const std::string content = "MZ\x90\x00 the program itself";
  const std::string program = folder.WriteFile("Program\\lumivane.exe", content);
  const std::string entry = folder / "Startup\\lumivane.exe";
  folder.MakeFolder("Startup");
  ASSERT_TRUE(CreateHardLinkA(entry.c_str(), program.c_str(), nullptr));
  ASSERT_TRUE(SetFileAttributesA(program.c_str(), FILE_ATTRIBUTE_READONLY));
  prompts.answers = {IDYES};
  Remove([&] { AddSelected({"Start-Up", "lumivane.exe", entry}, 1); });
  ASSERT_EQ(1u, prompts.messageBoxes.size());
  EXPECT_EQ("Entry Not Accessible!", prompts.messageBoxes[0].text);
  EXPECT_TRUE(TempFolder::Exists(entry));
  EXPECT_EQ(content, TempFolder::ReadFile(program));
  EXPECT_TRUE(GetFileAttributesA(program.c_str()) & FILE_ATTRIBUTE_READONLY);
  SetFileAttributesA(program.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(RemoveTest, EmptyStartupFileIsDeleted) {
  const std::string file = folder.WriteFile("Startup\\empty.bat", "");
  prompts.answers = {IDYES};
  Remove([&] { AddSelected({"Start-Up", "empty.bat", file}, 1); });
  EXPECT_FALSE(TempFolder::Exists(file));
}

// Start-up rows that name no regular file, or are not exactly of that kind,
// leave the file system alone; the list is rebuilt.
TEST_F(RemoveTest, StartupRowsWithoutARegularFileTouchNothing) {
  const std::string kept = folder.WriteFile("Startup\\kept.exe", "kept");
  const std::string sub = folder.MakeFolder("Startup\\Folder");
  const std::string inside = folder.WriteFile("Startup\\Folder\\inside.exe", "inside");
  const Row rows[] = {
      {"Start-Up", "Folder", sub},
      {"Start-Up", "Folder", sub + "\\"},
      {"Start-Up", "missing.exe", folder / "Startup\\missing.exe"},
      {"Start-Up", "kept.exe", ""},
      {"start-up", "kept.exe", kept},
      {"Startup", "kept.exe", kept},
      {"Registry", "kept.exe", kept},
  };
  for (const Row& row : rows) {
    prompts.messageBoxes.clear();
    prompts.answers = {IDYES};
    Remove([&] {
      AddMarker();
      AddSelected(row, 1);
    });
    ExpectRefusedOrAsked(row);
    EXPECT_EQ(kScanRows, rowsAfter) << row;
    EXPECT_EQ("kept", TempFolder::ReadFile(kept)) << row;
    EXPECT_EQ("inside", TempFolder::ReadFile(inside)) << row;
  }
}

// Windows' own switch of a removed entry goes with it, or a later entry of
// the same name would start out disabled; an entry that stays keeps its own.
TEST_F(RemoveTest, RemovedEntryTakesItsSwitchAlong) {
  const std::string approved =
      "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\";
  const std::string off("\x03\0\0\0\x10\x20\x30\x40\x50\x60\x70\x01", 12);
  const std::string file = folder.WriteFile("Startup\\tool.exe", "tool");
  const std::string kept = folder.WriteFile("Startup\\kept.exe", "kept");
  RegistrySandbox::SetString(
      HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
      "Common Startup", folder / "Startup");
  for (const char* name : {"Alpha", "Beta"})
    RegistrySandbox::SetValue(HKEY_LOCAL_MACHINE, approved + "Run", name, REG_BINARY, off.data(),
                              12);
  for (const char* name : {"tool.exe", "kept.exe"})
    RegistrySandbox::SetValue(HKEY_LOCAL_MACHINE, approved + "StartupFolder", name, REG_BINARY,
                              off.data(), 12);
  // Open without leave to delete: its removal fails.
  HANDLE busy = CreateFileA(kept.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, busy);
  const Row rows[] = {{"Registry", "Alpha", kHklmRun},
                      {"Start-Up", "tool.exe", file},
                      {"Start-Up", "kept.exe", kept}};
  for (const Row& row : rows) {
    prompts.answers = {IDYES};
    Remove([&] { AddSelected(row, 1); });
  }
  CloseHandle(busy);
  EXPECT_FALSE(RegistrySandbox::ValueExists(HKEY_LOCAL_MACHINE, kRun, "Alpha"));
  EXPECT_FALSE(RegistrySandbox::ValueExists(HKEY_LOCAL_MACHINE, approved + "Run", "Alpha"));
  EXPECT_TRUE(RegistrySandbox::ValueExists(HKEY_LOCAL_MACHINE, approved + "Run", "Beta"));
  EXPECT_FALSE(TempFolder::Exists(file));
  EXPECT_FALSE(
      RegistrySandbox::ValueExists(HKEY_LOCAL_MACHINE, approved + "StartupFolder", "tool.exe"));
  EXPECT_TRUE(TempFolder::Exists(kept));
  EXPECT_TRUE(
      RegistrySandbox::ValueExists(HKEY_LOCAL_MACHINE, approved + "StartupFolder", "kept.exe"));
}

class RemoveBindingTest : public RemoveTest, public ::testing::WithParamInterface<Binding> {};

TEST_P(RemoveBindingTest, AsksThenRemoves) {
  const std::string file = folder.WriteFile("Startup\\tool.exe", "tool");
  prompts.answers = {IDYES, IDYES};
  Remove([&] { Select(1); }, GetParam());
  Remove([&] { AddSelected({"Start-Up", "tool.exe", file}, 1); }, GetParam());
  ASSERT_EQ(2u, prompts.messageBoxes.size());
  for (const auto& box : prompts.messageBoxes) EXPECT_EQ("Remove this item?", box.text);
  EXPECT_FALSE(RegistrySandbox::ValueExists(HKEY_LOCAL_MACHINE, kRun, "Beta"));
  EXPECT_TRUE(RegistrySandbox::ValueExists(HKEY_LOCAL_MACHINE, kRun, "Alpha"));
  EXPECT_FALSE(TempFolder::Exists(file));
}

TEST_P(RemoveBindingTest, AnswerNoKeepsEverything) {
  prompts.answers = {IDNO};
  Remove([&] { Select(1); }, GetParam());
  EXPECT_EQ(1u, prompts.messageBoxes.size());
  EXPECT_TRUE(RegistrySandbox::ValueExists(HKEY_LOCAL_MACHINE, kRun, "Beta"));
}

// Only an explicit Yes acts: a box that could not be shown (0), OK and Cancel
// delete nothing.
TEST_F(RemoveTest, OnlyYesRemoves) {
  const std::string file = folder.WriteFile("Startup\\tool.exe", "tool");
  for (int answer : {0, IDOK, IDCANCEL}) {
    prompts.answers = {answer, answer};
    Remove([&] { Select(0); });
    Remove([&] { AddSelected({"Start-Up", "tool.exe", file}, 1); });
    EXPECT_TRUE(RegistrySandbox::ValueExists(HKEY_LOCAL_MACHINE, kRun, "Alpha")) << answer;
    EXPECT_EQ("tool", TempFolder::ReadFile(file)) << answer;
  }
  EXPECT_EQ(6u, prompts.messageBoxes.size());
}

// A packaged app's task goes with its app: Remove is greyed in the menu, and
// every way to it only says so.
TEST_P(RemoveBindingTest, AppTaskIsOnlyExplained) {
  const std::string key =
      "Software\\Classes\\Local Settings\\Software\\Microsoft\\Windows\\CurrentVersion\\AppModel\\"
      "SystemAppData\\Tray_pubid\\Run";
  RegistrySandbox::SetDword(HKEY_CURRENT_USER, key, "State", 2);
  UINT menuState = 0;
  Remove(
      [&] {
        AddSelected({"App", "Tray", "HKEY_CURRENT_USER\\" + key}, 2);
        SendMessageA(*dialog, WM_ENTERMENULOOP, FALSE, 0);
        SendMessageA(*dialog, WM_INITMENUPOPUP, 0, 0);
        menuState = GetMenuState(GetMenu(*dialog), ID_TASK_REMOVE, MF_BYCOMMAND);
        SendMessageA(*dialog, WM_EXITMENULOOP, FALSE, 0);
      },
      GetParam());
  EXPECT_TRUE(menuState & MF_GRAYED);
  ASSERT_EQ(1u, prompts.messageBoxes.size());
  EXPECT_EQ("This entry goes with its app; it can only be disabled.", prompts.messageBoxes[0].text);
  EXPECT_EQ("Warning", prompts.messageBoxes[0].caption);
  EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONWARNING), prompts.messageBoxes[0].type);
  EXPECT_TRUE(RegistrySandbox::ValueExists(HKEY_CURRENT_USER, key, "State"));
}

INSTANTIATE_TEST_SUITE_P(AllBindings, RemoveBindingTest,
                         ::testing::Values(Binding::Key, Binding::Button, Binding::Menu,
                                           Binding::DoubleClick));

// ---------------------------------------------------------------- Backup

const std::string kRegistryFilter =
    Bytes("Registry Files (*.reg)\0*.reg\0All Files (*.*)\0*.*\0\0");
const std::string kAllFilesFilter = Bytes("All Files (*.*)\0*.*\0\0");

class BackupTest : public EntryCommandsTest {
 protected:
  void SetUp() override {
    EntryCommandsTest::SetUp();
    SeedRegistry();
  }
  void Backup(const std::function<void()>& prepare, Binding binding = Binding::Menu) {
    Run(Command::Backup, prepare, binding);
  }
  void ExpectWarning(const std::string& text, UINT type = MB_OK | MB_ICONEXCLAMATION) {
    ASSERT_EQ(1u, prompts.messageBoxes.size()) << text;
    EXPECT_EQ(window, prompts.messageBoxes[0].owner);
    EXPECT_EQ(text, prompts.messageBoxes[0].text);
    EXPECT_EQ("Warning", prompts.messageBoxes[0].caption);
    EXPECT_EQ(type, prompts.messageBoxes[0].type);
  }
  // Nothing was asked or written, and the list is as it was.
  void ExpectNothingHappened() {
    EXPECT_TRUE(prompts.messageBoxes.empty());
    EXPECT_TRUE(prompts.fileDialogs.empty());
    EXPECT_EQ(rowsBefore, rowsAfter);
  }
};

struct RegistryBackupCase {
  const char* label;
  int row;  // of kScanRows
  std::string proposedName;
  std::string line4;
};

void PrintTo(const RegistryBackupCase& c, std::ostream* out) {
  *out << c.label;
}

class BackupRegistryTest : public BackupTest,
                           public ::testing::WithParamInterface<RegistryBackupCase> {};

TEST_P(BackupRegistryTest, WritesTheRegistrationFile) {
  const RegistryBackupCase& c = GetParam();
  const std::string target = folder / "backup.reg";
  prompts.chosenFiles = {target};
  Backup([&] {
    AddMarker();
    Select(c.row);
  });
  ASSERT_EQ(1u, prompts.fileDialogs.size());
  const ScriptedPrompts::FileDialogCall& call = prompts.fileDialogs[0];
  EXPECT_TRUE(call.save);
  EXPECT_EQ(window, call.owner);
  EXPECT_EQ(c.proposedName, call.fileName);
  EXPECT_EQ("reg", call.defaultExtension);
  EXPECT_EQ(static_cast<DWORD>(OFN_HIDEREADONLY), call.flags);
  EXPECT_EQ(kRegistryFilter, call.filter);
  EXPECT_TRUE(prompts.messageBoxes.empty());
  EXPECT_EQ("REGEDIT4\r\n\r\n[" + kScanRows[c.row].location + "]\r\n" + c.line4 + "\r\n\r\n",
            TempFolder::ReadFile(target));
  EXPECT_EQ(rowsBefore, rowsAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Values, BackupRegistryTest,
    ::testing::Values(RegistryBackupCase{"String", 0, "Alpha.reg", "\"Alpha\"=\"alpha.exe\""},
                      RegistryBackupCase{
                          "Expandable", 1, "Beta.reg",
                          "\"Beta\"=hex(2):25,57,49,4e,44,49,52,25,5c,62,65,74,61,2e,65,78,65,00"},
                      RegistryBackupCase{"DefaultValue", 2, ".reg", "\"\"=\"default.exe\""},
                      RegistryBackupCase{"QuotesAndBackslashes", 3, "Gamma.reg",
                                         "\"Gamma\"=\"\\\"C:\\\\Program Files\\\\g.exe\\\" /q\""}),
    [](const ::testing::TestParamInfo<RegistryBackupCase>& info) {
      return std::string(info.param.label);
    });

TEST_F(BackupTest, ProposedNameHasNoInvalidCharacters) {
  RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kRun, "X/Y: \"Z\"", "z.exe");
  Backup([&] { AddSelected({"Registry", "X/Y: \"Z\"", kHklmRun}); });
  ASSERT_EQ(1u, prompts.fileDialogs.size());
  EXPECT_EQ("X Y   Z.reg", prompts.fileDialogs[0].fileName);
}

// Values that cannot be read as text: a warning, and no dialog.
TEST_F(BackupTest, UnreadableValuesAndOtherTypesAreNotAccessible) {
  const DWORD number = 7;
  RegistrySandbox::SetValue(HKEY_LOCAL_MACHINE, kRun, "Number", REG_DWORD, &number, sizeof number);
  RegistrySandbox::SetValue(HKEY_LOCAL_MACHINE, kRun, "Binary", REG_BINARY, "ab", 2);
  RegistrySandbox::SetValue(HKEY_LOCAL_MACHINE, kRun, "Multi", REG_MULTI_SZ, "a\0b\0", 5);
  const Row rows[] = {
      {"Registry", "Number", kHklmRun},
      {"Registry", "Binary", kHklmRun},
      {"Registry", "Multi", kHklmRun},
      {"Registry", "Missing", kHklmRun},
      {"Registry", "Alpha", "HKEY_LOCAL_MACHINE\\Software\\Missing"},
  };
  for (const Row& row : rows) {
    prompts.messageBoxes.clear();
    prompts.chosenFiles = {folder / "never.reg"};
    Backup([&] { AddSelected(row); });
    ExpectWarning("Entry Not Accessible!");
    EXPECT_TRUE(prompts.fileDialogs.empty()) << row;
    EXPECT_FALSE(TempFolder::Exists(folder / "never.reg")) << row;
  }
}

// Rows that are no entry, or no list at all: nothing is asked.
TEST_F(BackupTest, RowsOfNoKindDoNothing) {
  const std::string file = folder.WriteFile("tool.exe", "tool");
  const std::function<void()> prepares[] = {
      [&] {},  // nothing selected
      [&] {
        AddSelected({"registry", "Alpha", kHklmRun});
      },
      [&] {
        AddSelected({"Registry ", "Alpha", kHklmRun});
      },
      [&] {
        AddSelected({"start-up", "tool.exe", file});
      },
      [&] {
        AddSelected({"", "Alpha", kHklmRun});
      },
      [&] {
        AddSelected({"Registry", "Alpha", "HKLM\\" + std::string(kRun)});
      },
      [&] {
        AddSelected({"Registry", "Alpha", "HKEY_LOCAL_MACHINE"});
      },
  };
  for (const auto& prepare : prepares) {
    prompts.chosenFiles = {folder / "never.reg"};
    Backup(prepare);
    ExpectNothingHappened();
  }
  EXPECT_FALSE(TempFolder::Exists(folder / "never.reg"));
}

TEST_F(BackupTest, EmptyListDoesNothing) {
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, kRun);
  RegDeleteTreeA(HKEY_CURRENT_USER, kRun);
  Backup([] {});
  EXPECT_TRUE(rowsBefore.empty());
  ExpectNothingHappened();
}

TEST_F(BackupTest, CancelWritesNothing) {
  prompts.chosenFiles = {std::nullopt};
  Backup([&] { Select(0); });
  EXPECT_EQ(1u, prompts.fileDialogs.size());
  EXPECT_TRUE(prompts.messageBoxes.empty());
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA((folder / "*.*").c_str(), &found);
  int entries = 0;
  if (find != INVALID_HANDLE_VALUE) {
    do ++entries;
    while (FindNextFileA(find, &found));
    FindClose(find);
  }
  EXPECT_EQ(2, entries);  // . and ..
}

TEST_F(BackupTest, InvalidPathIsReported) {
  folder.MakeFolder("existing");
  const std::string file = folder.WriteFile("tool.exe", "tool");
  const std::string targets[] = {folder / "missing\\backup.reg", folder / "existing"};
  for (const std::string& target : targets) {
    for (const Row& row : {Row{"Registry", "Alpha", kHklmRun}, Row{"Start-Up", "tool.exe", file}}) {
      prompts.messageBoxes.clear();
      prompts.chosenFiles = {target};
      Backup([&] { AddSelected(row); });
      ExpectWarning("Invalid path!");
      EXPECT_FALSE(TempFolder::Exists(folder / "missing")) << row;
    }
  }
}

TEST_F(BackupTest, ExistingFileIsReplacedOnlyAfterYes) {
  const std::string file = folder.WriteFile("tool.exe", "new content");
  const std::string target = folder.WriteFile("old.bak", std::string(3000, 'o'));
  for (const Row& row : {Row{"Registry", "Alpha", kHklmRun}, Row{"Start-Up", "tool.exe", file}}) {
    prompts.messageBoxes.clear();
    prompts.answers = {IDNO};
    prompts.chosenFiles = {target};
    Backup([&] { AddSelected(row); });
    ExpectWarning("File exists.\nOverwrite it?", MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2);
    EXPECT_EQ(std::string(3000, 'o'), TempFolder::ReadFile(target)) << row;
  }

  prompts.messageBoxes.clear();
  prompts.answers = {IDYES};
  prompts.chosenFiles = {target};
  Backup([&] { AddSelected({"Registry", "Alpha", kHklmRun}); });
  EXPECT_EQ(1u, prompts.messageBoxes.size());
  EXPECT_EQ("REGEDIT4\r\n\r\n[" + kHklmRun + "]\r\n\"Alpha\"=\"alpha.exe\"\r\n\r\n",
            TempFolder::ReadFile(target));

  prompts.answers = {IDYES};
  prompts.chosenFiles = {target};
  Backup([&] { AddSelected({"Start-Up", "tool.exe", file}); });
  EXPECT_EQ("new content", TempFolder::ReadFile(target));
}

// Only an explicit Yes replaces: a box that could not be shown (0), OK and
// Cancel keep the file.
TEST_F(BackupTest, OnlyYesOverwrites) {
  const std::string file = folder.WriteFile("tool.exe", "new content");
  const std::string target = folder.WriteFile("old.bak", "old");
  for (int answer : {0, IDOK, IDCANCEL}) {
    for (const Row& row : {Row{"Registry", "Alpha", kHklmRun}, Row{"Start-Up", "tool.exe", file}}) {
      prompts.messageBoxes.clear();
      prompts.answers = {answer};
      prompts.chosenFiles = {target};
      Backup([&] { AddSelected(row); });
      ExpectWarning("File exists.\nOverwrite it?", MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2);
      EXPECT_EQ("old", TempFolder::ReadFile(target)) << answer << row;
    }
  }
}

// After Yes the file is replaced whole or not at all; the one replaced stays
// as it was when the new one cannot be written. A file that cannot be opened
// (held by another program) is said to be an invalid path for a registration
// file, as always; every other failure is an error.
struct BackupFailureCase {
  const char* name;
  std::function<void(FileFaults&)> fault;  // null: the target is held open
  std::string registryMessage, startupMessage;
};

void PrintTo(const BackupFailureCase& c, std::ostream* out) {
  *out << c.name;
}

class BackupFailureTest : public BackupTest,
                          public ::testing::WithParamInterface<BackupFailureCase> {};

TEST_P(BackupFailureTest, EarlierFileIsKept) {
  const BackupFailureCase& c = GetParam();
  const std::string file = folder.WriteFile("Startup\\tool.exe", std::string(100000, 't'));
  const std::string target = folder.WriteFile("old.bak", "earlier backup");
  for (const Row& row : {Row{"Registry", "Alpha", kHklmRun}, Row{"Start-Up", "tool.exe", file}}) {
    prompts.messageBoxes.clear();
    prompts.answers = {IDYES};
    prompts.chosenFiles = {target};
    HANDLE lock = INVALID_HANDLE_VALUE;
    std::unique_ptr<FileFaults> faults;
    Backup([&] {
      AddSelected(row);
      if (c.fault) {
        faults = std::make_unique<FileFaults>();
        ASSERT_TRUE(faults->applied());
        c.fault(*faults);
      } else {
        lock = CreateFileA(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                           nullptr);
      }
    });
    faults.reset();
    if (lock != INVALID_HANDLE_VALUE) CloseHandle(lock);
    const std::string& message = row.type == "Registry" ? c.registryMessage : c.startupMessage;
    ASSERT_EQ(2u, prompts.messageBoxes.size()) << row;
    EXPECT_EQ("File exists.\nOverwrite it?", prompts.messageBoxes[0].text);
    EXPECT_EQ(message, prompts.messageBoxes[1].text) << row;
    const bool error = message == "Unable to save file!";
    EXPECT_EQ(error ? "Error" : "Warning", prompts.messageBoxes[1].caption) << row;
    EXPECT_EQ(error ? 0x10u : 0x30u, prompts.messageBoxes[1].type) << row;
    EXPECT_EQ("earlier backup", TempFolder::ReadFile(target)) << row;
    EXPECT_EQ(2u, TempFolder::EntryCount(folder.Path())) << row;  // Startup and old.bak alone
  }
}

INSTANTIATE_TEST_SUITE_P(
    Steps, BackupFailureTest,
    ::testing::Values(
        BackupFailureCase{"HeldOpen", nullptr, "Unable to save file!", "Unable to save file!"},
        BackupFailureCase{"DiskFull",
                          [](FileFaults& f) { f.failWrite = [] { return ERROR_DISK_FULL; }; },
                          "Unable to save file!", "Unable to save file!"},
        BackupFailureCase{"CloseFails",
                          [](FileFaults& f) { f.failClose = [] { return ERROR_NETNAME_DELETED; }; },
                          "Unable to save file!", "Unable to save file!"},
        BackupFailureCase{"ReplaceFails",
                          [](FileFaults& f) {
                            f.failMove = [](const std::string&, const std::string&) {
                              return ERROR_ACCESS_DENIED;
                            };
                          },
                          "Unable to save file!", "Unable to save file!"}),
    [](const ::testing::TestParamInfo<BackupFailureCase>& info) {
      return std::string(info.param.name);
    });

TEST_F(BackupTest, StartupFileIsCopiedByteForByte) {
  const std::string content = Bytes("MZ\0\x01\r\n\n\r\x1a\xff tail\0");
  const std::string file = folder.WriteFile("Startup\\tool.exe", content);
  const std::string target = folder / "copy of tool.exe";
  prompts.chosenFiles = {target};
  Backup([&] {
    AddMarker();
    AddSelected({"Start-Up", "tool.exe", file}, 1);
  });
  ASSERT_EQ(1u, prompts.fileDialogs.size());
  const ScriptedPrompts::FileDialogCall& call = prompts.fileDialogs[0];
  EXPECT_TRUE(call.save);
  EXPECT_EQ(window, call.owner);
  EXPECT_EQ("tool.exe", call.fileName);
  EXPECT_FALSE(call.hasDefaultExtension);
  EXPECT_EQ(static_cast<DWORD>(OFN_HIDEREADONLY), call.flags);
  EXPECT_EQ(kAllFilesFilter, call.filter);
  EXPECT_TRUE(prompts.messageBoxes.empty());
  EXPECT_EQ(content, TempFolder::ReadFile(target));
  EXPECT_EQ(content, TempFolder::ReadFile(file));
  EXPECT_EQ(rowsBefore, rowsAfter);
}

TEST_F(BackupTest, StartupFileOntoItselfIsRefused) {
  const std::string content = "original\r\nbytes";
  const std::string file = folder.WriteFile("Startup\\tool.exe", content);
  std::string upperCase = file, slashes = file;
  for (char& c : upperCase) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  std::replace(slashes.begin(), slashes.end(), '\\', '/');
  const std::string link = folder / "other name.exe";
  ASSERT_TRUE(CreateHardLinkA(link.c_str(), file.c_str(), nullptr));
  for (const std::string& target : {file, upperCase, slashes, link}) {
    prompts.messageBoxes.clear();
    prompts.answers = {IDYES};
    prompts.chosenFiles = {target};
    Backup([&] { AddSelected({"Start-Up", "tool.exe", file}, 1); });
    ExpectWarning("Invalid path!");
    EXPECT_EQ(content, TempFolder::ReadFile(file)) << target;
  }
}

// The file went away after the list was filled (or while the dialog was open).
TEST_F(BackupTest, MissingStartupFileIsNotAccessibleAndCopiesNothing) {
  const std::string target = folder / "copy.exe";
  prompts.chosenFiles = {target};
  Backup([&] { AddSelected({"Start-Up", "gone.exe", folder / "gone.exe"}, 1); });
  EXPECT_EQ(0u, prompts.fileDialogs.size()) << "refused before a name is asked for";
  ExpectWarning("Entry Not Accessible!");
  EXPECT_FALSE(TempFolder::Exists(target));
}

class BackupBindingTest : public BackupTest, public ::testing::WithParamInterface<Binding> {};

TEST_P(BackupBindingTest, SavesTheSelectedEntry) {
  const std::string file = folder.WriteFile("Startup\\tool.exe", "tool");
  prompts.chosenFiles = {folder / "alpha.reg", folder / "tool copy.exe"};
  Backup([&] { Select(0); }, GetParam());
  Backup([&] { AddSelected({"Start-Up", "tool.exe", file}, 1); }, GetParam());
  EXPECT_EQ(2u, prompts.fileDialogs.size());
  EXPECT_TRUE(prompts.messageBoxes.empty());
  EXPECT_EQ("REGEDIT4\r\n\r\n[" + kHklmRun + "]\r\n\"Alpha\"=\"alpha.exe\"\r\n\r\n",
            TempFolder::ReadFile(folder / "alpha.reg"));
  EXPECT_EQ("tool", TempFolder::ReadFile(folder / "tool copy.exe"));
}

INSTANTIATE_TEST_SUITE_P(AllBindings, BackupBindingTest,
                         ::testing::Values(Binding::Key, Binding::Button, Binding::Menu,
                                           Binding::DoubleClick));

// ---------------------------------------------------------------- Save List

const std::string kCsvFilter = Bytes("CSV Files (*.csv)\0*.csv\0All Files (*.*)\0*.*\0\0");

class SaveListTest : public EntryCommandsTest {
 protected:
  void SetUp() override {
    EntryCommandsTest::SetUp();
    SeedRegistry();
  }
  void SaveList(const std::function<void()>& prepare = [] {}) { Run(Command::SaveList, prepare); }
};

TEST_F(SaveListTest, WritesTheRowsAsCsvWhereTheUserChooses) {
  const std::string target = folder / "list.csv";
  const std::string off("\x03\0\0\0\x10\x20\x30\x40\x50\x60\x70\x01", 12);
  RegistrySandbox::SetValue(
      HKEY_LOCAL_MACHINE,
      "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run", "Beta",
      REG_BINARY, off.data(), 12);
  prompts.chosenFiles = {target};
  SaveList([&] {
    AddRow({"Start-Up", "two\r\nlines, \"\xC3\xA9\"", "C:\\x.lnk"}, 1);
    Select(1);
  });
  ASSERT_EQ(1u, prompts.fileDialogs.size());
  const ScriptedPrompts::FileDialogCall& call = prompts.fileDialogs[0];
  EXPECT_TRUE(call.save);
  EXPECT_EQ(window, call.owner);
  EXPECT_EQ("Lumivane.csv", call.fileName);
  EXPECT_EQ("csv", call.defaultExtension);
  EXPECT_EQ(static_cast<DWORD>(OFN_HIDEREADONLY), call.flags);
  EXPECT_EQ(kCsvFilter, call.filter);
  EXPECT_TRUE(prompts.messageBoxes.empty());
  // Every row, selected or not, as the list shows it; the texts in UTF-8.
  const std::string e = "\xC3\xA9";  // the program's code page is UTF-8
  // With each row's details; a path with a blank is missing, a bare name unknown.
  const std::string me = OwnerUserName({EntryOwner::Kind::CurrentUser});
  EXPECT_EQ(
      "\xEF\xBB\xBFType,Name,Command,Location,State,ImagePath,Publisher,Signature,User\r\n"
      "Registry,Alpha,alpha.exe," +
          kHklmRun +
          ",enabled,,,n/a,All Users\r\n"
          "Registry,Beta,%WINDIR%\\beta.exe," +
          kHklmRun + ",disabled," + WindowsFolder() +
          "beta.exe,,missing,All Users\r\n"
          "Registry,,default.exe," +
          kHkcuRun + ",enabled,,,n/a," + me +
          "\r\n"
          "Registry,Gamma,\"\"\"C:\\Program Files\\g.exe\"\" /q\"," +
          kHkcuRun + ",enabled,C:\\Program Files\\g.exe,,missing," + me +
          "\r\n"
          "Start-Up,\"two\r\nlines, \"\"" +
          std::string(e) + "\"\"\",,C:\\x.lnk,n/a,,,n/a,All Users\r\n",
      TempFolder::ReadFile(target));
  EXPECT_EQ(rowsBefore, rowsAfter);
}

// Asked and warned as a backup is; a file that is not written stays as it was.
TEST_F(SaveListTest, TargetsNotWritten) {
  const std::string existing = folder.WriteFile("existing.csv", "earlier");
  const std::string readOnly = folder.WriteFile("read-only.csv", "earlier");
  ASSERT_TRUE(SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
  const std::string overwrite = "File exists.\nOverwrite it?";
  const struct {
    const char* label;
    std::optional<std::string> target;  // none: cancelled
    int answer;
    std::vector<std::string> messages;
  } cases[] = {
      {"cancelled", std::nullopt, IDOK, {}},
      {"existing file kept", existing, IDNO, {overwrite}},
      {"read-only file cannot be replaced", readOnly, IDYES, {overwrite, "Invalid path!"}},
      {"folder", folder.MakeFolder("folder"), IDOK, {"Invalid path!"}},
      {"missing folder", folder / "missing\\list.csv", IDOK, {"Invalid path!"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    prompts.messageBoxes.clear();
    prompts.answers = {c.answer};
    prompts.chosenFiles = {c.target};
    SaveList();
    std::vector<std::string> messages;
    for (const auto& box : prompts.messageBoxes) messages.push_back(box.text);
    EXPECT_EQ(c.messages, messages);
    EXPECT_EQ(rowsBefore, rowsAfter);
  }
  EXPECT_EQ("earlier", TempFolder::ReadFile(existing));
  EXPECT_EQ("earlier", TempFolder::ReadFile(readOnly));
  EXPECT_FALSE(TempFolder::Exists(folder / "missing"));
  SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);
}

}  // namespace
