// File calls of the headless platform, on the host's files.
#include <cerrno>
#include <cstdio>

#include "desktop.h"

namespace {

struct Files {
    std::vector<std::string> deleted;
    DWORD lastError = 0;
};

Files model;

constexpr DWORD kErrorFileNotFound = 2;
constexpr DWORD kErrorAccessDenied = 5;

}  // namespace

BOOL WINAPI DeleteFileA(LPCSTR path)
{
    if (!path)
        return FALSE;
    if (std::remove(path) != 0) {
        model.lastError = errno == ENOENT ? kErrorFileNotFound : kErrorAccessDenied;
        return FALSE;
    }
    model.deleted.push_back(path);
    return TRUE;
}

DWORD WINAPI GetLastError(void)
{
    return model.lastError;
}

namespace desktop {

void ResetFiles()
{
    model = Files{};
}

const std::vector<std::string>& DeletedFiles()
{
    return model.deleted;
}

}  // namespace desktop
