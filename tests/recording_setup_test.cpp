// Starting and finishing a recording: the dialogs, the file, its stream and
// format, and what a start that cannot complete leaves behind.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

#include "support/ffmpeg_reader.h"
#include "support/frame_window.h"
#include "support/recorder_fixture.h"

namespace {

using SetupTest = RecorderTest;

desktop::CompressorAnswer RunLength(LONG keyFrameEvery = 0, LONG quality = 7500, LONG dataRateKBps = 0)
{
    desktop::CompressorAnswer answer;
    answer.fccHandler = desktop::kRunLengthHandler;
    answer.keyFrameEvery = keyFrameEvery;
    answer.quality = quality;
    answer.dataRateKBps = dataRateKBps;
    return answer;
}

void ExpectNothingStarted(HWND frame, const std::string& titleBefore)
{
    EXPECT_EQ(g_recorder.mode, RecorderMode::Idle);
    EXPECT_FALSE(desktop::HasTimer(frame, CaptureTimerId));
    EXPECT_EQ(desktop::WindowTitle(frame), titleBefore);
    EXPECT_EQ(g_recorder.aviFile, nullptr);
    EXPECT_EQ(g_recorder.rawStream, nullptr);
    EXPECT_EQ(g_recorder.compressedStream, nullptr);
    EXPECT_EQ(CountBoxes("AVI File Succeed!"), 0);
}

TEST_F(SetupTest, SaveDialogIsAskedForAnAviFileOwnedByTheFrame)
{
    desktop::AnswerSaveAs(desktop::SaveAsAnswer{.cancel = true});
    desktop::PressKeys({VK_F5});

    ASSERT_EQ(desktop::SaveAsDialogs().size(), 1u);
    const desktop::SaveAsRecord& dialog = desktop::SaveAsDialogs()[0];
    EXPECT_EQ(dialog.structSize, sizeof(OPENFILENAMEA));
    EXPECT_EQ(dialog.owner, frame_);
    EXPECT_TRUE(dialog.ownerDisabledWhileOpen);
    // Each string ends with a zero, and the list with one more.
    const char filter[] = "AVI(*.avi)\0*.avi\0All files(*.*)\0*.*\0";
    EXPECT_EQ(dialog.filter, std::string(filter, sizeof filter));
    EXPECT_EQ(dialog.initialFile, "");
    EXPECT_EQ(dialog.maxFile, 260u);
    EXPECT_EQ(dialog.flags, static_cast<DWORD>(OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY));
    EXPECT_EQ(dialog.defaultExtension, "avi");
    EXPECT_EQ(dialog.title, "Save As..");
}

TEST_F(SetupTest, CancelledSaveDialogOpensNothing)
{
    const std::string title = desktop::WindowTitle(frame_);
    desktop::AnswerSaveAs(desktop::SaveAsAnswer{.cancel = true});
    desktop::PressKeys({VK_F5});

    ExpectNothingStarted(frame_, title);
    EXPECT_EQ(desktop::AviFileInitCalls(), 0);
    EXPECT_TRUE(desktop::CompressorDialogs().empty());
    EXPECT_TRUE(desktop::MessageBoxes().empty());
    EXPECT_TRUE(IsWindowEnabled(frame_));
}

TEST_F(SetupTest, CompressorDialogStartsOnUncompressedFramesOfThePictureSize)
{
    SetWindowPos(frame_, nullptr, 0, 0, 645, 483, SWP_NOMOVE | SWP_NOZORDER);
    desktop::AnswerSaveAs(desktop::SaveAsAnswer{.typed = PathFor("a.avi")});
    desktop::AnswerCompressorDialog(desktop::CompressorAnswer{.cancel = true});
    desktop::PressKeys({VK_F5});

    ASSERT_EQ(desktop::CompressorDialogs().size(), 1u);
    const desktop::CompressorDialogRecord& dialog = desktop::CompressorDialogs()[0];
    EXPECT_EQ(dialog.owner, nullptr);
    EXPECT_EQ(dialog.flags, static_cast<UINT>(ICMF_CHOOSE_KEYFRAME | ICMF_CHOOSE_DATARATE));
    EXPECT_TRUE(dialog.dataNull);
    EXPECT_TRUE(dialog.titleNull);
    ASSERT_TRUE(dialog.hasInput);
    BITMAPINFOHEADER expected = {};
    expected.biSize = 40;
    expected.biWidth = 640;
    expected.biHeight = 480;
    expected.biPlanes = 1;
    expected.biBitCount = 24;
    expected.biCompression = BI_RGB;
    expected.biSizeImage = 640 * 480 * 3;
    EXPECT_EQ(std::memcmp(&dialog.input, &expected, sizeof expected), 0);

    COMPVARS before = {};
    before.cbSize = sizeof(COMPVARS);
    before.dwFlags = ICMF_COMPVARS_VALID;
    before.fccHandler = mmioFOURCC('D', 'I', 'B', ' ');
    before.lQ = ICQUALITY_DEFAULT;
    EXPECT_EQ(std::memcmp(&dialog.before, &before, sizeof before), 0);
}

TEST_F(SetupTest, CancelledCompressorDialogEndsTheLibrarysUseAndOpensNoFile)
{
    const std::string title = desktop::WindowTitle(frame_);
    desktop::AnswerSaveAs(desktop::SaveAsAnswer{.typed = PathFor("a.avi")});
    desktop::AnswerCompressorDialog(desktop::CompressorAnswer{.cancel = true});
    desktop::PressKeys({VK_F5});

    ExpectNothingStarted(frame_, title);
    EXPECT_EQ(desktop::AviFileInitCalls(), 1);
    EXPECT_EQ(desktop::AviFileExitCalls(), 1);
    EXPECT_TRUE(desktop::AviFileOpens().empty());
    EXPECT_EQ(desktop::CompressorFreeCalls(), 0);  // the dialog filled nothing
    EXPECT_TRUE(desktop::MessageBoxes().empty());
    EXPECT_FALSE(std::filesystem::exists(PathFor("a.avi")));
}

TEST_F(SetupTest, StartOpensTheFileWithOneCompressedVideoStream)
{
    const std::string path = PathFor("clip.avi");
    desktop::PressKeys({VK_F3});
    StartRecording(path, RunLength(15, 7500, 0));
    expectOpenRecording_ = true;

    ASSERT_EQ(desktop::AviFileOpens().size(), 1u);
    EXPECT_EQ(desktop::AviFileOpens()[0].path, path);
    EXPECT_EQ(desktop::AviFileOpens()[0].mode, 0x1041u);
    EXPECT_TRUE(desktop::AviFileOpens()[0].handlerNull);

    ASSERT_EQ(desktop::AviStreamsCreated().size(), 1u);
    const AVISTREAMINFOA& info = desktop::AviStreamsCreated()[0];
    AVISTREAMINFOA expectedInfo = {};
    expectedInfo.fccType = mmioFOURCC('v', 'i', 'd', 's');
    expectedInfo.fccHandler = desktop::kRunLengthHandler;
    expectedInfo.dwScale = 1;
    expectedInfo.dwRate = 4;
    expectedInfo.dwQuality = 0xFFFFFFFF;
    expectedInfo.rcFrame = RECT{0, 0, 640, 480};
    std::strcpy(expectedInfo.szName, "Video #1");
    EXPECT_EQ(std::memcmp(&info, &expectedInfo, sizeof info), 0);

    ASSERT_EQ(desktop::AviCompressedStreams().size(), 1u);
    const AVICOMPRESSOPTIONS& options = desktop::AviCompressedStreams()[0].options;
    EXPECT_TRUE(desktop::AviCompressedStreams()[0].handlerNull);
    EXPECT_EQ(options.fccType, mmioFOURCC('v', 'i', 'd', 's'));
    EXPECT_EQ(options.fccHandler, desktop::kRunLengthHandler);
    EXPECT_EQ(options.dwKeyFrameEvery, 15u);
    EXPECT_EQ(options.dwQuality, 7500u);
    EXPECT_EQ(options.dwFlags, static_cast<DWORD>(AVICOMPRESSF_KEYFRAMES));
    EXPECT_EQ(options.lpFormat, nullptr);
    EXPECT_EQ(options.cbFormat, 0u);
    EXPECT_NE(options.lpParms, nullptr);  // the compressor's state, handed on
    EXPECT_EQ(options.lpParms, g_recorder.compressorVars.lpState);
    EXPECT_EQ(options.cbParms, static_cast<DWORD>(g_recorder.compressorVars.cbState));
    EXPECT_EQ(options.dwInterleaveEvery, 0u);

    ASSERT_EQ(desktop::AviFormatsSet().size(), 1u);
    EXPECT_EQ(desktop::AviFormatsSet()[0].position, 0);
    ASSERT_EQ(desktop::AviFormatsSet()[0].format.size(), 40u);
    BITMAPINFOHEADER format;
    std::memcpy(&format, desktop::AviFormatsSet()[0].format.data(), sizeof format);
    EXPECT_EQ(format.biWidth, 640);
    EXPECT_EQ(format.biHeight, 480);
    EXPECT_EQ(format.biBitCount, 24);
    EXPECT_EQ(format.biCompression, static_cast<DWORD>(BI_RGB));
    EXPECT_EQ(format.biSizeImage, 921600u);

    EXPECT_EQ(FramePaintCount(), 1);
    EXPECT_EQ(desktop::WindowTitle(frame_), "Lurvix: Capturing Start...");
    EXPECT_TRUE(desktop::HasTimer(frame_, CaptureTimerId));
    EXPECT_EQ(desktop::TimerPeriod(frame_, CaptureTimerId), 250u);
    EXPECT_EQ(g_recorder.mode, RecorderMode::Capturing);
    EXPECT_EQ(g_recorder.frameCount, 0);
    EXPECT_TRUE(desktop::MessageBoxes().empty());
    StopRecording();
    expectOpenRecording_ = false;
}

TEST_F(SetupTest, DataRateIsPassedInBytesPerSecondWithTheMatchingFlags)
{
    const struct {
        LONG keyFrameEvery;
        LONG dataRateKBps;
        DWORD bytesPerSecond;
        DWORD flags;
    } cases[] = {
        {0, 0, 0, 0},
        {0, 300, 307200, AVICOMPRESSF_DATARATE},
        {15, 0, 0, AVICOMPRESSF_KEYFRAMES},
        {1, 1, 1024, AVICOMPRESSF_DATARATE | AVICOMPRESSF_KEYFRAMES},
        {-1, -5, 0, 0},
        // More than the options can hold: the largest rate they can say.
        {0, 5000000, 0xFFFFFFFF, AVICOMPRESSF_DATARATE},
    };
    for (const auto& c : cases) {
        StartRecording(PathFor("rate.avi"), RunLength(c.keyFrameEvery, ICQUALITY_DEFAULT, c.dataRateKBps));
        StopRecording();
        ASSERT_FALSE(desktop::AviCompressedStreams().empty());
        const AVICOMPRESSOPTIONS& options = desktop::AviCompressedStreams().back().options;
        EXPECT_EQ(options.dwBytesPerSecond, c.bytesPerSecond) << c.dataRateKBps;
        EXPECT_EQ(options.dwFlags, c.flags) << c.keyFrameEvery << " " << c.dataRateKBps;
        EXPECT_EQ(options.dwKeyFrameEvery, static_cast<DWORD>(c.keyFrameEvery));
    }
}

TEST_F(SetupTest, StopCompletesAnEmptyPlayableFile)
{
    const struct {
        desktop::CompressorAnswer compressor;
        const char* codec;
    } cases[] = {
        {desktop::CompressorAnswer{}, "rawvideo"},
        {RunLength(), "msrle"},
    };
    for (const auto& c : cases) {
        desktop::Reset();
        g_recorder = RecorderState{};
        frame_ = CreateFrameWindowForTest(100, 100, 640, 480);
        const std::string path = PathFor(std::string(c.codec) + ".avi");

        desktop::PressKeys({VK_F3});
        StartRecording(path, c.compressor);
        StopRecording();

        EXPECT_EQ(g_recorder.mode, RecorderMode::Idle);
        EXPECT_FALSE(desktop::HasTimer(frame_, CaptureTimerId));
        EXPECT_EQ(desktop::WindowTitle(frame_), "Lurvix: Capturing Stop!");
        ASSERT_EQ(desktop::MessageBoxes().size(), 1u);
        const desktop::MessageBoxRecord& box = desktop::MessageBoxes()[0];
        EXPECT_EQ(box.text, "AVI File Succeed!");
        EXPECT_EQ(box.caption, "INFORMATION");
        EXPECT_EQ(box.type, static_cast<UINT>(MB_OK | MB_ICONINFORMATION));
        EXPECT_EQ(box.owner, frame_);
        EXPECT_EQ(desktop::CompressorFreeCalls(), 1);

        ffmpeg::StreamInfo info;
        std::string error;
        ASSERT_TRUE(ffmpeg::Probe(path, &info, &error)) << error;
        EXPECT_EQ(info.videoStreams, 1);
        EXPECT_EQ(info.codecName, c.codec);
        EXPECT_EQ(info.pixFmt, "bgr24");
        EXPECT_EQ(info.width, 640);
        EXPECT_EQ(info.height, 480);
        EXPECT_EQ(info.frameRate, "4/1");
        EXPECT_EQ(info.headerFrames, 0);
        EXPECT_EQ(info.decodedFrames, 0);
    }
}

// A start whose set-up fails at a step shows that step's error, gives back
// everything it took, removes the file it created, and does not start.
struct SetupFailure {
    const char* name;
    std::function<void(std::string& path, desktop::CompressorAnswer& compressor)> arrange;
    const char* error;
    bool fileCreated;
};

void PrintTo(const SetupFailure& failure, std::ostream* os)
{
    *os << failure.name;
}

class SetupFailureTest : public RecorderTest, public ::testing::WithParamInterface<SetupFailure> {};

TEST_P(SetupFailureTest, ShowsItsErrorAndLeavesNothingBehind)
{
    const SetupFailure& failure = GetParam();
    std::string path = PathFor("broken.avi");
    desktop::CompressorAnswer compressor = RunLength();
    failure.arrange(path, compressor);
    const std::string title = desktop::WindowTitle(frame_);

    StartRecording(path, compressor);

    ASSERT_EQ(desktop::MessageBoxes().size(), 1u);
    const desktop::MessageBoxRecord& box = desktop::MessageBoxes()[0];
    EXPECT_EQ(box.text, failure.error);
    EXPECT_EQ(box.caption, "ERROR");
    EXPECT_EQ(box.type, static_cast<UINT>(MB_OK | MB_ICONERROR));
    EXPECT_EQ(box.owner, frame_);
    ExpectNothingStarted(frame_, title);
    EXPECT_EQ(desktop::AviFileInitCalls(), 1);
    EXPECT_EQ(desktop::AviFileExitCalls(), 1);
    EXPECT_EQ(desktop::CompressorFreeCalls(), 1);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(desktop::DeletedFiles().size(), failure.fileCreated ? 1u : 0u);

    // Nothing lingers: the next start works.
    MoveWindow(frame_, 100, 100, 640, 480, TRUE);
    const std::string next = PathFor("next.avi");
    StartRecording(next);
    StopRecording();
    EXPECT_EQ(CountBoxes("AVI File Succeed!"), 1);
    EXPECT_TRUE(std::filesystem::exists(next));
}

INSTANTIATE_TEST_SUITE_P(
    Steps, SetupFailureTest,
    ::testing::Values(
        SetupFailure{"FolderMissing",
                     [](std::string& path, desktop::CompressorAnswer&) {
                         path = std::filesystem::path(path).parent_path().string() + "/no/such/folder/x.avi";
                     },
                     "AVI file open Error!", false},
        SetupFailure{"OpenRefused",
                     [](std::string&, desktop::CompressorAnswer&) {
                         desktop::FailNextAviCall(desktop::AviCall::FileOpen, AVIERR_FILEOPEN);
                     },
                     "AVI file open Error!", false},
        SetupFailure{"CreateStream",
                     [](std::string&, desktop::CompressorAnswer&) {
                         desktop::FailNextAviCall(desktop::AviCall::CreateStream, AVIERR_MEMORY);
                     },
                     "AVI file create stream Error!", true},
        SetupFailure{"CompressorMissing",
                     [](std::string&, desktop::CompressorAnswer& compressor) {
                         compressor.fccHandler = mmioFOURCC('X', 'X', 'X', 'X');
                     },
                     "AVI make compress stream Error!", true},
        SetupFailure{"FormatRefused",
                     [](std::string&, desktop::CompressorAnswer&) {
                         desktop::FailNextAviCall(desktop::AviCall::SetFormat, AVIERR_BADFORMAT);
                     },
                     "AVI stream set format Error!", true},
        // A window too small for one 8 x 8 block gives a picture the
        // compressor cannot take.
        SetupFailure{"EmptyPicture",
                     [](std::string&, desktop::CompressorAnswer&) {
                         SetWindowPos(desktop::FocusWindow(), nullptr, 0, 0, 7, 7, SWP_NOMOVE | SWP_NOZORDER);
                     },
                     "AVI stream set format Error!", true}),
    [](const ::testing::TestParamInfo<SetupFailure>& info) { return info.param.name; });

TEST_F(SetupTest, LongestPathTheDialogCanHoldReachesTheFileWhole)
{
    // 259 characters and the terminating zero fill the 260-character buffer.
    std::string path = directory_ + "/";
    std::filesystem::create_directories(path + std::string(200, 'd'));
    path += std::string(200, 'd') + "/";
    path += std::string(259 - path.size() - 4, 'n') + ".avi";
    ASSERT_EQ(path.size(), 259u);

    StartRecording(path);
    StopRecording();

    ASSERT_EQ(desktop::AviFileOpens().size(), 1u);
    EXPECT_EQ(desktop::AviFileOpens()[0].path, path);
    ffmpeg::StreamInfo info;
    std::string error;
    EXPECT_TRUE(ffmpeg::Probe(path, &info, &error)) << error;
}

TEST_F(SetupTest, NameWithoutExtensionGetsAvi)
{
    StartRecording(PathFor("holiday"));
    StopRecording();
    ASSERT_EQ(desktop::AviFileOpens().size(), 1u);
    EXPECT_EQ(desktop::AviFileOpens()[0].path, PathFor("holiday.avi"));
    EXPECT_TRUE(std::filesystem::exists(PathFor("holiday.avi")));
}

TEST_F(SetupTest, ExistingFileIsReplacedOnlyWhenTheUserConfirms)
{
    const std::string path = PathFor("old.avi");
    std::ofstream(path) << "keep me";

    desktop::AnswerSaveAs(desktop::SaveAsAnswer{.typed = path, .confirmOverwrite = false});
    desktop::PressKeys({VK_F5});
    EXPECT_TRUE(desktop::SaveAsDialogs()[0].askedToOverwrite);
    EXPECT_EQ(g_recorder.mode, RecorderMode::Idle);
    EXPECT_EQ(std::filesystem::file_size(path), 7u);

    StartRecording(path);
    StopRecording();
    EXPECT_TRUE(desktop::SaveAsDialogs()[1].askedToOverwrite);
    ffmpeg::StreamInfo info;
    std::string error;
    EXPECT_TRUE(ffmpeg::Probe(path, &info, &error)) << error;
}

TEST_F(SetupTest, KeysDuringTheCompressorDialogStartNothingElse)
{
    // The compressor dialog has no owner: the user can click the frame window
    // and press keys there while it is open.
    desktop::CompressorAnswer compressor;
    compressor.whileOpen = [this] {
        desktop::ClickWindow(frame_);
        desktop::PressKeys({VK_F5});
        desktop::PressKeys({VK_CONTROL, 'S'});
        desktop::PressKeys({VK_F1});
        desktop::PressKeys({VK_F6});
    };
    desktop::PressKeys({VK_F3});
    StartRecording(PathFor("once.avi"), compressor);

    EXPECT_EQ(desktop::SaveAsDialogs().size(), 1u);
    EXPECT_EQ(desktop::CompressorDialogs().size(), 1u);
    EXPECT_EQ(g_recorder.mode, RecorderMode::Capturing);
    EXPECT_EQ(g_recorder.frameIntervalMs, 250);
    EXPECT_EQ(desktop::TimerPeriod(frame_, CaptureTimerId), 250u);
    StopRecording();
    EXPECT_EQ(desktop::AviFileInitCalls(), 1);
    EXPECT_EQ(CountBoxes("AVI File Succeed!"), 1);
}

TEST_F(SetupTest, RecordingsInARowEachPairTheLibrarysUse)
{
    for (int i = 0; i < 3; ++i) {
        StartRecording(PathFor("take" + std::to_string(i) + ".avi"), RunLength());
        EXPECT_EQ(desktop::AviFileInitCalls(), i + 1);
        EXPECT_EQ(desktop::AviFileExitCalls(), i);
        EXPECT_EQ(desktop::LiveCompressorChoices(), 1);
        StopRecording();
        EXPECT_EQ(desktop::AviFileExitCalls(), i + 1);
        EXPECT_EQ(desktop::LiveCompressorChoices(), 0);
    }
    EXPECT_EQ(CountBoxes("AVI File Succeed!"), 3);
}

}  // namespace
