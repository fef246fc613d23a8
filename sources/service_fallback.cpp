// Outside Windows there are no MAPI or VIM libraries to talk to: the service
// sources open nothing and their polls do nothing.
#include "sources/sources.h"

void openVim(void)
{
}
void closeVim(void)
{
}
void pollVim(void)
{
}
void reportVimStatus(long)
{
}
void openMapi(void)
{
}
void closeMapi(void)
{
}
void pollMapi(void)
{
}
void unloadServiceLibraries(void)
{
}
bool mapiSessionOpen(void)
{
    return false;
}
bool vimSessionOpen(void)
{
    return false;
}
