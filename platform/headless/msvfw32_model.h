// Model desktop: the compressors, the compressor dialog and the user who
// answers it. Included through desktop.h.
#pragma once

#include <string>
#include <vector>

namespace desktop {

void ResetCompressors();

// The model's compressors: "Full Frames (Uncompressed)" and a lossless
// run-length compressor for 24-bit frames, stored in the file in the
// Microsoft RLE format.
constexpr DWORD kUncompressedHandler = mmioFOURCC('D', 'I', 'B', ' ');
constexpr DWORD kRunLengthHandler = mmioFOURCC('m', 'r', 'l', 'e');

struct CompressorAnswer {
    bool cancel = false;
    DWORD fccHandler = kUncompressedHandler;
    LONG keyFrameEvery = 0;
    LONG quality = ICQUALITY_DEFAULT;
    LONG dataRateKBps = 0;
    UserAction whileOpen;
};
// Queues the answer for the next compressor dialog. A dialog that opens
// with no answer queued is cancelled and counted as unanswered. A handler
// that no compressor of the model has is returned as chosen all the same
// (as a compressor that is installed but broken would be).
void AnswerCompressorDialog(CompressorAnswer answer);
int UnansweredCompressorDialogs();

// What the program gave the dialog, copied when it opened.
struct CompressorDialogRecord {
    HWND owner;
    UINT flags;
    bool hasInput;
    BITMAPINFOHEADER input;
    COMPVARS before;
    bool dataNull;
    bool titleNull;
    std::vector<DWORD> offered;  // handlers able to take the input format
    BOOL result;
};
const std::vector<CompressorDialogRecord>& CompressorDialogs();

// Compressor choices the dialog filled (open compressor, state) and not yet
// freed with ICCompressorFree, and how often ICCompressorFree was called.
// The uncompressed choice holds neither and is not counted. A choice is
// freed only by ICCompressorFree, not by a later dialog over the same record.
int LiveCompressorChoices();
int CompressorFreeCalls();

}  // namespace desktop
