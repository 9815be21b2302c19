// The recording file: asking for its name and compressor, opening it with
// one compressed video stream, and completing it.
#include <algorithm>
#include <cstring>

#include "recorder.h"

namespace {

constexpr DWORD kUncompressedHandler = mmioFOURCC('D', 'I', 'B', ' ');

AVISTREAMINFOA DescribeVideoStream(const CaptureGeometry& geometry, short frameIntervalMs)
{
    static const char kStreamName[] = "Video #1";

    AVISTREAMINFOA info = {};
    info.fccType = streamtypeVIDEO;
    info.fccHandler = kUncompressedHandler;
    info.dwScale = 1;
    info.dwRate = static_cast<DWORD>(FramesPerSecond(frameIntervalMs));
    info.dwQuality = static_cast<DWORD>(-1);
    info.rcFrame.right = geometry.captureWidth;
    info.rcFrame.bottom = geometry.captureHeight;
    std::memcpy(info.szName, kStreamName, sizeof kStreamName);
    return info;
}

BITMAPINFOHEADER DescribeFrameFormat(const CaptureGeometry& geometry)
{
    BITMAPINFOHEADER format = {};
    format.biSize = sizeof(BITMAPINFOHEADER);
    format.biWidth = geometry.captureWidth;
    format.biHeight = geometry.captureHeight;  // positive: bottom-up rows
    format.biPlanes = 1;
    format.biBitCount = 24;
    format.biCompression = BI_RGB;
    format.biSizeImage = static_cast<DWORD>(geometry.frameBytes);
    return format;
}

// The compressor dialog opens on the uncompressed choice at default quality.
void PrepareCompressorChoice(COMPVARS* choice)
{
    std::memset(choice, 0, sizeof *choice);
    choice->cbSize = sizeof *choice;
    choice->dwFlags = ICMF_COMPVARS_VALID;
    choice->fccHandler = kUncompressedHandler;
    choice->lQ = ICQUALITY_DEFAULT;
}

// The dialog shows the data rate in kilobytes per second; the compression
// options take bytes per second.
DWORD BytesPerSecondFromKilobytes(LONG kilobytesPerSecond)
{
    if (kilobytesPerSecond <= 0)
        return 0;
    const long long bytes = static_cast<long long>(kilobytesPerSecond) * 1024;
    return static_cast<DWORD>(std::min<long long>(bytes, 0xFFFFFFFFLL));
}

AVICOMPRESSOPTIONS CompressionOptionsFrom(const COMPVARS& choice)
{
    AVICOMPRESSOPTIONS options = {};
    options.fccType = streamtypeVIDEO;
    options.fccHandler = choice.fccHandler;
    options.dwKeyFrameEvery = static_cast<DWORD>(choice.lKey);
    options.dwQuality = static_cast<DWORD>(choice.lQ);
    options.dwBytesPerSecond = BytesPerSecondFromKilobytes(choice.lDataRate);
    if (choice.lDataRate > 0)
        options.dwFlags |= AVICOMPRESSF_DATARATE;
    if (choice.lKey > 0)
        options.dwFlags |= AVICOMPRESSF_KEYFRAMES;
    options.lpParms = choice.lpState;
    options.cbParms = static_cast<DWORD>(choice.cbState);
    return options;
}

// Releases the open handles, the compressing stream first, each once.
void ReleaseFileHandles()
{
    RecorderState& recorder = g_recorder;
    if (recorder.compressedStream) {
        AVIStreamRelease(recorder.compressedStream);
        recorder.compressedStream = nullptr;
    }
    if (recorder.rawStream) {
        AVIStreamRelease(recorder.rawStream);
        recorder.rawStream = nullptr;
    }
    if (recorder.aviFile) {
        AVIFileRelease(recorder.aviFile);
        recorder.aviFile = nullptr;
    }
}

// Gives back everything a start took: the file's handles, the compressor
// choice and the AVIFile library's use.
void CloseRecordingFile()
{
    RecorderState& recorder = g_recorder;
    ReleaseFileHandles();
    if (recorder.compressorChosen) {
        ICCompressorFree(&recorder.compressorVars);
        recorder.compressorChosen = false;
    }
    if (recorder.libraryInUse) {
        AVIFileExit();
        recorder.libraryInUse = false;
    }
}

// A start that cannot complete leaves nothing behind: no open handle, and no
// file that holds a stream without a format.
void AbandonSetup(HWND frameWindow, const std::string& createdPath, const char* error)
{
    CloseRecordingFile();
    if (!createdPath.empty())
        DeleteFileA(createdPath.c_str());
    if (error)
        ShowError(frameWindow, error);
}

}  // namespace

