// Video compression manager of the headless platform: the compressor dialog,
// answered by the scripted user, and the choice it fills.
#include <cstring>
#include <deque>
#include <memory>
#include <optional>

#include "desktop.h"
#include "video_compressors.h"

// An open compressor, as the dialog hands it out in COMPVARS.hic.
struct HIC__ {
    DWORD handler;
    bool open;
};

namespace {

// A choice that holds something: an open compressor and its state block.
struct Choice {
    HIC hic;
    LPVOID state;
    bool freed;
};

struct CompressorModel {
    std::deque<desktop::CompressorAnswer> answers;
    int unanswered = 0;
    std::vector<desktop::CompressorDialogRecord> dialogs;
    std::vector<std::unique_ptr<HIC__>> handles;  // kept until reset, so stale ones are recognised
    std::vector<Choice> choices;
    int freeCalls = 0;
};

CompressorModel model;

std::vector<DWORD> OfferedHandlers(UINT flags, const BITMAPINFOHEADER* input)
{
    std::vector<DWORD> offered;
    for (DWORD handler : compressors::Handlers()) {
        bool listAll = input == nullptr || (flags & ICMF_CHOOSE_ALLCOMPRESSORS) != 0;
        if (listAll || compressors::TakesFormat(handler, *input)) offered.push_back(handler);
    }
    return offered;
}

desktop::CompressorDialogRecord DialogRecord(HWND owner, UINT flags, LPVOID input, LPVOID data, PCOMPVARS vars,
                                             LPSTR title)
{
    desktop::CompressorDialogRecord record{};
    record.owner = owner;
    record.flags = flags;
    record.hasInput = input != nullptr;
    if (input) std::memcpy(&record.input, input, sizeof record.input);
    if (vars) record.before = *vars;
    record.dataNull = data == nullptr;
    record.titleNull = title == nullptr;
    record.offered = OfferedHandlers(flags, input ? &record.input : nullptr);
    record.result = FALSE;
    return record;
}

std::optional<desktop::CompressorAnswer> TakeAnswer()
{
    if (model.answers.empty()) {
        ++model.unanswered;
        return std::nullopt;
    }
    desktop::CompressorAnswer answer = std::move(model.answers.front());
    model.answers.pop_front();
    return answer;
}

// Opens the chosen compressor; the uncompressed choice and handlers that the
// model has no compressor for get none.
HIC OpenCompressor(DWORD handler)
{
    if (handler == desktop::kUncompressedHandler || !compressors::Exists(handler)) return nullptr;
    model.handles.push_back(std::make_unique<HIC__>(HIC__{handler, true}));
    return model.handles.back().get();
}

// Fills the record with the user's choice. Key frames and data rate are
// taken only when the program asked the dialog to show them.
void FillChoice(COMPVARS& vars, const desktop::CompressorAnswer& answer, UINT flags)
{
    vars.dwFlags |= ICMF_COMPVARS_VALID;
    vars.fccType = ICTYPE_VIDEO;
    vars.fccHandler = answer.fccHandler;
    if (flags & ICMF_CHOOSE_KEYFRAME) vars.lKey = answer.keyFrameEvery;
    if (flags & ICMF_CHOOSE_DATARATE) vars.lDataRate = answer.dataRateKBps;
    vars.lQ = answer.quality;
    vars.hic = OpenCompressor(answer.fccHandler);
    vars.lpState = vars.hic ? compressors::NewState(answer.fccHandler, &vars.cbState) : nullptr;
    if (!vars.lpState) vars.cbState = 0;
    if (vars.hic || vars.lpState) model.choices.push_back({vars.hic, vars.lpState, false});
}

Choice* FindChoice(HIC hic, LPVOID state)
{
    for (Choice& choice : model.choices) {
        if ((hic && choice.hic == hic) || (state && choice.state == state)) return &choice;
    }
    return nullptr;
}

bool IsModelHandle(HIC hic)
{
    for (const auto& handle : model.handles) {
        if (handle.get() == hic) return true;
    }
    return false;
}

void CloseCompressor(HIC hic)
{
    if (!hic) return;
    if (!IsModelHandle(hic)) {
        desktop::ReportMisuse("ICCompressorFree: unknown compressor handle");
        return;
    }
    if (!hic->open) {
        desktop::ReportMisuse("ICCompressorFree: compressor handle closed twice");
        return;
    }
    hic->open = false;
}

void FreeCompressorState(LPVOID state)
{
    if (!state) return;
    switch (compressors::FreeState(state)) {
    case compressors::FreeResult::Freed:
        break;
    case compressors::FreeResult::AlreadyFreed:
        desktop::ReportMisuse("ICCompressorFree: compressor state freed twice");
        break;
    case compressors::FreeResult::Unknown:
        desktop::ReportMisuse("ICCompressorFree: state block not from ICCompressorChoose");
        break;
    }
}

}  // namespace

BOOL WINAPI ICCompressorChoose(HWND hwnd, UINT uiFlags, LPVOID pvIn, LPVOID lpData, PCOMPVARS pc, LPSTR lpszTitle)
{
    model.dialogs.push_back(DialogRecord(hwnd, uiFlags, pvIn, lpData, pc, lpszTitle));
    size_t recordIndex = model.dialogs.size() - 1;  // nested dialogs may add records meanwhile
    if (!pc) {
        desktop::ReportMisuse("ICCompressorChoose: no COMPVARS record");
        return FALSE;
    }

    std::optional<desktop::CompressorAnswer> answer = TakeAnswer();
    desktop::RunModal(hwnd, lpszTitle ? lpszTitle : "Video Compression", [&answer](HWND) {
        if (answer && answer->whileOpen) answer->whileOpen();
    });
    if (!answer || answer->cancel) return FALSE;

    FillChoice(*pc, *answer, uiFlags);
    model.dialogs[recordIndex].result = TRUE;
    return TRUE;
}

void WINAPI ICCompressorFree(PCOMPVARS pc)
{
    ++model.freeCalls;
    if (!pc) return;
    Choice* choice = FindChoice(pc->hic, pc->lpState);
    CloseCompressor(pc->hic);
    FreeCompressorState(pc->lpState);
    if (choice) choice->freed = true;
    pc->hic = nullptr;
    pc->lpState = nullptr;
    pc->cbState = 0;
}

namespace desktop {

void ResetCompressors()
{
    model = CompressorModel{};
    compressors::ResetStates();
}

void AnswerCompressorDialog(CompressorAnswer answer)
{
    model.answers.push_back(std::move(answer));
}

int UnansweredCompressorDialogs()
{
    return model.unanswered;
}

const std::vector<CompressorDialogRecord>& CompressorDialogs()
{
    return model.dialogs;
}

int LiveCompressorChoices()
{
    int live = 0;
    for (const Choice& choice : model.choices) {
        if (!choice.freed) ++live;
    }
    return live;
}

int CompressorFreeCalls()
{
    return model.freeCalls;
}

}  // namespace desktop
