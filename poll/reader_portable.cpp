// Reader launch and detection on hosts without the Windows process services
// (the native build of the window-free core): no reader is ever started or
// found running, so the poll cycle never waits for one.
#include "poll/reader.h"

ReaderState reader;

bool detectReader(void)
{
    return true;
}
bool detectReaderBy(ReaderDetectMethod method)
{
    return true;
}
void launchReader(void)
{
}
const char *locateReader(void)
{
    return nullptr;
}
bool adoptReaderProcess(uint32_t pid, const char *programFile, const char *readerPath)
{
    return false;
}
void resetReaderState(void)
{
}
void unloadReaderLibraries(void)
{
}
