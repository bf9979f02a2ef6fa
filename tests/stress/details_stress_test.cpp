// The main window's details worker under a storm of refreshes. A program of
// its own: it needs the main window's resources, whose manifest sets the
// process code page that the other stress tests do not expect.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/lumivane_app.h"
#include "app/lumivane_dlg.h"
#include "resource.h"
#include "support/details_wait.h"
#include "support/modal_script.h"
#include "support/registry_sandbox.h"
#include "support/temp_folder.h"

namespace {

const char kRun[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// F5 pressed again and again while the details of the rows before are still
// being read: each row ends with its own details, never another's.
TEST(DetailsStress, RefreshesWhileDetailsArrive) {
  RegistrySandbox sandbox;
  TempFolder temp;
  const int values = 150;
  for (int i = 0; i < values; ++i) {
    const std::string file = temp / ("p" + std::to_string(i) + ".exe");
    if (i % 2) temp.WriteFile("p" + std::to_string(i) + ".exe", "x");
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kRun, "v" + std::to_string(1000 + i),
                               "\"" + file + "\" /x");
  }
  CLumivaneApp app;
  CLumivaneDlg dialog;
  app.m_pMainWnd = &dialog;
  // Each refresh lists one more row before the others, so details meant for
  // the rows of an earlier refresh would land on the wrong ones. Rows are
  // checked as their details come.
  int added = 0;
  auto refresh = [&] {
    const std::string name = "a" + std::to_string(added++);
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kRun, name, "C:\\Nowhere\\" + name + ".exe");
    dialog.SendMessage(WM_COMMAND, ID_TASK_REFRESH);
  };
  auto check = [&](bool complete) {
    const CEntryList& list = dialog.EntryList();
    ASSERT_EQ(values + added, list.RowCount());
    for (int row = 0; row < list.RowCount(); ++row) {
      const std::string name = list.Row(row)->Text(1);
      const std::optional<EntryDetails> details = list.Row(row)->Details();
      ASSERT_TRUE(details || !complete);
      if (!details) continue;
      const int i = name[0] == 'v' ? std::stoi(name.substr(1)) - 1000 : 0;
      ASSERT_EQ(name[0] == 'a' ? "C:\\Nowhere\\" + name + ".exe"
                               : temp / ("p" + std::to_string(i) + ".exe"),
                details->imagePath);
      ASSERT_EQ(name[0] == 'a' || i % 2 == 0, details->imageMissing) << name;
    }
  };
  std::vector<ModalStep> steps(20, [&] {
    refresh();
    // Rows the worker posts that the next refresh makes stale.
    MSG message;
    for (int tries = 0; tries < 500 && !PeekMessageA(&message, dialog, WM_ENTRY_DETAILS,
                                                     WM_ENTRY_DETAILS, PM_NOREMOVE);
         ++tries)
      Sleep(2);
    Sleep(5);
    refresh();
    while (PeekMessageA(&message, dialog, WM_ENTRY_DETAILS, WM_ENTRY_DETAILS, PM_REMOVE)) {
      DispatchMessageA(&message);
      check(false);
    }
  });
  steps.push_back([&] {
    WaitForDetails(dialog);
    check(true);
  });
  RunModal(dialog, steps);
  EXPECT_EQ(40, added);
}

}  // namespace
