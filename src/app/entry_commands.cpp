// Remove and Backup of the selected entry.
#include "app/lumivane_dlg.h"

void CLumivaneDlg::OnRemove() {}

void CLumivaneDlg::OnBackup() {}
