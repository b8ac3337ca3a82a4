#include "RemoteUi.h"

#include <string.h>

#include <utility>

namespace {

struct TopWindowSearch {
    DWORD processId;
    const std::string *caption;   // null: collect every caption
    bool visibleOnly;
    HWND found;
    std::vector<std::string> captions;
};

// Top-level captions are kept by the window manager, so GetWindowTextA reads
// them without a message to a possibly hung program.
std::string TopLevelCaption(HWND hwnd)
{
    char buffer[512];
    int length = GetWindowTextA(hwnd, buffer, sizeof buffer);
    return std::string(buffer, length > 0 ? static_cast<size_t>(length) : 0);
}

BOOL CALLBACK VisitTopWindow(HWND hwnd, LPARAM param)
{
    TopWindowSearch *search = reinterpret_cast<TopWindowSearch *>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(hwnd, &owner);
    if (owner != search->processId)
        return TRUE;
    bool visible = IsWindowVisible(hwnd) != FALSE;
    std::string caption = TopLevelCaption(hwnd);
    if (search->caption == nullptr) {
        search->captions.push_back(visible ? caption : caption + " (hidden)");
        return TRUE;
    }
    if (caption != *search->caption || (search->visibleOnly && !visible))
        return TRUE;
    search->found = hwnd;
    return FALSE;
}

}  // namespace

HWND WaitForTopWindow(DWORD processId, const std::string &caption, DWORD timeoutMs, bool visibleOnly)
{
    DWORD start = GetTickCount();
    for (;;) {
        TopWindowSearch search = {processId, &caption, visibleOnly, nullptr, {}};
        EnumWindows(VisitTopWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr)
            return search.found;
        if (GetTickCount() - start >= timeoutMs)
            return nullptr;
        Sleep(50);
    }
}

HWND WaitForAnyTopWindow(const std::string &caption, DWORD timeoutMs)
{
    for (DWORD waited = 0;; waited += 100) {
        HWND found = FindWindowA(NULL, caption.c_str());
        if (found != NULL && IsWindowVisible(found))
            return found;
        if (waited >= timeoutMs)
            return NULL;
        Sleep(100);
    }
}

bool QuitAndWaitForExit(HWND window, DWORD timeoutMs)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
    if (process == NULL)
        return false;
    PressButton(window, IDCANCEL);
    bool ended = WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0;
    CloseHandle(process);
    return ended;
}

std::vector<std::string> TopWindowCaptions(DWORD processId)
{
    TopWindowSearch search = {processId, nullptr, false, nullptr, {}};
    EnumWindows(VisitTopWindow, reinterpret_cast<LPARAM>(&search));
    return search.captions;
}

bool IsItemEnabled(HWND dlg, int id)
{
    HWND item = GetDlgItem(dlg, id);
    return item != nullptr && IsWindowEnabled(item);
}

// The control's own WS_VISIBLE: a control of a hidden dialog still counts as
// shown, as it would be once the dialog is.
bool IsItemVisible(HWND dlg, int id)
{
    HWND item = GetDlgItem(dlg, id);
    return item != nullptr && (GetWindowLongA(item, GWL_STYLE) & WS_VISIBLE) != 0;
}

void PressButton(HWND dlg, int id)
{
    PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dlg, id)));
}

ChildRun::ChildRun(ChildRun &&other) noexcept : pi(other.pi), job(other.job), startError(other.startError)
{
    other.pi = PROCESS_INFORMATION();
    other.job = nullptr;
}

ChildRun &ChildRun::operator=(ChildRun &&other) noexcept
{
    if (this != &other) {
        TerminateAndClose(*this);
        std::swap(pi, other.pi);
        std::swap(job, other.job);
        startError = other.startError;
    }
    return *this;
}

ChildRun::~ChildRun()
{
    TerminateAndClose(*this);
}

ChildRun StartProgram(const std::string &exePath, const std::string &workingDir, const std::string &arguments)
{
    ChildRun run;
    std::string commandLine = "\"" + exePath + "\"";
    if (!arguments.empty())
        commandLine += " " + arguments;
    // CreateProcessA may write into the command line.
    std::vector<char> writable(commandLine.begin(), commandLine.end());
    writable.push_back('\0');

    STARTUPINFOA si = {};
    si.cb = sizeof si;
    // Suspended until it is in the job, so nothing it starts escapes; with
    // the system's error mode, as a user's start gives it, not the tests' own.
    if (!CreateProcessA(exePath.c_str(), writable.data(), nullptr, nullptr, FALSE,
                        CREATE_SUSPENDED | CREATE_DEFAULT_ERROR_MODE, nullptr,
                        workingDir.empty() ? nullptr : workingDir.c_str(), &si, &run.pi)) {
        run.startError = GetLastError();
        run.pi = PROCESS_INFORMATION();
        return run;
    }
    run.job = CreateJobObjectA(nullptr, nullptr);
    if (run.job != nullptr) {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(run.job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
        if (!AssignProcessToJobObject(run.job, run.pi.hProcess)) {
            // Without the job only the process itself can be ended later.
            CloseHandle(run.job);
            run.job = nullptr;
        }
    }
    ResumeThread(run.pi.hThread);
    return run;
}

DWORD WaitForExit(HANDLE process, DWORD timeoutMs, DWORD *exitCode)
{
    DWORD waited = WaitForSingleObject(process, timeoutMs);
    if (waited == WAIT_TIMEOUT)
        return WAIT_TIMEOUT;
    if (waited != WAIT_OBJECT_0)
        return WAIT_FAILED;
    DWORD code = 0;
    if (!GetExitCodeProcess(process, &code))
        return WAIT_FAILED;
    if (exitCode != nullptr)
        *exitCode = code;
    return 0;
}

void TerminateAndClose(ChildRun &run)
{
    if (run.pi.hProcess != nullptr) {
        if (WaitForSingleObject(run.pi.hProcess, 0) == WAIT_TIMEOUT) {
            if (run.job == nullptr || !TerminateJobObject(run.job, 1))
                TerminateProcess(run.pi.hProcess, 1);
            WaitForSingleObject(run.pi.hProcess, 5000);
        } else if (run.job != nullptr) {
            // The program ended; what it started may still run.
            TerminateJobObject(run.job, 1);
        }
        CloseHandle(run.pi.hProcess);
    }
    if (run.pi.hThread != nullptr)
        CloseHandle(run.pi.hThread);
    if (run.job != nullptr)
        CloseHandle(run.job);
    run.pi = PROCESS_INFORMATION();
    run.job = nullptr;
}
