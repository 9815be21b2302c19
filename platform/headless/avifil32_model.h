// Model desktop: the AVIFile library's bookkeeping and faults. Included
// through desktop.h.
#pragma once

#include <string>
#include <vector>

namespace desktop {

void ResetAviFile();

// The library writes real AVI 1.0 files, and is strict where that catches
// program bugs: a write starts at the stream's current length with exactly
// one sample, an uncompressed frame has exactly the format's frame size, the
// format is set at position 0 before the first frame (biSizeImage 0 or the
// frame size), and files are only created for writing, with one video
// stream. Handles released more often than handed out, calls on released
// handles and calls while the library is not initialised are reported as
// misuse.

// --- Faults -------------------------------------------------------------------
enum class AviCall { FileOpen, CreateStream, MakeCompressedStream, SetFormat, Write };
// The next call of this kind fails with this result and changes nothing.
// Faults queued for one kind are used one call at a time, in order.
void FailNextAviCall(AviCall call, HRESULT result);
// Bytes that AVI files may still take on the disk; a write past them fails
// as on a full disk. Negative: no limit (the start value). A new file takes
// kAviFileBaseBytes (its header area and index header) when it is opened, and
// every frame its chunk (8 bytes and the stored bytes, padded to even) and
// its 16-byte index entry when it is written, so that a file always has room
// to be completed.
void SetDiskFreeBytes(long long bytes);
long long DiskFreeBytes();
constexpr long long kAviFileBaseBytes = 2056;
// Largest AVI file the writer makes, index included; a write that would pass
// it fails. Starts at 2 GiB, where AVI 1.0 files break; a RIFF file cannot
// pass 4 GiB whatever the cap.
void SetAviFileSizeCap(unsigned long long bytes);

// --- Records ------------------------------------------------------------------
int AviFileInitCalls();
int AviFileExitCalls();
int LiveAviFiles();    // handles from AVIFileOpenA not yet released
int LiveAviStreams();  // stream handles not yet released

struct AviOpenRecord {
    std::string path;
    UINT mode;
    bool handlerNull;
    HRESULT result;
};
const std::vector<AviOpenRecord>& AviFileOpens();

// Stream descriptions given to AVIFileCreateStreamA.
const std::vector<AVISTREAMINFOA>& AviStreamsCreated();

struct CompressedStreamRecord {
    AVICOMPRESSOPTIONS options;
    bool handlerNull;
    HRESULT result;
};
const std::vector<CompressedStreamRecord>& AviCompressedStreams();

struct SetFormatRecord {
    LONG position;
    std::vector<BYTE> format;
    HRESULT result;
};
const std::vector<SetFormatRecord>& AviFormatsSet();

struct AviWriteRecord {
    LONG start;
    LONG samples;
    LONG bufferSize;
    DWORD flags;
    bool wantsSamplesWritten;
    bool wantsBytesWritten;
    HRESULT result;
    LONG bytesStored;  // what the frame took in the file once compressed; 0 if not written
};
const std::vector<AviWriteRecord>& AviWrites();

}  // namespace desktop
