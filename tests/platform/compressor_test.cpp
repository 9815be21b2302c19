// The video compression manager of the model: the compressor dialog and the
// choice it fills, ICCompressorFree, the choice's state as compression
// parameters, and the run-length compressor's frames as ffmpeg decodes them.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/avi_recording.h"
#include "support/ffmpeg_reader.h"

namespace {

using namespace avitest;

constexpr DWORD kDib = desktop::kUncompressedHandler;
constexpr DWORD kRle = desktop::kRunLengthHandler;
constexpr UINT kProgramFlags = ICMF_CHOOSE_KEYFRAME | ICMF_CHOOSE_DATARATE;

// The record as the program fills it before the dialog.
COMPVARS ProgramChoice()
{
    COMPVARS vars;
    std::memset(&vars, 0, sizeof vars);
    vars.cbSize = 64;
    vars.dwFlags = ICMF_COMPVARS_VALID;
    vars.fccHandler = kDib;
    vars.lQ = ICQUALITY_DEFAULT;
    return vars;
}

desktop::CompressorAnswer Choose(DWORD handler)
{
    desktop::CompressorAnswer answer;
    answer.fccHandler = handler;
    return answer;
}

bool SameBytes(const COMPVARS& a, const COMPVARS& b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

using CompressorTest = AviTest;

// --- The dialog --------------------------------------------------------------

struct ConfirmCase {
    const char* label;
    DWORD handler;
    UINT flags;
    bool opensCompressor;  // a real compressor: an open handle and a state block
};

class ConfirmTest : public AviTest, public ::testing::WithParamInterface<ConfirmCase> {};

TEST_P(ConfirmTest, FillsTheChoiceAndFreeingEmptiesIt)
{
    const ConfirmCase& c = GetParam();
    desktop::CompressorAnswer answer = Choose(c.handler);
    answer.keyFrameEvery = 15;
    answer.quality = 7500;
    answer.dataRateKBps = 300;
    desktop::AnswerCompressorDialog(answer);
    COMPVARS vars = ProgramChoice();
    vars.lKey = 99;  // what the dialog must leave when it does not show the control
    vars.lDataRate = 88;
    BITMAPINFOHEADER input = Format24(640, 480);

    ASSERT_NE(ICCompressorChoose(nullptr, c.flags, &input, nullptr, &vars, nullptr), FALSE);
    EXPECT_EQ(vars.dwFlags & ICMF_COMPVARS_VALID, static_cast<DWORD>(ICMF_COMPVARS_VALID));
    EXPECT_EQ(vars.fccType, ICTYPE_VIDEO);
    EXPECT_EQ(vars.fccHandler, c.handler);
    EXPECT_EQ(vars.lQ, 7500);
    EXPECT_EQ(vars.lKey, (c.flags & ICMF_CHOOSE_KEYFRAME) ? 15 : 99);
    EXPECT_EQ(vars.lDataRate, (c.flags & ICMF_CHOOSE_DATARATE) ? 300 : 88);
    EXPECT_EQ(vars.hic != nullptr, c.opensCompressor);
    EXPECT_EQ(vars.lpState != nullptr, c.opensCompressor);
    EXPECT_EQ(vars.cbState > 0, c.opensCompressor);
    EXPECT_EQ(desktop::LiveCompressorChoices(), c.opensCompressor ? 1 : 0);
    ASSERT_EQ(desktop::CompressorDialogs().size(), 1u);
    EXPECT_EQ(desktop::CompressorDialogs()[0].result, TRUE);

    ICCompressorFree(&vars);
    EXPECT_EQ(vars.hic, nullptr);
    EXPECT_EQ(vars.lpState, nullptr);
    EXPECT_EQ(vars.cbState, 0);
    EXPECT_EQ(desktop::LiveCompressorChoices(), 0);
    EXPECT_EQ(desktop::CompressorFreeCalls(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Choices, ConfirmTest,
    ::testing::Values(ConfirmCase{"UncompressedAsTheProgramAsks", kDib, kProgramFlags, false},
                      ConfirmCase{"RunLengthAsTheProgramAsks", kRle, kProgramFlags, true},
                      ConfirmCase{"RunLengthWithoutKeyFrameOrDataRate", kRle, 0, true},
                      ConfirmCase{"KeyFramesOnly", kRle, ICMF_CHOOSE_KEYFRAME, true},
                      ConfirmCase{"AHandlerTheModelHasNoCompressorFor", mmioFOURCC('x', 'y', 'z', 'w'),
                                  kProgramFlags, false}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(CompressorTest, RecordsWhatTheProgramGaveTheDialog)
{
    desktop::AnswerCompressorDialog(Choose(kRle));
    COMPVARS vars = ProgramChoice();
    const COMPVARS before = vars;
    BITMAPINFOHEADER input = Format24(320, 240);
    ASSERT_TRUE(ICCompressorChoose(nullptr, kProgramFlags, &input, nullptr, &vars, nullptr));
    ICCompressorFree(&vars);

    ASSERT_EQ(desktop::CompressorDialogs().size(), 1u);
    const desktop::CompressorDialogRecord& record = desktop::CompressorDialogs()[0];
    EXPECT_EQ(record.owner, nullptr);
    EXPECT_EQ(record.flags, kProgramFlags);
    EXPECT_TRUE(record.hasInput);
    EXPECT_EQ(std::memcmp(&record.input, &input, sizeof input), 0);
    EXPECT_TRUE(SameBytes(record.before, before));
    EXPECT_TRUE(record.dataNull);
    EXPECT_TRUE(record.titleNull);
}

struct OfferCase {
    const char* label;
    WORD bitCount;
    UINT flags;
    bool withInput;
    std::vector<DWORD> offered;
};

class OfferTest : public AviTest, public ::testing::WithParamInterface<OfferCase> {};

TEST_P(OfferTest, OffersTheCompressorsThatTakeTheInput)
{
    const OfferCase& c = GetParam();
    BITMAPINFOHEADER input = Format24(320, 240);
    input.biBitCount = c.bitCount;
    input.biSizeImage = 320u * 240u * c.bitCount / 8;
    COMPVARS vars = ProgramChoice();
    ICCompressorChoose(nullptr, c.flags, c.withInput ? &input : nullptr, nullptr, &vars, nullptr);
    ASSERT_EQ(desktop::CompressorDialogs().size(), 1u);
    EXPECT_EQ(desktop::CompressorDialogs()[0].offered, c.offered);
    EXPECT_EQ(desktop::CompressorDialogs()[0].hasInput, c.withInput);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, OfferTest,
    ::testing::Values(OfferCase{"TwentyFourBits", 24, kProgramFlags, true, {kDib, kRle}},
                      OfferCase{"ThirtyTwoBits", 32, kProgramFlags, true, {kDib}},
                      OfferCase{"ThirtyTwoBitsAllCompressors", 32, ICMF_CHOOSE_ALLCOMPRESSORS, true, {kDib, kRle}},
                      OfferCase{"NoInput", 24, kProgramFlags, false, {kDib, kRle}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(CompressorTest, CancelOrNoAnswerLeavesTheChoiceUntouched)
{
    desktop::CompressorAnswer cancel = Choose(kRle);
    cancel.cancel = true;
    cancel.keyFrameEvery = 5;
    desktop::AnswerCompressorDialog(cancel);
    BITMAPINFOHEADER input = Format24(320, 240);
    COMPVARS vars = ProgramChoice();
    const COMPVARS before = vars;

    EXPECT_EQ(ICCompressorChoose(nullptr, kProgramFlags, &input, nullptr, &vars, nullptr), FALSE);
    EXPECT_TRUE(SameBytes(vars, before));
    EXPECT_EQ(desktop::UnansweredCompressorDialogs(), 0);

    EXPECT_EQ(ICCompressorChoose(nullptr, kProgramFlags, &input, nullptr, &vars, nullptr), FALSE);
    EXPECT_TRUE(SameBytes(vars, before));
    EXPECT_EQ(desktop::UnansweredCompressorDialogs(), 1);

    ASSERT_EQ(desktop::CompressorDialogs().size(), 2u);
    EXPECT_EQ(desktop::CompressorDialogs()[0].result, FALSE);
    EXPECT_EQ(desktop::CompressorDialogs()[1].result, FALSE);
    EXPECT_EQ(desktop::LiveCompressorChoices(), 0);
}

TEST_F(CompressorTest, TheDialogIsModalWhileTheUserActs)
{
    bool acted = false;
    desktop::CompressorAnswer answer = Choose(kDib);
    answer.whileOpen = [&acted] {
        acted = true;
        ASSERT_NE(desktop::OpenModal(), nullptr);
        EXPECT_EQ(desktop::WindowTitle(desktop::OpenModal()), "Video Compression");
        EXPECT_EQ(desktop::FocusWindow(), desktop::OpenModal());
    };
    desktop::AnswerCompressorDialog(answer);
    COMPVARS vars = ProgramChoice();
    BITMAPINFOHEADER input = Format24(320, 240);
    EXPECT_TRUE(ICCompressorChoose(nullptr, kProgramFlags, &input, nullptr, &vars, nullptr));
    EXPECT_TRUE(acted);
    EXPECT_EQ(desktop::OpenModal(), nullptr);
    ICCompressorFree(&vars);
}

TEST_F(CompressorTest, AnswersAreTakenInTheOrderDialogsOpen)
{
    // A second dialog opened while the first is still up gets the next answer.
    COMPVARS outer = ProgramChoice();
    COMPVARS inner = ProgramChoice();
    BITMAPINFOHEADER input = Format24(320, 240);
    desktop::CompressorAnswer first = Choose(kRle);
    first.whileOpen = [&] {
        EXPECT_TRUE(ICCompressorChoose(nullptr, kProgramFlags, &input, nullptr, &inner, nullptr));
    };
    desktop::AnswerCompressorDialog(first);
    desktop::AnswerCompressorDialog(Choose(kDib));

    EXPECT_TRUE(ICCompressorChoose(nullptr, kProgramFlags, &input, nullptr, &outer, nullptr));
    EXPECT_EQ(outer.fccHandler, kRle);
    EXPECT_EQ(inner.fccHandler, kDib);
    ASSERT_EQ(desktop::CompressorDialogs().size(), 2u);
    EXPECT_EQ(desktop::CompressorDialogs()[0].result, TRUE);
    EXPECT_EQ(desktop::CompressorDialogs()[1].result, TRUE);
    ICCompressorFree(&outer);
    ICCompressorFree(&inner);
}

// --- Freeing the choice ---------------------------------------------------------

TEST_F(CompressorTest, FreeingTheSameChoiceTwiceIsHarmless)
{
    desktop::AnswerCompressorDialog(Choose(kRle));
    COMPVARS vars = ProgramChoice();
    BITMAPINFOHEADER input = Format24(320, 240);
    ASSERT_TRUE(ICCompressorChoose(nullptr, kProgramFlags, &input, nullptr, &vars, nullptr));
    ICCompressorFree(&vars);
    ICCompressorFree(&vars);
    EXPECT_EQ(desktop::CompressorFreeCalls(), 2);
    EXPECT_EQ(desktop::LiveCompressorChoices(), 0);
}

TEST_F(CompressorTest, FreeingACopyOfAFreedChoiceIsReportedNotRepeated)
{
    misusesExpected_ = true;
    desktop::AnswerCompressorDialog(Choose(kRle));
    COMPVARS vars = ProgramChoice();
    BITMAPINFOHEADER input = Format24(320, 240);
    ASSERT_TRUE(ICCompressorChoose(nullptr, kProgramFlags, &input, nullptr, &vars, nullptr));
    COMPVARS copy = vars;
    ICCompressorFree(&vars);
    EXPECT_TRUE(desktop::Misuses().empty());
    ICCompressorFree(&copy);
    EXPECT_EQ(desktop::Misuses().size(), 2u);  // the handle and the state
    EXPECT_EQ(desktop::LiveCompressorChoices(), 0);
}

TEST_F(CompressorTest, AChoiceNeverFreedStaysLive)
{
    BITMAPINFOHEADER input = Format24(320, 240);
    COMPVARS first = ProgramChoice();
    COMPVARS second = ProgramChoice();
    desktop::AnswerCompressorDialog(Choose(kRle));
    desktop::AnswerCompressorDialog(Choose(kRle));
    ASSERT_TRUE(ICCompressorChoose(nullptr, kProgramFlags, &input, nullptr, &first, nullptr));
    ASSERT_TRUE(ICCompressorChoose(nullptr, kProgramFlags, &input, nullptr, &second, nullptr));
    EXPECT_NE(first.hic, second.hic);
    ICCompressorFree(&second);
    EXPECT_EQ(desktop::LiveCompressorChoices(), 1);
    ICCompressorFree(&first);
}

// --- The choice's state as compression parameters ---------------------------------

struct ParmsCase {
    const char* label;
    enum { FromTheChoice, FreedChoice, Foreign } source;
    HRESULT expected;
    bool misuse;
};

class ParmsTest : public AviTest, public ::testing::WithParamInterface<ParmsCase> {};

TEST_P(ParmsTest, TheCompressingStreamReadsTheChoiceState)
{
    const ParmsCase& c = GetParam();
    misusesExpected_ = c.misuse;
    desktop::AnswerCompressorDialog(Choose(kRle));
    COMPVARS vars = ProgramChoice();
    BITMAPINFOHEADER input = Format24(64, 48);
    ASSERT_TRUE(ICCompressorChoose(nullptr, kProgramFlags, &input, nullptr, &vars, nullptr));
    LPVOID parms = vars.lpState;
    DWORD parmsSize = static_cast<DWORD>(vars.cbState);
    std::vector<BYTE> foreign(parmsSize, 0x5A);
    if (c.source == ParmsCase::FreedChoice) ICCompressorFree(&vars);
    if (c.source == ParmsCase::Foreign) parms = foreign.data();

    Recording recording;
    AVISTREAMINFOA info = VideoInfo(kRle, 4, 64, 48);
    AVICOMPRESSOPTIONS options = Options(kRle, parms, parmsSize);
    ASSERT_EQ(AVIFileOpenA(&recording.file, PathFor("parms.avi").c_str(), OF_WRITE | OF_CREATE, nullptr), AVIERR_OK);
    ASSERT_EQ(AVIFileCreateStreamA(recording.file, &recording.raw, &info), AVIERR_OK);
    EXPECT_EQ(AVIMakeCompressedStream(&recording.compressed, recording.raw, &options, nullptr), c.expected);
    EXPECT_EQ(recording.compressed != nullptr, c.expected == AVIERR_OK);
    EXPECT_EQ(desktop::Misuses().size(), c.misuse ? 1u : 0u);
    Close(recording);
    ICCompressorFree(&vars);
}

INSTANTIATE_TEST_SUITE_P(States, ParmsTest,
                         ::testing::Values(ParmsCase{"FromTheChoice", ParmsCase::FromTheChoice, AVIERR_OK, false},
                                           ParmsCase{"AfterTheChoiceWasFreed", ParmsCase::FreedChoice,
                                                     AVIERR_COMPRESSOR, true},
                                           ParmsCase{"NotACompressorState", ParmsCase::Foreign, AVIERR_COMPRESSOR,
                                                     false}),
                         [](const auto& info) { return std::string(info.param.label); });

// --- The run-length compressor's frames -------------------------------------------

// Writes the pictures through the run-length compressor, checks ffmpeg gives
// them back exactly, and returns the stored size of each.
std::vector<LONG> RecordRunLength(const std::string& path, std::vector<Picture>& pictures)
{
    std::vector<LONG> stored;
    Recording recording;
    EXPECT_TRUE(Open(&recording, path, kRle, 8, pictures[0].width, pictures[0].height));
    for (size_t i = 0; i < pictures.size(); ++i) {
        LONG bytes = 0;
        EXPECT_EQ(Write(recording.compressed, static_cast<LONG>(i), pictures[i], &bytes), AVIERR_OK);
        stored.push_back(bytes);
    }
    Close(recording);
    std::string error;
    auto decoded = ffmpeg::DecodeBgr24(path, &error);
    EXPECT_EQ(decoded.size(), pictures.size()) << error;
    for (size_t i = 0; i < decoded.size() && i < pictures.size(); ++i) {
        EXPECT_TRUE(decoded[i] == pictures[i].TopDownBgr()) << "frame " << i << " differs";
    }
    return stored;
}

// Windows with title bars and lines of "text" on a plain desktop.
Picture DesktopLike(int width, int height)
{
    return Paint(width, height, [](int x, int y) {
        bool window = x >= 100 && x < 900 && y >= 80 && y < 700;
        if (!window) return Bgr{160, 110, 40};
        if (y < 110) return Bgr{200, 120, 60};
        bool textLine = (y - 110) % 20 < 12 && x >= 120 && x < 860;
        bool ink = textLine && (x * 7 + y * 3) % 11 < 4;
        return ink ? Bgr{20, 20, 20} : Bgr{255, 255, 255};
    });
}

TEST_F(CompressorTest, ScreenContentCompressesAndDecodesExactly)
{
    std::vector<Picture> pictures = {Flat(1440, 816, {80, 80, 80}), DesktopLike(1440, 816)};
    std::vector<LONG> stored = RecordRunLength(PathFor("screen.avi"), pictures);
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_LT(stored[0], pictures[0].Bytes() / 100);
    EXPECT_LT(stored[1], pictures[1].Bytes() / 4);
}

// One row of each kind the coder must get right: runs across the 255 limit,
// literal groups across it, and the one- and two-pixel groups that cannot be
// coded as literals.
Picture EdgeCases()
{
    const int width = 600;
    return Paint(width, 10, [](int x, int y) {
        auto unique = [](int x, int y) {
            return Bgr{static_cast<uint8_t>(x * 7 + y), static_cast<uint8_t>(x / 3 + 50), static_cast<uint8_t>(y * 20)};
        };
        switch (y) {
        case 0:  // runs of 255, 256 and 89
            return x < 255 ? Bgr{1, 2, 3} : x < 511 ? Bgr{4, 5, 6} : Bgr{7, 8, 9};
        case 1:  // all different: literal groups of 255, 255 and 90
            return unique(x, y);
        case 2:  // single pixels between pairs: A A B C C D ...
            return (x % 3 == 2) ? unique(x, y) : Bgr{static_cast<uint8_t>(x / 3), 0, 0};
        case 3:  // two different pixels between runs of three
            return (x % 5 >= 3) ? unique(x, y) : Bgr{static_cast<uint8_t>(x / 5), 9, 9};
        case 4:  // a run of two, then differing pixels, ending on a single one
            return x < 2 ? Bgr{50, 50, 50} : unique(x, y);
        case 5:  // pairs only
            return Bgr{static_cast<uint8_t>(x / 2), 1, 1};
        case 6:  // a run ending one pixel before the row does
            return x < width - 1 ? Bgr{3, 3, 3} : Bgr{4, 4, 4};
        default:
            return unique(x, y);
        }
    });
}

TEST_F(CompressorTest, RunsAndLiteralsAtTheirLimitsDecodeExactly)
{
    std::vector<Picture> pictures = {EdgeCases(), Noise(600, 10, 11)};
    RecordRunLength(PathFor("edges.avi"), pictures);
}

TEST_F(CompressorTest, AFrameNeverHasTheSizeOfAnUncompressedOne)
{
    // 8 x 11: nine rows of differing pixels (28 bytes each) and two flat rows
    // (6 bytes each) code to 264 bytes, the uncompressed size, which a reader
    // would take for an uncompressed frame.
    std::vector<Picture> pictures = {Paint(8, 11, [](int x, int y) {
        if (y == 3 || y == 7) return Bgr{10, 20, 30};
        return Bgr{static_cast<uint8_t>(x * 17 + y), static_cast<uint8_t>(200 - x * 5), static_cast<uint8_t>(y * 9)};
    })};
    ASSERT_EQ(pictures[0].Bytes(), 264);
    std::vector<LONG> stored = RecordRunLength(PathFor("exact.avi"), pictures);
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_NE(stored[0], 264);
}

}  // namespace
