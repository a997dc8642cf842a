#pragma once
/* The test-control calls of the network component library (libNetComponents), for tests only.
 *
 * libNetComponents implements the seven C entry points of every component family
 * (NetComponentEntryPoints.h) with nothing behind them: a component answers only what a test
 * scripted, and every call on it is recorded. What it does keep as a real component would:
 * - handles are opaque and looked up in a registry; a null or destroyed handle gets an error
 *   code and text (NetComponentsTest_InvalidHandle), never a crash;
 * - each component has its own last error code and text, cleared at the start of every
 *   Get, Set and Do (not by GetLastError or GetLastErrorCode);
 * - an address it answers (Get, Do result slots, GetLastError) stays valid until the next Get,
 *   Set, Do or Destroy on that component;
 * - an unscripted Get, Set or Do fails with NetComponentsTest_NotSupported and the text
 *   "'<selector>' is not supported by this build";
 * - no exception leaves an entry point.
 *
 * Threads: every call may come from any thread; the library's state is behind one lock, which
 * is never held while an event sink runs (handlers may call back in). */

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#ifndef NET_COMPONENT_API
#define NET_COMPONENT_API
#endif

enum {
    NetComponentsTest_NotSupported = 101,
    NetComponentsTest_InvalidHandle = 102,
    NetComponentsTest_InternalFailure = 103
};

enum NetComponentsEntry {
    NetComponentsEntry_Create,
    NetComponentsEntry_Destroy,
    NetComponentsEntry_Get,
    NetComponentsEntry_Set,
    NetComponentsEntry_Do,
    NetComponentsEntry_GetLastError,
    NetComponentsEntry_GetLastErrorCode
};

/* One slot as the call gave it. For slots whose kind is an address (texts, data) the bytes
 * behind it were copied when the call came in: a string up to its NUL, counted text and data
 * as many bytes as the length says. */
typedef struct NetComponentsSlot {
    uintptr_t word;
    int length;
    int isAddress;              /* 1 when the slot's kind carries an address */
    const unsigned char* bytes; /* the copied bytes; NULL when the address was NULL */
    int byteCount;
} NetComponentsSlot;

typedef struct NetComponentsCall {
    const char* prefix; /* "CertMgr_" */
    int entry;          /* NetComponentsEntry */
    void* handle;       /* Create: the handle it answered */
    int id;             /* Get/Set: property; Do: method */
    int index;          /* Get/Set */
    int argumentCount;  /* Do */
    int slotCount;      /* Set: 1 (value, length); Do: argumentCount + 1, or 0 for null arrays */
    const NetComponentsSlot* slots;
    int lengthGiven;    /* Get: *length when the call came in; -1 for a null length pointer */
    int lengthsNull;    /* Do: the lengths array was NULL */
} NetComponentsCall;

/* Forgets the recorded calls, every scripted answer, a pending failure and pending events.
 * Components stay alive. */
NET_COMPONENT_API void NetComponentsTest_Reset(void);

/* The recorded calls, oldest first; a call stays valid until the next Reset. */
NET_COMPONENT_API int NetComponentsTest_CallCount(void);
NET_COMPONENT_API const NetComponentsCall* NetComponentsTest_Call(int position);

/* Get of property `id` of any component of the family (at any index) answers `word` itself
 * (an int or bool, or an address the test owns) and writes `length` to *length. */
NET_COMPONENT_API void NetComponentsTest_AnswerGetWord(const char* prefix, int id, intptr_t word, int length);
/* Get answers the address of the component's own copy of `count` bytes (followed by a NUL) and
 * writes `length` to *length, which need not be `count`. NULL bytes answer a null address. */
NET_COMPONENT_API void NetComponentsTest_AnswerGetBytes(const char* prefix, int id, const void* bytes,
                                                        int count, int length);
/* Set of property `id` succeeds. */
NET_COMPONENT_API void NetComponentsTest_AcceptSet(const char* prefix, int id);
/* Do of method `id` succeeds; the two calls below also make it write one slot each time. */
NET_COMPONENT_API void NetComponentsTest_AcceptDo(const char* prefix, int id);
/* Do writes the address of the component's copy of the bytes (NUL-terminated) into `slot` and
 * `length` into length slot `slot` (when the lengths array is not NULL). */
NET_COMPONENT_API void NetComponentsTest_AnswerDoBytes(const char* prefix, int id, int slot, const void* bytes,
                                                       int count, int length);
NET_COMPONENT_API void NetComponentsTest_AnswerDoWord(const char* prefix, int id, int slot, intptr_t word,
                                                      int length);

/* The next Create, Get, Set or Do of any family fails with this code and text: Create answers
 * NULL, Set and Do answer the code, Get sets the error and still answers its scripted value.
 * A NULL text makes GetLastError answer a null address. */
NET_COMPONENT_API void NetComponentsTest_FailNext(int code, const char* text);

/* The handle that the latest successful Create of the family answered, or NULL. */
NET_COMPONENT_API void* NetComponentsTest_LastCreated(const char* prefix);

/* Calls the sink of `handle` now with the given arrays, which the sink changes in place.
 * Answers the sink's result, or -1 when the handle names no component. */
NET_COMPONENT_API int NetComponentsTest_FireEvent(void* handle, int event, int argumentCount, void** slots,
                                                  int* lengths);
/* Fires the event from inside the next Get, Set or Do on `handle` (on any component when NULL),
 * after that call has cleared its error and before it answers. The arrays are used in place and
 * must stay valid until then. Several queued events fire in order. */
NET_COMPONENT_API void NetComponentsTest_FireDuringNextCall(void* handle, int event, int argumentCount,
                                                            void** slots, int* lengths);

#ifdef __cplusplus
}
#endif
