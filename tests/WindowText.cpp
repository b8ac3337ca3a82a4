#include "WindowText.h"

namespace {

// Long enough for a busy program, short enough that a hung one fails the
// test instead of stalling it.
const UINT kTextTimeoutMs = 5000;

struct StaticSearch {
    std::string longest;
};

BOOL CALLBACK VisitStatic(HWND child, LPARAM param)
{
    char cls[32];
    if (GetClassNameA(child, cls, sizeof cls) == 0 || lstrcmpiA(cls, "Static") != 0)
        return TRUE;
    StaticSearch *search = reinterpret_cast<StaticSearch *>(param);
    std::string text = WindowText(child);
    if (text.size() > search->longest.size())
        search->longest = text;
    return TRUE;
}

}  // namespace

std::string WindowText(HWND hwnd)
{
    if (hwnd == nullptr)
        return std::string();
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kTextTimeoutMs, &length))
        return std::string();
    // The length may be an overestimate (DBCS); the copy's count is exact.
    std::string text(static_cast<size_t>(length) + 1, '\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]), SMTO_ABORTIFHUNG,
                             kTextTimeoutMs, &copied))
        return std::string();
    text.resize(copied < text.size() ? static_cast<size_t>(copied) : text.size() - 1);
    return text;
}

std::string ItemText(HWND dlg, int id)
{
    return WindowText(GetDlgItem(dlg, id));
}

std::string MessageBoxText(HWND box)
{
    HWND message = GetDlgItem(box, 0xFFFF);
    if (message != nullptr)
        return WindowText(message);
    StaticSearch search;
    EnumChildWindows(box, VisitStatic, reinterpret_cast<LPARAM>(&search));
    return search.longest;
}
