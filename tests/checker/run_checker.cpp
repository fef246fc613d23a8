#include "tests/checker/run_checker.h"

#include <windows.h>

#include <string.h>

#include <vector>

#ifndef PELCHECK_UNIX_PATH
#error "PELCHECK_UNIX_PATH names the checker program"
#endif

std::string windowsPath(const std::string &unixPath)
{
    std::string path = "Z:" + unixPath;
    for (char &c : path)
        if (c == '/')
            c = '\\';
    return path;
}

// The environment of this process without DISPLAY: the checker must not need one.
static std::vector<char> environmentWithoutDisplay(void)
{
    std::vector<char> block;
    char *strings = GetEnvironmentStringsA();
    for (const char *p = strings; *p; p += strlen(p) + 1) {
        if (_strnicmp(p, "DISPLAY=", 8) == 0)
            continue;
        block.insert(block.end(), p, p + strlen(p) + 1);
    }
    FreeEnvironmentStringsA(strings);
    block.push_back('\0');
    return block;
}

static std::string withoutCarriageReturns(const std::string &text)
{
    std::string lines;
    for (char c : text)
        if (c != '\r')
            lines += c;
    return lines;
}

// Reads both pipes while the checker runs (it must never block on a full
// pipe) and stops once it has ended and both are empty. A process started on
// its behalf (Wine may start one) can hold the write ends open long after it
// ended; waiting for those would stall the test for nothing.
static void collectOutput(HANDLE process, HANDLE outPipe, HANDLE errPipe, std::string *out, std::string *err)
{
    HANDLE pipes[2] = {outPipe, errPipe};
    std::string *texts[2] = {out, err};
    DWORD started = GetTickCount();
    for (;;) {
        // Tested before reading: whatever it wrote before it ended is read below.
        bool ended = WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
        bool read = false;
        for (int i = 0; i < 2; i++) {
            DWORD available = 0;
            char buffer[4096];
            while (PeekNamedPipe(pipes[i], NULL, 0, NULL, &available, NULL) && available > 0) {
                DWORD got = 0;
                if (!ReadFile(pipes[i], buffer, available < sizeof buffer ? available : sizeof buffer, &got,
                              NULL)
                    || got == 0)
                    break;
                texts[i]->append(buffer, got);
                read = true;
            }
        }
        if ((ended && !read) || GetTickCount() - started > 60000)
            break;
        if (!read)
            Sleep(10);
    }
    *out = withoutCarriageReturns(*out);
    *err = withoutCarriageReturns(*err);
}

CheckRun runChecker(const std::string &arguments, const std::string &directory)
{
    CheckRun run;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    HANDLE outRead, outWrite, errRead, errWrite;
    if (!CreatePipe(&outRead, &outWrite, &inherit, 0) || !CreatePipe(&errRead, &errWrite, &inherit, 0))
        return run;
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);

    std::string command = "\"" + windowsPath(PELCHECK_UNIX_PATH) + "\" " + arguments;
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    std::vector<char> environment = environmentWithoutDisplay();
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = outWrite;
    startup.hStdError = errWrite;
    PROCESS_INFORMATION started;
    BOOL ok = CreateProcessA(NULL, line.data(), NULL, NULL, TRUE, 0, environment.data(), directory.c_str(),
                             &startup, &started);
    CloseHandle(outWrite);
    CloseHandle(errWrite);
    if (ok) {
        collectOutput(started.hProcess, outRead, errRead, &run.out, &run.err);
        WaitForSingleObject(started.hProcess, 5000);
        DWORD code = 0;
        GetExitCodeProcess(started.hProcess, &code);
        run.status = (int)code;
        CloseHandle(started.hProcess);
        CloseHandle(started.hThread);
    }
    CloseHandle(outRead);
    CloseHandle(errRead);
    return run;
}
