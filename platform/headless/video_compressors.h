// The model's video compressors, shared by the compressor dialog (MSVFW32)
// and the compressing streams (AVIFIL32): which handlers exist, which input
// formats they take, the format and chunks they store, and the state blocks
// that the dialog hands out with a choice.
#pragma once

#include <cstdint>
#include <vector>

#include "gdi32.h"
#include "win_types.h"

namespace compressors {

// Every handler of the model, in the order the dialog lists them.
const std::vector<DWORD>& Handlers();
bool Exists(DWORD handler);

// Bytes of one uncompressed frame of a BI_RGB format (rows padded to 4 bytes),
// or 0 when the format is not uncompressed or too big to handle.
uint32_t UncompressedFrameBytes(const BITMAPINFOHEADER& format);

// Whether the compressor takes frames of this format: positive width and
// height, and biSizeImage 0 or the frame size. The uncompressed handler takes
// BI_RGB at 16, 24 or 32 bits; the run-length one 24-bit BI_RGB only.
bool TakesFormat(DWORD handler, const BITMAPINFOHEADER& input);

// The format the stream stores (its strf) for frames of `input`.
std::vector<BYTE> StoredFormat(DWORD handler, const BYTE* input, size_t inputSize);

// Compresses one frame of `input`'s format. Returns where the stored bytes are
// (the frame itself, or `scratch`) and sets their size and chunk id.
const BYTE* CompressFrame(DWORD handler, const BITMAPINFOHEADER& input, const BYTE* frame,
                          std::vector<BYTE>& scratch, uint32_t* storedSize, uint32_t* chunkId);

// --- State blocks -----------------------------------------------------------
//
// The run-length compressor's choice carries a small state block, which the
// program hands back as the compression options' parameters. Freed blocks
// keep their memory, filled with a poison pattern, until ResetStates, so a
// block used after it was freed is recognised instead of read at random.
bool HasState(DWORD handler);
LPVOID NewState(DWORD handler, LONG* size);
enum class StateCheck { Valid, Freed, Foreign };
// Whether these parameters are a state of this compressor (none at all is
// valid: the compressor's defaults).
StateCheck CheckState(DWORD handler, LPCVOID parms, DWORD size);
enum class FreeResult { Freed, AlreadyFreed, Unknown };
FreeResult FreeState(LPVOID state);
void ResetStates();

}  // namespace compressors
