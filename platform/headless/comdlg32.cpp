// The Save As dialog of the headless platform, answered by the scripted user.
#include <cstring>
#include <deque>
#include <filesystem>

#include "desktop.h"

namespace {

struct CommonDialogs {
    std::deque<desktop::SaveAsAnswer> answers;
    std::vector<desktop::SaveAsRecord> records;
    int unanswered = 0;
    DWORD lastError = 0;
};

CommonDialogs model;

// The filter list: pairs of zero-ended strings, ended by one more zero.
std::string CopyFilterList(LPCSTR filter)
{
    std::string list;
    if (!filter)
        return list;
    const char* p = filter;
    while (*p) {
        size_t length = std::strlen(p) + 1;
        list.append(p, length);
        p += length;
    }
    list.push_back('\0');
    return list;
}

desktop::SaveAsRecord RecordCall(const OPENFILENAMEA* ofn)
{
    desktop::SaveAsRecord record{};
    record.structSize = ofn->lStructSize;
    record.owner = ofn->hwndOwner;
    record.filter = CopyFilterList(ofn->lpstrFilter);
    if (ofn->lpstrFile)
        record.initialFile.assign(ofn->lpstrFile, strnlen(ofn->lpstrFile, ofn->nMaxFile));
    record.maxFile = ofn->nMaxFile;
    record.flags = ofn->Flags;
    record.defaultExtension = ofn->lpstrDefExt ? ofn->lpstrDefExt : "";
    record.title = ofn->lpstrTitle ? ofn->lpstrTitle : "";
    return record;
}

// The dialog adds the default extension to a name typed without one.
std::string WithDefaultExtension(const std::string& typed, LPCSTR defaultExtension)
{
    if (!defaultExtension || !*defaultExtension)
        return typed;
    size_t nameStart = typed.find_last_of("/\\");
    nameStart = nameStart == std::string::npos ? 0 : nameStart + 1;
    if (typed.find('.', nameStart) != std::string::npos)
        return typed;
    return typed + "." + defaultExtension;
}

WORD OffsetOfName(const std::string& path)
{
    size_t slash = path.find_last_of("/\\");
    return static_cast<WORD>(slash == std::string::npos ? 0 : slash + 1);
}

WORD OffsetOfExtension(const std::string& path)
{
    size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || dot < OffsetOfName(path))
        return 0;
    return static_cast<WORD>(dot + 1);
}

// Hands the chosen path back in the caller's buffer. A buffer too small gets
// the size it would need in its first two bytes, as the platform does.
BOOL ReturnPath(OPENFILENAMEA* ofn, const std::string& path)
{
    if (!ofn->lpstrFile || path.size() + 1 > ofn->nMaxFile) {
        model.lastError = FNERR_BUFFERTOOSMALL;
        if (ofn->lpstrFile && ofn->nMaxFile >= 2) {
            WORD needed = static_cast<WORD>(path.size() + 1);
            std::memcpy(ofn->lpstrFile, &needed, sizeof needed);
        }
        return FALSE;
    }
    std::memcpy(ofn->lpstrFile, path.c_str(), path.size() + 1);
    ofn->nFileOffset = OffsetOfName(path);
    ofn->nFileExtension = OffsetOfExtension(path);
    return TRUE;
}

}  // namespace

BOOL WINAPI GetSaveFileNameA(LPOPENFILENAMEA ofn)
{
    model.lastError = 0;
    if (!ofn || ofn->lStructSize != sizeof(OPENFILENAMEA)) {
        model.lastError = CDERR_STRUCTSIZE;
        return FALSE;
    }
    desktop::SaveAsRecord record = RecordCall(ofn);
    desktop::SaveAsAnswer answer;
    if (model.answers.empty()) {
        ++model.unanswered;
        answer.cancel = true;
    } else {
        answer = std::move(model.answers.front());
        model.answers.pop_front();
    }

    HWND owner = ofn->hwndOwner;
    desktop::RunModal(owner, record.title.empty() ? "Save As" : record.title.c_str(), [&](HWND) {
        record.ownerDisabledWhileOpen = owner && !IsWindowEnabled(owner);
        if (answer.whileOpen)
            answer.whileOpen();
    });

    BOOL result = FALSE;
    if (!answer.cancel && !answer.typed.empty()) {
        std::string path = WithDefaultExtension(answer.typed, ofn->lpstrDefExt);
        std::error_code error;
        bool exists = std::filesystem::exists(path, error);
        record.askedToOverwrite = exists && (ofn->Flags & OFN_OVERWRITEPROMPT);
        if (!record.askedToOverwrite || answer.confirmOverwrite)
            result = ReturnPath(ofn, path);
    }
    record.result = result;
    model.records.push_back(record);
    return result;
}

DWORD WINAPI CommDlgExtendedError(void)
{
    return model.lastError;
}

namespace desktop {

void ResetCommonDialogs()
{
    model = CommonDialogs{};
}

void AnswerSaveAs(SaveAsAnswer answer)
{
    model.answers.push_back(std::move(answer));
}

int UnansweredSaveAsDialogs()
{
    return model.unanswered;
}

const std::vector<SaveAsRecord>& SaveAsDialogs()
{
    return model.records;
}

}  // namespace desktop
