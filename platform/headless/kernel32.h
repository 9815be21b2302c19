// Base services (KERNEL32) of the headless platform: the few file calls the
// program makes.
#pragma once

#include "win_types.h"

#define OF_READ 0x00000000
#define OF_WRITE 0x00000001
#define OF_READWRITE 0x00000002
#define OF_SHARE_DENY_NONE 0x00000040
#define OF_CREATE 0x00001000

BOOL WINAPI DeleteFileA(LPCSTR path);
DWORD WINAPI GetLastError(void);
