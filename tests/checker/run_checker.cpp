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

static std::string drain(HANDLE pipe)
{
    std::string text;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(pipe, buffer, sizeof buffer, &got, NULL) && got > 0)
        text.append(buffer, got);
    std::string lines;
    for (char c : text)
        if (c != '\r')
            lines += c;
    return lines;
}

struct DrainJob {
    HANDLE pipe;
    std::string text;
};

static DWORD WINAPI drainThread(LPVOID parameter)
{
    DrainJob *job = static_cast<DrainJob *>(parameter);
    job->text = drain(job->pipe);
    return 0;
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
        DrainJob errJob = {errRead, ""};
        HANDLE errThread = CreateThread(NULL, 0, drainThread, &errJob, 0, NULL);
        run.out = drain(outRead);
        WaitForSingleObject(errThread, 60000);
        CloseHandle(errThread);
        run.err = errJob.text;
        WaitForSingleObject(started.hProcess, 60000);
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
