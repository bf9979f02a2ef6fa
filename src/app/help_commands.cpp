// The Help menu: the manual beside the program and the about box.
#include "app/lumivane_dlg.h"

void CLumivaneDlg::OnManual() {}

void CLumivaneDlg::OnAbout() {}
