#include "CdProgram.h"

#include <ctype.h>
#include <stdlib.h>
#include <string.h>

int GetCommandTail(char *buffer, size_t capacity)
{
    const char *line = GetCommandLineA();
    // The program's own name: quoted, or up to the first blank.
    if (*line == '"') {
        ++line;
        while (*line != '\0' && *line != '"')
            ++line;
        if (*line == '"')
            ++line;
    } else {
        while (*line != '\0' && *line != ' ' && *line != '\t')
            ++line;
    }
    while (*line == ' ' || *line == '\t')
        ++line;
    size_t length = strlen(line);
    while (length > 0 && (line[length - 1] == ' ' || line[length - 1] == '\t' ||
                          line[length - 1] == '\r' || line[length - 1] == '\n'))
        --length;
    if (length >= 2 && line[0] == '"' && line[length - 1] == '"') {
        ++line;
        length -= 2;
    }
    if (length >= capacity) {
        if (capacity > 0)
            buffer[0] = '\0';
        return 0;
    }
    memcpy(buffer, line, length);
    buffer[length] = '\0';
    return 1;
}

// An environment value into the buffer; 0 when unset, empty or too long.
static int ReadEnvironment(const char *variable, char *buffer, size_t capacity)
{
    DWORD length = GetEnvironmentVariableA(variable, buffer, (DWORD)capacity);
    if (length == 0 || length >= capacity) {
        buffer[0] = '\0';
        return 0;
    }
    return 1;
}

int InTestMode()
{
    char path[CD_PATH_BUFFER];
    return ReadEnvironment("DSAGA_CHILD_LOG", path, sizeof path);
}

// The executable's file name without directory and extension, lower case.
static std::string OwnBaseName()
{
    char module[CD_PATH_BUFFER];
    DWORD length = GetModuleFileNameA(NULL, module, (DWORD)sizeof module);
    if (length == 0 || length >= sizeof module)
        return "unknown";
    const char *name = module;
    for (const char *p = module; *p != '\0'; p = CharNextA(p)) {
        if (*p == '\\' || *p == '/' || *p == ':')
            name = p + 1;
    }
    std::string base(name);
    size_t dot = base.rfind('.');
    if (dot != std::string::npos && dot > 0)
        base.erase(dot);
    for (size_t i = 0; i < base.size(); ++i)
        base[i] = (char)tolower((unsigned char)base[i]);
    return base;
}

// "|admin=1" when the program holds the Administrators group, "|admin=0"
// when it does not; asked for by DSAGA_RECORD_RIGHTS, so that the lines of
// every other test stay as they are.
static std::string RightsField()
{
    char wanted[8];
    if (!ReadEnvironment("DSAGA_RECORD_RIGHTS", wanted, sizeof wanted))
        return "";
    return HoldsAdministratorsGroup() ? "|admin=1" : "|admin=0";
}

void RecordRun(const std::string &extraFields)
{
    char logPath[CD_PATH_BUFFER];
    if (!ReadEnvironment("DSAGA_CHILD_LOG", logPath, sizeof logPath))
        return;
    char directory[CD_PATH_BUFFER];
    DWORD length = GetCurrentDirectoryA((DWORD)sizeof directory, directory);
    if (length == 0 || length >= sizeof directory)
        directory[0] = '\0';

    std::string line = OwnBaseName();
    line += '|';
    line += directory;
    line += '|';
    line += GetCommandLineA();
    line += extraFields;
    line += RightsField();
    line += '\n';

    // One append-mode write per line, so lines of programs that run one
    // after another (or overlap) never interleave.
    HANDLE file = CreateFileA(logPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        OutputDebugStringA("cd program: cannot open DSAGA_CHILD_LOG\n");
        return;
    }
    DWORD written = 0;
    if (!WriteFile(file, line.data(), (DWORD)line.size(), &written, NULL) || written != line.size())
        OutputDebugStringA("cd program: cannot write DSAGA_CHILD_LOG\n");
    CloseHandle(file);
}

void WaitForRelease(const char *name)
{
    char variable[64];
    char path[CD_PATH_BUFFER], reached[CD_PATH_BUFFER];
    if (!FormatText(variable, sizeof variable, "DSAGA_WAIT_%s", name) ||
        !ReadEnvironment(variable, path, sizeof path))
        return;
    // Tells the test that the program is held here.
    if (FormatText(reached, sizeof reached, "%s.reached", path)) {
        HANDLE mark = CreateFileA(reached, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        if (mark != INVALID_HANDLE_VALUE)
            CloseHandle(mark);
    }
    const DWORD pollMs = 50;
    const DWORD limitMs = 120000;
    for (DWORD waited = 0; waited < limitMs; waited += pollMs) {
        if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES)
            return;
        Sleep(pollMs);
    }
}

int FinishRun(const char *name, int naturalCode)
{
    WaitForRelease(name);
    char variable[64];
    char value[64];
    if (!FormatText(variable, sizeof variable, "DSAGA_EXIT_%s", name) ||
        !ReadEnvironment(variable, value, sizeof value))
        return naturalCode;
    char *end = NULL;
    long long code = strtoll(value, &end, 10);
    if (end == value)
        return naturalCode;
    return (int)(unsigned int)code;
}

void ShowProgramMessageWide(const WCHAR *text, const char *caption, UINT style)
{
    WCHAR wideCaption[CD_PATH_BUFFER];
    AnsiToWide(caption, wideCaption, CD_PATH_BUFFER);
    if (InTestMode()) {
        WCHAR line[3 * CD_PATH_BUFFER];
        if (FormatWideText(line, sizeof line / sizeof line[0], L"%ls: %ls\n", wideCaption, text))
            OutputDebugStringW(line);
        return;
    }
    MessageBoxW(NULL, text, wideCaption, style | MB_SETFOREGROUND);
}

void ShowProgramMessage(const char *text, const char *caption, UINT style)
{
    WCHAR wide[3 * CD_PATH_BUFFER];
    AnsiToWide(text, wide, sizeof wide / sizeof wide[0]);
    ShowProgramMessageWide(wide, caption, style);
}
