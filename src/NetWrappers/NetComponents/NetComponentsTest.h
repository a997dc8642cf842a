#pragma once
/* The error codes of the network component library (libNetComponents) and its test-control
 * calls, for tests only.
 *
 * libNetComponents implements the seven C entry points of every component family
 * (NetComponentEntryPoints.h):
 * - handles are opaque and looked up in a registry; a null or destroyed handle gets an error
 *   code and text (NetComponentsTest_InvalidHandle), never a crash;
 * - each component has its own last error code and text, cleared at the start of every
 *   Get, Set and Do (not by GetLastError or GetLastErrorCode);
 * - an address it answers (Get, Do result slots, GetLastError) stays valid until the next Get,
 *   Set, Do or Destroy on that component;
 * - every component stores its properties by kind (texts as their bytes, counted texts and data
 *   with their NULs, ints, bools as 0 or 1), with the refusals listed below; writing a list's
 *   count resizes its indexed members, the add... methods append one entry;
 * - Do checks the argument count; `config:` (method 1) stores "Key=Value" and answers "", and
 *   answers the value of "Key" (or ""); the web families (HTTPS_, WebFormS_, WebUploadS_)
 *   perform their requests, the socket families (IPPortS_, TelnetS_) hold one TCP connection
 *   (below); every other method, and the write of an action property (connected,
 *   commands, data to send) with nothing behind it, fails with NetComponentsTest_NotSupported
 *   and the text "'<selector>' is not supported by this build";
 * - events are delivered on the calling thread, inside the entry call that causes them;
 * - no exception leaves an entry point.
 * Scripted answers (below) take the place of the component's own for the ids a test names.
 *
 * Threads: a component is used by one thread at a time, separate components on separate
 * threads at once; the registry and the test controls are behind one lock, which is never held
 * while a component works or an event sink runs (handlers may call back in). */

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#ifndef NET_COMPONENT_API
#define NET_COMPONENT_API
#endif

/* Error codes and the texts that go with them. A web request answered with status 400 or more
 * fails with the status itself as its code and the status line as its text. */
enum {
    NetComponentsTest_NotSupported = 101,    /* "'<selector>' is not supported by this build" */
    NetComponentsTest_InvalidHandle = 102,   /* "Invalid component handle." */
    NetComponentsTest_InternalFailure = 103,
    NetComponentsTest_UnknownProperty = 104, /* "Unknown property id <id>." */
    NetComponentsTest_ReadOnly = 105,        /* "'<getter>' is read-only." */
    NetComponentsTest_WriteOnly = 106,       /* "'<setter>' is write-only." */
    NetComponentsTest_BadIndex = 107,        /* "Index <i> is out of range for '<getter>' (<n> entries)." */
    NetComponentsTest_BadCount = 108,        /* "'<setter>' cannot be negative." */
    NetComponentsTest_UnknownMethod = 109,   /* "Unknown method id <id>." */
    NetComponentsTest_ArgumentCount = 110,   /* "'<selector>' takes <k> arguments, not <n>." */
    NetComponentsTest_BadValue = 111,        /* what was wrong with the value */
    NetComponentsTest_Busy = 112,            /* "The component is busy with another request." */
    NetComponentsTest_Network = 113,         /* the transfer library's description of the failure */
    NetComponentsTest_Timeout = 114,         /* "Timed out after <n> seconds." */
    NetComponentsTest_CertificateRejected = 115, /* "Server certificate rejected: <verdict>" */
    NetComponentsTest_Interrupted = 116,     /* "Interrupted." */
    NetComponentsTest_TooManyRedirects = 117, /* "Too many redirects (<n>)." */
    NetComponentsTest_LocalFile = 118,       /* "Cannot write '<localFile>': <reason>" */
    NetComponentsTest_NotConnected = 119,    /* "Not connected." */
    NetComponentsTest_AlreadyConnected = 120, /* "Already connected." */
    NetComponentsTest_Tls = 121              /* "TLS failed: <reason>" */
};

