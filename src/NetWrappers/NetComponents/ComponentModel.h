#pragma once
// The component model inside libNetComponents: one Component per handle, with its property
// store (driven by the descriptors netwrapper_gen makes from the family tables), its error, the
// buffers its answers point at, its `config:` settings and, for the families that talk to a
// network, a Backend that performs methods and action writes.
//
// Threads: a component is used by one thread at a time (the thread calling its entry points);
// separate components may be used on separate threads at once. Events are delivered on the
// calling thread, inside the entry call that causes them. Nothing here is shared between
// components except the read-only descriptors.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "NetWrappers/NetComponentEntryPoints.h"

#include <functional>

struct ssl_ctx_st;
struct x509_store_ctx_st;

namespace netcomponents {

// What the tables say of each id: kinds are 's' string, 'c' counted text or data, 'i' int,
// 'b' bool; `countId` is the int property that sizes an indexed property's list.
struct NetComponentProperty {
    const char* getter;
    const char* setter;
    char kind;
    bool indexed;
    bool action;
    int countId;
};

// Method argument kinds 's', 'd' data, 'i'; a result 's' or 'c', 0 for none; `appendsTo` the
// list member each argument of an add... method extends (as many as the arguments), or null.
struct NetComponentMethod {
    const char* selector;
    const char* arguments;
    char result;
    const int* appendsTo;
};

struct NetComponentFamily {
    const char* prefix;
    const NetComponentProperty* properties;
    std::size_t propertyCount;
    const NetComponentMethod* methods;
    std::size_t methodCount;
};

const NetComponentFamily& familyAt(int family);
const NetComponentProperty* propertyOf(int family, int id);
const NetComponentMethod* methodOf(int family, int id);
// The id of the property whose getter (or, write-only, setter) is `name`; 0 when none.
int propertyNamed(int family, const char* name);

// One stored value: the bytes of a text, counted text or data, or the number of an int or bool.
struct Value {
    std::string bytes;
    std::int32_t number = 0;
};

struct Component;

// What a network family adds to the store. Each answers kNotHandled for what it does not do.
class Backend {
public:
    static constexpr int kNotHandled = -1;
    virtual ~Backend() = default;
    // Performs method `method` with its checked arguments; 0 or the failure's code (set with fail).
    virtual int perform(Component& component, int method, void** slots, int* lengths) = 0;
    // Performs the write of an action property; 0 or the failure's code.
    virtual int writeAction(Component& component, int property, const Value& value) = 0;
    // Asked when the component is destroyed, possibly from inside one of its own calls: ends a
    // transfer in progress at its next step.
    virtual void abandon() noexcept {}
};

struct Component {
    int family = 0;
    NetComponentSink sink = nullptr;
    void* context = nullptr;
    bool alive = true;

    int errorCode = 0;
    std::optional<std::string> errorText = std::string();
    // Buffers answered since the last Get, Set, Do: a deque never moves its elements.
    std::deque<std::string> answers;

    std::map<int, Value> values;                   // plain properties by id
    std::map<int, std::vector<Value>> lists;       // indexed properties by id
    std::map<std::string, std::string> settings;   // config: "Key=Value"
    std::unique_ptr<Backend> backend;

    // The store, for backends: plain values by id (0 reads as an empty value).
    const Value& value(int id) const;
    std::string text(int id) const { return value(id).bytes; }
    std::int32_t number(int id) const { return value(id).number; }
    void store(int id, std::string bytes) { values[id].bytes = std::move(bytes); }
    void store(int id, std::int32_t number) { values[id].number = number; }
    // An indexed property's entries, as many as its count says.
    std::vector<Value> entries(int id);
    // Appends one entry to each of `members` (one list) and raises its count.
    void append(const int* members, const std::vector<Value>& entries);
    void clearList(int countId);

    // Records a failure: the code answered and the text GetLastError gives.
    int fail(int code, std::string text);
    // Calls the sink with the slots (changed in place by written-back arguments). No exception
    // leaves it. Answers false when the component was destroyed by the handler.
    bool fire(int event, std::vector<void*>& slots, std::vector<int>& lengths);
};

// "'<selector>' is not supported by this build"
std::string notSupported(const char* selector);
// Settings no family of this build honours, refused rather than ignored: a firewall
// (`firewallHost`, `firewallType`) and a client certificate (`SSLCertStore`, `SSLCertEncoded`,
// `SSLCertSubject`). Answers 0 or the failure's code (set with fail).
int refuseUnsupportedSettings(Component& component);

// The slots of one event a backend fires; texts are kept here until the event has been
// delivered, data is the caller's (valid during the event).
class EventSlots {
public:
    EventSlots& text(std::string value);
    EventSlots& data(const void* bytes, std::size_t count);
    EventSlots& integer(long long value);
    // Delivers the event; answers false when the handler destroyed the component.
    bool fire(Component& c, int event);
    int writtenBack(std::size_t slot) const;

private:
    std::deque<std::string> texts_;
    std::vector<void*> slots_;
    std::vector<int> lengths_;
};

// TLS server verification shared by every family (ServerCertificate.cpp). prepare... makes a
// client context check the peer against the system store through `callback` (OpenSSL's
// certificate verification callback, which calls judgeServerCertificate).
void prepareServerVerification(ssl_ctx_st* context, int (*callback)(x509_store_ctx_st*, void*), void* argument);

struct ServerVerdict {
    bool accepted = false;
    bool goOn = true; // false: `deliver` said the connection must stop (destroyed, interrupted)
    std::string verdict;
};
// Checks the chain against the system store and the leaf against `host`, stores
// `SSLServerCert` (DER) and `SSLServerCertStatus`, then lets the family's
// onSSLServerAuthentication (event id `event`, fired through `deliver`) decide: its slot 4 starts
// 1 when verification passed or the DER equals `SSLAcceptServerCert`, and 0 otherwise.
ServerVerdict judgeServerCertificate(Component& component, x509_store_ctx_st* chain, const std::string& host,
                                     int event, const std::function<bool(EventSlots&, int)>& deliver);

// The network families' backends; null for every other family. The web families' initialises
// libcurl (once per process) the first time one is made; the socket families' (IPPortS_,
// TelnetS_, SocketComponent.cpp) opens nothing until it connects.
std::unique_ptr<Backend> makeHttpBackend(Component& component);
std::unique_ptr<Backend> makeSocketBackend(Component& component);

} // namespace netcomponents
