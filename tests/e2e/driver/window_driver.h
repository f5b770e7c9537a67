// Drives another process's windows the way a user would: finds top-level
// windows by title, reads and sets control texts, presses buttons and
// answers message boxes. Texts of other processes' controls are read with
// WM_GETTEXT through SendMessageTimeoutA, never GetWindowTextA.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace driver {

// Visible top-level windows with exactly this title (any process when pid is 0).
std::vector<HWND> topWindowsTitled(const std::string& title, DWORD pid = 0);
// Waits up to timeoutMs for a window with this title; null when none came.
HWND waitForTopWindow(const std::string& title, DWORD pid, int timeoutMs);

std::string className(HWND window);
std::string controlText(HWND control);
bool setControlText(HWND control, const std::string& text);
// Posted, not sent: the target may open a modal box in answer to the click.
void click(HWND button);
bool isChecked(HWND checkBox);
// Posts a key press (down and up) to a control, as typed while it has focus.
void pressKey(HWND control, WPARAM virtualKey);
// The close box: the system menu's Close command.
void pressCloseBox(HWND window);

// A message box (#32770 with a text control) of process pid.
struct MessageBoxSeen {
    HWND window = nullptr;
    std::string caption;
    std::string text;
    bool hasButton(int id) const;
};

// Waits up to timeoutMs for a message box of process pid other than
// `except`; window is null when none came.
MessageBoxSeen waitForMessageBox(DWORD pid, int timeoutMs, HWND except = nullptr);
// Presses button id (IDYES 6, IDNO 7, IDOK 1) of the box and waits until
// the box has closed.
void answer(const MessageBoxSeen& box, int id);

// Sleeps in small steps until done() or the time is up; returns done().
template <class Done> bool waitUntil(Done done, int timeoutMs) {
    for (int waited = 0; waited < timeoutMs; waited += 20) {
        if (done()) {
            return true;
        }
        Sleep(20);
    }
    return done();
}

} // namespace driver