/* The socket families (IPPortS_, TelnetS_): one TCP client connection per component, TLS by
 * OpenSSL over the same socket. Every wait (name look-up aside, which is the resolver's) is
 * bounded by `timeout` seconds (0 or less: 60); a wait that runs out fails the call with
 * NetComponentsTest_Timeout. Firewall settings and client certificates fail `connect` as not
 * supported. `linger` on (the default) closes gracefully, off resets the connection.
 *
 * `SSLStartMode`: NetComponentsTest_SSLNone (the default) connects plain, `startSSL` may then
 * start TLS; NetComponentsTest_SSLAtConnect does TLS right after connecting;
 * NetComponentsTest_SSLExplicit connects plain for a later `startSSL` (IPPortS_ only: TelnetS_
 * has no `startSSL`). Other values fail `connect` with NetComponentsTest_BadValue. The server's
 * certificate is judged as the web families judge it (onSSLServerAuthentication, slot 4).
 *
 * Events, all on the calling thread inside the call that causes them:
 * - connect (`connect::`/`connect:`, `connected` = 1): onConnectionStatus("Connection
 *   established", 0, "<address>:<port>"); with TLS onSSLServerAuthentication, onSSLStatus;
 *   then onConnected(0, "Connected to <address>:<port>."), onReadyToSend. A failed connect
 *   raises and fires neither onConnected nor onDisconnected.
 * - `startSSL`: onSSLServerAuthentication, onSSLStatus; when TLS fails the connection closes
 *   (onDisconnected) and the call raises.
 * - incoming data, in arrival order, from `doEvents` (which waits at most 50 ms when nothing is
 *   ready; a write waiting for room on a plain connection reads ahead without delivering): IPPortS_ onDataIn(bytes, line ended), split
 *   at `EOL` (without it; a piece that may be the start of an `EOL` waits for the next bytes)
 *   when `EOL` is not empty, as read otherwise; none while `singleLineMode` is on (`getLine`
 *   takes the lines) or `acceptData` is off (nothing is read). TelnetS_ onDataIn(bytes),
 *   onDo/onDont/onWill/onWont(option), onSubOption(bytes between IAC SB and IAC SE, unescaped),
 *   onCommand(code) for every other command; `transparent` on delivers every byte as data.
 * - the end of a connection: onDisconnected(0, "Connection closed by the peer.") after the data
 *   that came before it has been delivered or taken by `getLine` (the last line may end with the
 *   stream instead of `EOL`); onDisconnected(0, "") for `disconnect`; onDisconnected(code, reason)
 *   when a read or write fails (the call that wrote then raises). Once per connection.
 * `disconnect` from inside a handler closes at once: nothing more is delivered from the bytes
 * already read, and the call that delivered the event returns.
 * `bytesSent` counts the bytes of data given since the connection was made (Telnet escapes and
 * commands not counted); every write sends all its bytes or raises. */
enum {
    NetComponentsTest_SSLNone = 0,
    NetComponentsTest_SSLAtConnect = 1,
    NetComponentsTest_SSLExplicit = 2
};

/* Values of the web families' int settings: `authScheme` (HTTPS_, WebFormS_, WebUploadS_;
 * any other value fails the request as not supported) and `encoding` (WebFormS_; any other
 * value fails the submission with NetComponentsTest_BadValue). */
enum {
    NetComponentsTest_AuthBasic = 0,
    NetComponentsTest_AuthDigest = 1,
    NetComponentsTest_EncodingUrl = 0,      /* application/x-www-form-urlencoded */
    NetComponentsTest_EncodingMultipart = 1 /* multipart/form-data */
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
 * Components stay alive. Nothing is recorded before the first Reset. */
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
/* Set of property `id` succeeds without storing anything. */
NET_COMPONENT_API void NetComponentsTest_AcceptSet(const char* prefix, int id);
/* Do of method `id` succeeds without doing anything; the two calls below also make it write
 * one slot each time. */
NET_COMPONENT_API void NetComponentsTest_AcceptDo(const char* prefix, int id);
/* Do writes the address of the component's copy of the bytes (NUL-terminated) into `slot` and
 * `length` into length slot `slot` (when the lengths array is not NULL). */
NET_COMPONENT_API void NetComponentsTest_AnswerDoBytes(const char* prefix, int id, int slot, const void* bytes,
                                                       int count, int length);
NET_COMPONENT_API void NetComponentsTest_AnswerDoWord(const char* prefix, int id, int slot, intptr_t word,
                                                      int length);

/* The next Create, Get, Set or Do of any family fails with this code and text: Create answers
 * NULL, Set and Do answer the code, Get sets the error and still answers its value.
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
