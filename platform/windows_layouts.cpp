// Record sizes that the program's calls depend on, as the 32-bit platform
// defines them. Compiled in the Windows build only.
#include "platform.h"

static_assert(sizeof(OPENFILENAMEA) == 88, "OPENFILENAMEA must be the 88-byte record");
static_assert(sizeof(COMPVARS) == 64, "COMPVARS must be 64 bytes");
static_assert(sizeof(BITMAPINFOHEADER) == 40, "BITMAPINFOHEADER must be 40 bytes");
static_assert(sizeof(WNDCLASSEXA) == 48, "WNDCLASSEXA must be 48 bytes");
static_assert(sizeof(AVISTREAMINFOA) == 140, "AVISTREAMINFOA must be 140 bytes");
static_assert(sizeof(AVICOMPRESSOPTIONS) == 44, "AVICOMPRESSOPTIONS must be 44 bytes");
