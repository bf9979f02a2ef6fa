// The Help menu: the manual beside the program and the about box.
#include "app/about_dlg.h"
#include "app/lumivane_dlg.h"
#include "framework/prompts.h"
#include "util/file_utils.h"

void CLumivaneDlg::OnManual() {
  const std::string manual = ProgramFolder() + "\\Manual.html";
  // The shell's result is a pseudo-handle: 32 or less is an error code.
  INT_PTR opened = PromptShellOpen(m_hWnd, "open", manual.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  if (opened <= 32)
    MessageBox("No help is available!", "Help Is Not Installed", MB_OK | MB_ICONHAND);
}

void CLumivaneDlg::OnAbout() {
  CAboutDlg about;
  about.DoModal();
}
