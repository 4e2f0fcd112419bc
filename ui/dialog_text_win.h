// Helpers that the destination and licence dialogs share: reading and
// filling dialog texts, and the question asked when a dialog is closed.
#pragma once

#include <windows.h>

#include "base/text.h"

// The whole text of dialog item id (code page 932), however long.
ByteString DialogItemText(HWND dialog, int id);

// Uses the item's own text as a format whose "%s" takes argument; the
// argument is data and never read as a format.
void FillDialogItemText(HWND dialog, int id, const char* argument);

// The close box: asks message 2004 with the product name and ends the dialog
// with IDCANCEL on Yes; on No the dialog stays.
void ConfirmCloseDialog(HWND dialog);
