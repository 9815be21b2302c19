#include "desktop.h"

namespace desktop {

namespace {
std::vector<std::string> misuses;
}

void ReportMisuse(const std::string& what)
{
    misuses.push_back(what);
}

const std::vector<std::string>& Misuses()
{
    return misuses;
}

void Reset()
{
    misuses.clear();
    ResetWindowing();
    ResetGraphics();
    ResetCommonDialogs();
    ResetFiles();
    ResetAviFile();
    ResetCompressors();
}

}  // namespace desktop
