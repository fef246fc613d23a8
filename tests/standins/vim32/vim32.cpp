// A stand-in for the VIM library, loaded in place of a cc:Mail client's by
// the service-source tests. It serves the mailbox described by the file named
// in PELIMBO_VIM_MAILBOX:
//   message<TAB>ref<TAB>read<TAB>date<TAB>from<TAB>subject[<TAB>record length]
//     date: 24 hex digits, the twelve bytes in memory order; ref: at most 8
//     characters; record length: the sender record ends after that many bytes
//   init fail S | capability fail S | session fail S | open fail S
//                      that call returns status S
//   enumerate fail N S the N-th enumeration step of a walk returns S
//   remove fail S      VIMRemoveMessage returns S
//   statustext none    VIMStatusText has no texts
// Every call is written to a log the test reads through standinLog();
// standinOpenContainers() counts containers not closed.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "sources/vim_records.h"
#include "tests/standins/common/mailbox_file.h"

namespace
{

const char mailboxVariable[] = "PELIMBO_VIM_MAILBOX";

StandinMailbox mailbox;
int initialised; // VIMInitialize calls not yet matched by VIMTerminate
long containers; // opened and not closed
VimSessionHandle openSession;
int walkStep;
int containerTag = 0xC0;

std::string number(long value)
{
    return std::to_string(value);
}

VimStatus failure(const char *name)
{
    return mailbox.number(name);
}

std::string referenceText(const VimReference &reference)
{
    char text[9];
    memcpy(text, reference.bytes, 8);
    text[8] = '\0';
    return text;
}

// Position: the ordinal of the next message to look at, in its first bytes.
uint32_t positionOf(const VimReference *position)
{
    uint32_t at;
    memcpy(&at, position->bytes, sizeof at);
    return at;
}

void fillDate(uint8_t *date, const std::string &hexDigits)
{
    for (size_t i = 0; i < VIM_DATE_SIZE && 2 * i + 1 < hexDigits.size(); i++)
        date[i] = (uint8_t)strtoul(hexDigits.substr(2 * i, 2).c_str(), NULL, 16);
}

void fillAttributes(const StandinMessage &message, uint32_t count, VimAttribute *attributes)
{
    for (uint32_t i = 0; i < count; i++) {
        VimAttribute &a = attributes[i];
        char *buffer = static_cast<char *>(a.buffer);
        switch (a.selector) {
        case VIM_SELECT_SENDER: {
            std::string from = message.field(3);
            size_t length = VIM_SENDER_TEXT_OFFSET + from.size() + 1;
            std::string declared = message.field(5);
            if (!declared.empty())
                length = strtoul(declared.c_str(), NULL, 10);
            if (length > a.size)
                length = a.size;
            // A record that ends before the display text holds only filler.
            memset(buffer, 'x', length);
            if (length > VIM_SENDER_TEXT_OFFSET)
                memcpy(buffer + VIM_SENDER_TEXT_OFFSET, from.c_str(),
                       from.size() + 1 < length - VIM_SENDER_TEXT_OFFSET ? from.size() + 1
                                                                         : length - VIM_SENDER_TEXT_OFFSET);
            a.size = (uint32_t)length;
            break;
        }
        case VIM_SELECT_SUBJECT: {
            std::string subject = message.field(4);
            size_t length = subject.size() + 1 < a.size ? subject.size() + 1 : a.size;
            memcpy(buffer, subject.c_str(), length); // an over-long subject arrives unterminated
            a.size = (uint32_t)length;
            break;
        }
        case VIM_SELECT_DATE:
            if (a.size >= VIM_DATE_SIZE)
                fillDate(reinterpret_cast<uint8_t *>(buffer), message.field(2));
            break;
        case VIM_SELECT_REFERENCE:
            if (a.size >= VIM_REFERENCE_SIZE) {
                memset(buffer, 0, VIM_REFERENCE_SIZE);
                std::string ref = message.field(0);
                memcpy(buffer, ref.c_str(), ref.size() < 8 ? ref.size() : 8);
            }
            break;
        default: break;
        }
    }
}

} // namespace

