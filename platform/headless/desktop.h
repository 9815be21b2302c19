// The model desktop behind the headless platform, as tests see it.
//
// The program calls the platform functions (user32.h, gdi32.h, ...); tests
// use the functions here to set the scene (screen pixels, keys, pointer),
// script the user who answers modal boxes and dialogs, let virtual time
// pass, inject faults, and read back what the program asked of the platform.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "../platform.h"

namespace desktop {

// Something the scripted user does while a modal box or dialog is open:
// let time pass, press keys, click a window.
using UserAction = std::function<void()>;

// Returns the whole model to its start: no windows or timers, clock at 0,
// every key up, a black 1920 x 1080 screen, no scripted answers, records or
// faults. Every test starts here.
void Reset();

// Uses of the platform that the real one would punish or leak: a handle
// released twice, a call on a released handle, a device context never
// released. Tests expect none.
void ReportMisuse(const std::string& what);
const std::vector<std::string>& Misuses();

}  // namespace desktop

#include "avifil32_model.h"
#include "comdlg32_model.h"
#include "gdi32_model.h"
#include "kernel32_model.h"
#include "msvfw32_model.h"
#include "user32_model.h"
