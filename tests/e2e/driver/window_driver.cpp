#include "window_driver.h"

namespace driver {

namespace {

constexpr UINT sendTimeoutMs = 5000;
constexpr int answerTimeoutMs = 10000;
// Wine and Windows give a message box's text control this id.
constexpr int messageBoxTextId = 0xffff;

struct TitleSearch {
    const std::string* title;
    DWORD pid;
    std::vector<HWND> found;
};

BOOL CALLBACK collectTitled(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<TitleSearch*>(data);
    if (!IsWindowVisible(window)) {
        return TRUE;
    }
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (search->pid != 0 && owner != search->pid) {
        return TRUE;
    }
    if (controlText(window) == *search->title) {
        search->found.push_back(window);
    }
    return TRUE;
}

struct BoxSearch {
    DWORD pid;
    HWND except;
    HWND found;
};

BOOL CALLBACK findBox(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<BoxSearch*>(data);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->pid || window == search->except || !IsWindowVisible(window) ||
        className(window) != "#32770" || !GetDlgItem(window, messageBoxTextId)) {
        return TRUE;
    }
    search->found = window;
    return FALSE;
}

} // namespace

std::vector<HWND> topWindowsTitled(const std::string& title, DWORD pid) {
    TitleSearch search{&title, pid, {}};
    EnumWindows(collectTitled, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND waitForTopWindow(const std::string& title, DWORD pid, int timeoutMs) {
    HWND found = nullptr;
    waitUntil(
        [&] {
            std::vector<HWND> windows = topWindowsTitled(title, pid);
            found = windows.empty() ? nullptr : windows.front();
            return found != nullptr;
        },
        timeoutMs);
    return found;
}

std::string className(HWND window) {
    char name[256] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::string controlText(HWND control) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(control, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, sendTimeoutMs,
                             &length)) {
        return {};
    }
    std::string text(length + 1, '\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]),
                             SMTO_ABORTIFHUNG, sendTimeoutMs, &copied)) {
        return {};
    }
    text.resize(copied);
    return text;
}

bool setControlText(HWND control, const std::string& text) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                               SMTO_ABORTIFHUNG, sendTimeoutMs, &result) &&
           result == TRUE;
}

void click(HWND button) {
    PostMessageA(button, BM_CLICK, 0, 0);
}

bool isChecked(HWND checkBox) {
    DWORD_PTR state = 0;
    SendMessageTimeoutA(checkBox, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, sendTimeoutMs, &state);
    return state == BST_CHECKED;
}

void pressKey(HWND control, WPARAM virtualKey) {
    UINT scan = MapVirtualKeyA(static_cast<UINT>(virtualKey), MAPVK_VK_TO_VSC);
    PostMessageA(control, WM_KEYDOWN, virtualKey, 1 | (scan << 16));
    PostMessageA(control, WM_KEYUP, virtualKey, 1 | (scan << 16) | 0xC0000000u);
}

void pressCloseBox(HWND window) {
    PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
}

bool MessageBoxSeen::hasButton(int id) const {
    return GetDlgItem(window, id) != nullptr;
}

MessageBoxSeen waitForMessageBox(DWORD pid, int timeoutMs, HWND except) {
    BoxSearch search{pid, except, nullptr};
    waitUntil(
        [&] {
            search.found = nullptr;
            EnumWindows(findBox, reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        },
        timeoutMs);
    MessageBoxSeen box;
    if (search.found) {
        box.window = search.found;
        box.caption = controlText(search.found);
        box.text = controlText(GetDlgItem(search.found, messageBoxTextId));
    }
    return box;
}

void answer(const MessageBoxSeen& box, int id) {
    click(GetDlgItem(box.window, id));
    // Until it is gone, the answered box would still be found by the next wait.
    waitUntil([&] { return !IsWindow(box.window) || !IsWindowVisible(box.window); },
              answerTimeoutMs);
}

} // namespace driver
