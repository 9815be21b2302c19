// Model desktop: the screen's pixels and the graphics objects. Included
// through desktop.h.
#pragma once

#include <functional>

namespace desktop {

void ResetGraphics();

// --- The screen -------------------------------------------------------------
//
// What a plain copy from the screen's device context reads: the desktop and
// its ordinary windows. Layered windows are composed over it for the eye and
// for copies made with CAPTUREBLT only. Pixels are COLORREF values.
void ResizeScreen(int width, int height);
int ScreenWidth();
int ScreenHeight();
void FillScreen(COLORREF colour);
void PaintScreen(const std::function<COLORREF(int x, int y)>& colourAt);
COLORREF ScreenPixel(int x, int y);
void SetScreenPixel(int x, int y, COLORREF colour);

// A layered window's own surface, filled with one colour (it is created
// filled with its key colour's opposite, white).
void FillLayeredWindow(HWND hwnd, COLORREF colour);

// What the eye sees at (x, y): the screen with the visible layered windows
// composed over it, as a copy with CAPTUREBLT reads it.
COLORREF VisiblePixel(int x, int y);

// --- Faults -------------------------------------------------------------------
// The next CreateDIBSection fails as for lack of memory.
void FailNextDibSection();

// --- Accounting ---------------------------------------------------------------
// Device contexts got or created and not yet released or deleted, and GDI
// objects created and not yet deleted (stock objects not counted).
int LiveDeviceContexts();
int LiveGdiObjects();

}  // namespace desktop
