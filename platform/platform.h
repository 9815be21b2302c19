// The platform interface of the program: the Windows headers on Windows, the
// headless stand-in elsewhere, and the picture class for both.
#pragma once

#ifdef _WIN32
#include <windows.h>
#include <commdlg.h>
#include <vfw.h>
#else
#include "headless/win_types.h"
#include "headless/kernel32.h"
#include "headless/user32.h"
#include "headless/gdi32.h"
#include "headless/comdlg32.h"
#include "headless/avifil32.h"
#include "headless/msvfw32.h"
#endif

#include "image.h"
