// The Extras menu: the system's boot and configuration files in the line editor.
#include "app/lumivane_dlg.h"

void CLumivaneDlg::OnEditAutoexecBat() {}
void CLumivaneDlg::OnEditAutoexecNt() {}
void CLumivaneDlg::OnEditConfigSys() {}
void CLumivaneDlg::OnEditConfigNt() {}
void CLumivaneDlg::OnEditSystemIni() {}
void CLumivaneDlg::OnEditWinIni() {}
void CLumivaneDlg::OnEditBootIni() {}
