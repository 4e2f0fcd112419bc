// ShowMessage and the message catalogue in the string table. Every message
// box of the program goes through here.
#pragma once

#include <windows.h>

#include "base/text.h"

// MessageStyle values in use (MessageBoxA style words); 0 means exclamation.
constexpr UINT kStyleDefault = 0;
constexpr UINT kStyleStop = MB_ICONSTOP;
constexpr UINT kStyleQuestion = MB_YESNO | MB_ICONQUESTION;
constexpr UINT kStyleInformation = MB_ICONINFORMATION;

// Owner window of later message boxes (the background window once it
// exists); null before that.
void SetMessageOwner(HWND owner);
HWND MessageOwner();

// Shows string id formatted with the arguments (wvsprintfA rules: %s takes a
// const char*, %d an int) with the product/run-mode title; returns the
// MessageBoxA result (IDOK, IDYES, IDNO ...).
int ShowMessage(UINT style, UINT id, ...);

// Loads string id from the string table (code page 932 bytes).
ByteString LoadMessageText(UINT id);
// Loads string id and formats it like ShowMessage, without showing a box.
ByteString FormatMessageText(UINT id, ...);
// The title of message boxes: ProgramName + " インストーラ" or " アンインストーラ".
ByteString MessageTitle();
