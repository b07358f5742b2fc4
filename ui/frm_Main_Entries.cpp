// The entry editor and standard-folders commands of the main window.
#include "frm_Main.h"

void TformMain::AddEntry() {}           // filled in with the entry editor
void TformMain::EditEntry() {}          // filled in with the entry editor
void TformMain::ImportShellFolders() {} // filled in with the standard-folders import