std::string ChooseSaveFile(HWND owner)
{
    char path[MAX_PATH] = "";

    OPENFILENAMEA ofn;
    std::memset(&ofn, 0, sizeof ofn);
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = "AVI(*.avi)\0*.avi\0All files(*.*)\0*.*\0";
    ofn.lpstrFile = path;
    ofn.nMaxFile = sizeof path;
    ofn.Flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY;
    ofn.lpstrDefExt = "avi";
    ofn.lpstrTitle = "Save As..";

    if (!GetSaveFileNameA(&ofn))
        return std::string();
    return path;
}

// Opens a new recording: file name, picture size, compressor, file, stream,
// compressing stream and frame format. On success compressedStream is open;
// otherwise everything it took has been given back and the reason shown.
void BeginRecording(HWND frameWindow, short frameIntervalMs)
{
    RecorderState& recorder = g_recorder;

    const std::string path = ChooseSaveFile(frameWindow);
    if (path.empty())
        return;

    RECT windowRect = {};
    GetWindowRect(frameWindow, &windowRect);
    recorder.geometry = DeriveCaptureGeometry(windowRect);

    AVISTREAMINFOA streamInfo = DescribeVideoStream(recorder.geometry, frameIntervalMs);
    BITMAPINFOHEADER frameFormat = DescribeFrameFormat(recorder.geometry);

    AVIFileInit();
    recorder.libraryInUse = true;

    PrepareCompressorChoice(&recorder.compressorVars);
    if (!ICCompressorChoose(nullptr, ICMF_CHOOSE_KEYFRAME | ICMF_CHOOSE_DATARATE, &frameFormat, nullptr,
                            &recorder.compressorVars, nullptr)) {
        AbandonSetup(frameWindow, std::string(), nullptr);
        return;
    }
    recorder.compressorChosen = true;

    streamInfo.fccHandler = recorder.compressorVars.fccHandler;
    AVICOMPRESSOPTIONS options = CompressionOptionsFrom(recorder.compressorVars);

    if (AVIFileOpenA(&recorder.aviFile, path.c_str(), OF_WRITE | OF_CREATE | OF_SHARE_DENY_NONE, nullptr) != 0) {
        recorder.aviFile = nullptr;
        AbandonSetup(frameWindow, std::string(), "AVI file open Error!");
        return;
    }
    if (AVIFileCreateStreamA(recorder.aviFile, &recorder.rawStream, &streamInfo) != 0) {
        recorder.rawStream = nullptr;
        AbandonSetup(frameWindow, path, "AVI file create stream Error!");
        return;
    }
    if (AVIMakeCompressedStream(&recorder.compressedStream, recorder.rawStream, &options, nullptr) != 0) {
        recorder.compressedStream = nullptr;
        AbandonSetup(frameWindow, path, "AVI make compress stream Error!");
        return;
    }

    PostMessageA(frameWindow, WM_PAINT, 0, 0);

    if (AVIStreamSetFormat(recorder.compressedStream, 0, &frameFormat, static_cast<LONG>(sizeof frameFormat)) != 0)
        AbandonSetup(frameWindow, path, "AVI stream set format Error!");
}

void FinishRecording(HWND frameWindow)
{
    CloseRecordingFile();
    ShowInformation(frameWindow, "AVI File Succeed!");
}