extern "C" {

__declspec(dllexport) long standinOpenContainers(void)
{
    return containers;
}

__declspec(dllexport) long standinInitialised(void)
{
    return initialised;
}

__declspec(dllexport) VimStatus WINAPI VIMInitialize(void)
{
    callLog.note("initialize");
    mailbox = readStandinMailbox(mailboxVariable);
    VimStatus status = failure("init fail");
    if (status == 0)
        initialised++;
    return status;
}

__declspec(dllexport) VimStatus WINAPI VIMTerminate(void)
{
    callLog.note("terminate");
    initialised--;
    return 0;
}

__declspec(dllexport) VimStatus WINAPI VIMQueryCapability(uint32_t item, uint32_t size, void *buffer)
{
    callLog.note("capability " + number(item) + " " + number(size));
    if (buffer && size >= 4)
        memset(buffer, 1, 4);
    return failure("capability fail");
}

__declspec(dllexport) VimStatus WINAPI
    VIMOpenSession(const char *postOffice, const char *user, const char *password, uint32_t version,
                   uint32_t charset, VimSessionHandle *session)
{
    callLog.note(std::string("opensession ") + (postOffice ? postOffice : "(null)") + " "
                 + (user ? user : "(null)") + " " + (password ? password : "(null)") + " " + number(version)
                 + " " + number(charset));
    VimStatus status = failure("session fail");
    if (status != 0)
        return status;
    openSession = reinterpret_cast<VimSessionHandle>(0x5E55);
    *session = openSession;
    return 0;
}

__declspec(dllexport) VimStatus WINAPI VIMCloseSession(VimSessionHandle session)
{
    callLog.note("closesession");
    if (session != openSession || !session)
        return 1;
    openSession = NULL;
    return 0;
}

__declspec(dllexport) VimStatus WINAPI
    VIMOpenMessageContainer(VimSessionHandle session, const char *name, VimContainerHandle *container)
{
    callLog.note(std::string("opencontainer ") + (name ? name : "(inbox)"));
    mailbox = readStandinMailbox(mailboxVariable);
    walkStep = 0;
    if (session != openSession || !session)
        return 1;
    VimStatus status = failure("open fail");
    if (status != 0)
        return status;
    containers++;
    *container = reinterpret_cast<VimContainerHandle>((intptr_t)++containerTag);
    return 0;
}

__declspec(dllexport) VimStatus WINAPI VIMCloseMessageContainer(VimContainerHandle)
{
    callLog.note("closecontainer");
    containers--;
    return 0;
}

__declspec(dllexport) VimStatus WINAPI VIMRemoveMessage(VimContainerHandle, VimReference reference)
{
    std::string ref = referenceText(reference);
    callLog.note("remove " + ref);
    VimStatus status = failure("remove fail");
    if (status != 0)
        return status;
    for (size_t i = 0; i < mailbox.messages.size(); i++)
        if (mailbox.messages[i].field(0) == ref) {
            // Later positions keep pointing at the same messages.
            mailbox.messages[i].fields[0] = "";
            writeStandinMailbox(mailboxVariable, mailbox);
            return 0;
        }
    return 3;
}

__declspec(dllexport) VimStatus WINAPI
    VIMEnumerateMessages(VimContainerHandle, VimReference *position, int32_t skip, uint32_t attributeCount,
                         VimAttribute *attributes, uint32_t *count, uint32_t filterSelector,
                         void *filterValue, uint32_t unreadOnly, uint32_t *more)
{
    uint32_t at = positionOf(position);
    callLog.note("enumerate " + number(at) + " " + number(skip) + " " + number(attributeCount) + " "
                 + number(*count) + " " + number(filterSelector) + (filterValue ? " value" : " novalue") + " "
                 + number(unreadOnly));
    walkStep++;
    std::string scripted = mailbox.option("enumerate fail");
    if (!scripted.empty() && strtol(scripted.c_str(), NULL, 10) == walkStep)
        return strtol(scripted.substr(scripted.find(' ') + 1).c_str(), NULL, 10);
    auto wanted = [&](size_t i) {
        const StandinMessage &m = mailbox.messages[i];
        return !m.field(0).empty() && !(unreadOnly && m.read);
    };
    size_t i = at;
    while (i < mailbox.messages.size() && !wanted(i))
        i++;
    *more = 0;
    if (i >= mailbox.messages.size()) {
        *count = 0;
        return 0;
    }
    fillAttributes(mailbox.messages[i], attributeCount, attributes);
    *count = 1;
    uint32_t next = (uint32_t)i + 1;
    memset(position->bytes, 0, sizeof position->bytes);
    memcpy(position->bytes, &next, sizeof next);
    for (size_t j = next; j < mailbox.messages.size(); j++)
        if (wanted(j))
            *more = 1;
    return 0;
}

#ifndef STANDIN_WITHOUT_STATUSTEXT
__declspec(dllexport) VimStatus WINAPI VIMStatusText(VimSessionHandle, VimStatus status, uint32_t size1,
                                                     char *text1, uint32_t size2, char *text2)
{
    callLog.note("statustext " + number(status) + " " + number(size1) + " " + number(size2));
    if (!mailbox.option("statustext none").empty())
        return 1;
    snprintf(text1, size1, "status %ld", (long)status);
    snprintf(text2, size2, "detail %ld", (long)status);
    return 0;
}
#endif

} // extern "C"
