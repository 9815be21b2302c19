// A frame window for the headless desktop: a layered, topmost window whose
// procedure hands key-downs and timer messages to the recorder, as the
// program's own frame window does.
#pragma once

#include "platform.h"

HWND CreateFrameWindowForTest(int x, int y, int width, int height);

// WM_PAINT messages the window has received since it was created.
int FramePaintCount();
