// Screenshots of the whole screen as the user would see it, saved as BMP.
#pragma once

#include <string>

namespace driver {

// Captures the screen and lays every responsive visible top-level window
// over it, captured on its own (a whole-screen capture shows Wine's message
// boxes black). Windows whose thread is busy are taken as the screen shows
// them. Returns false when the file cannot be written.
bool saveScreenshot(const std::string& bmpPath);

} // namespace driver
