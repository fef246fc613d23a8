// What the cc:Mail source relies on of VIM: the ten entry points, the
// attribute descriptors of the enumeration and the offsets inside them.
// Shared with the stand-in library of the tests.
#ifndef PELIMBO_SOURCES_VIM_RECORDS_H
#define PELIMBO_SOURCES_VIM_RECORDS_H

#include <windows.h>

#include <stdint.h>

typedef long VimStatus; // 0 is success
typedef void *VimSessionHandle;
typedef void *VimContainerHandle;

// A message reference (also the enumeration position): eight opaque bytes.
struct VimReference {
    uint8_t bytes[8];
};

// One attribute asked of the enumeration: what, and where it goes.
struct VimAttribute {
    uint32_t selector;
    uint32_t size;
    void *buffer;
};

enum {
    VIM_SELECT_SENDER = 34,
    VIM_SELECT_SUBJECT = 91,
    VIM_SELECT_DATE = 19,
    VIM_SELECT_REFERENCE = 76,
    VIM_SENDER_RECORD_SIZE = 2316,
    VIM_SENDER_TEXT_OFFSET = 264, // the sender's display text inside the record
    VIM_SUBJECT_SIZE = 80,
    VIM_DATE_SIZE = 12, // three 32-bit words
    VIM_REFERENCE_SIZE = 8,
    VIM_CAPABILITY_ITEM = 72,
    VIM_CAPABILITY_SIZE = 16,
    VIM_SESSION_VERSION = 100,
    VIM_SESSION_CHARSET = 16,
    VIM_ENUMERATE_FILTER = 58,
    VIM_STATUS_TEXT_SIZE = 128,
};

typedef VimStatus(WINAPI *VimInitializeFn)(void);
typedef VimStatus(WINAPI *VimTerminateFn)(void);
typedef VimStatus(WINAPI *VimQueryCapabilityFn)(uint32_t item, uint32_t size, void *buffer);
typedef VimStatus(WINAPI *VimOpenSessionFn)(const char *postOffice, const char *user, const char *password,
                                            uint32_t version, uint32_t charset, VimSessionHandle *session);
typedef VimStatus(WINAPI *VimCloseSessionFn)(VimSessionHandle session);
typedef VimStatus(WINAPI *VimOpenMessageContainerFn)(VimSessionHandle session, const char *name,
                                                     VimContainerHandle *container);
typedef VimStatus(WINAPI *VimCloseMessageContainerFn)(VimContainerHandle container);
typedef VimStatus(WINAPI *VimRemoveMessageFn)(VimContainerHandle container, VimReference reference);
// position is moved on by the library; count asks for and returns the number
// of messages; more is set while messages follow.
typedef VimStatus(WINAPI *VimEnumerateMessagesFn)(VimContainerHandle container, VimReference *position,
                                                  int32_t skip, uint32_t attributeCount,
                                                  VimAttribute *attributes, uint32_t *count,
                                                  uint32_t filterSelector, void *filterValue,
                                                  uint32_t unreadOnly, uint32_t *more);
typedef VimStatus(WINAPI *VimStatusTextFn)(VimSessionHandle session, VimStatus status, uint32_t size1,
                                           char *text1, uint32_t size2, char *text2);

#endif
