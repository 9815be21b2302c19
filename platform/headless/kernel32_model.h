// Model desktop: files the program deletes. Included through desktop.h.
#pragma once

#include <string>
#include <vector>

namespace desktop {

void ResetFiles();
const std::vector<std::string>& DeletedFiles();

}  // namespace desktop
