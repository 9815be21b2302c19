// Model desktop: the Save As dialog and the user who answers it. Included
// through desktop.h.
#pragma once

#include <string>
#include <vector>

namespace desktop {

void ResetCommonDialogs();

struct SaveAsAnswer {
    bool cancel = false;
    // What the user types as the file name; the dialog adds the default
    // extension when the name has none.
    std::string typed;
    // Answer to the overwrite question for an existing file; "no" sends the
    // user back to the dialog, which this user then cancels.
    bool confirmOverwrite = true;
    UserAction whileOpen;
};
// Queues the answer for the next Save As dialog. A dialog that opens with
// no answer queued is cancelled and counted as unanswered.
void AnswerSaveAs(SaveAsAnswer answer);
int UnansweredSaveAsDialogs();

// What the program gave the dialog, copied when it opened.
struct SaveAsRecord {
    DWORD structSize;
    HWND owner;
    std::string filter;  // every string with its zero, up to the closing zero
    std::string initialFile;
    DWORD maxFile;
    DWORD flags;
    std::string defaultExtension;
    std::string title;
    bool ownerDisabledWhileOpen;
    bool askedToOverwrite;
    BOOL result;
};
const std::vector<SaveAsRecord>& SaveAsDialogs();

}  // namespace desktop
