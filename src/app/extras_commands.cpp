// The Extras menu: the system's boot and configuration files in the line editor.
#include "app/lumivane_dlg.h"
#include "editor/system_files.h"

void CLumivaneDlg::OnEditAutoexecBat() {
  EditSystemFile(*this, AutoexecBatFile);
}

void CLumivaneDlg::OnEditAutoexecNt() {
  EditSystemFile(*this, AutoexecNtFile);
}

void CLumivaneDlg::OnEditConfigSys() {
  EditSystemFile(*this, ConfigSysFile);
}

void CLumivaneDlg::OnEditConfigNt() {
  EditSystemFile(*this, ConfigNtFile);
}

void CLumivaneDlg::OnEditSystemIni() {
  EditSystemFile(*this, SystemIniFile);
}

void CLumivaneDlg::OnEditWinIni() {
  EditSystemFile(*this, WinIniFile);
}

void CLumivaneDlg::OnEditBootIni() {
  EditSystemFile(*this, BootIniFile);
}
