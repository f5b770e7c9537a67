// Screenshots of the X display that Wine draws on, as PNG files.
#pragma once

#include <string>

namespace driver {

// Runs the capture script (scripts/lib/x-screenshot, a Linux program that
// Wine starts for us) and waits for the picture. Both paths are Linux paths.
// Returns false when no picture came.
bool saveScreenshot(const std::string& captureScript, const std::string& pngPath);

} // namespace driver
