#include "recorder.h"

void ShowError(HWND owner, const char* text)
{
    MessageBoxA(owner, text, "ERROR", MB_OK | MB_ICONERROR);
}

void ShowWarning(HWND owner, const char* text)
{
    MessageBoxA(owner, text, "WARNING", MB_OK | MB_ICONWARNING);
}

void ShowInformation(HWND owner, const char* text)
{
    MessageBoxA(owner, text, "INFORMATION", MB_OK | MB_ICONINFORMATION);
}
