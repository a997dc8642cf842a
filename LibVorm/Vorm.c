/*
 * libVorm: a memcpy that can lock its source pages in RAM while it copies.
 *
 * A thread switches protection on with set_memory_protection(). While it is on, memcpy first
 * locks the source range with mlock(); when the lock cannot be had, the destination is filled
 * with zeros over the whole length instead and nothing is copied. With protection off the call
 * goes straight to the C library's own memcpy, found once per process with
 * dlsym(RTLD_NEXT, "memcpy").
 *
 * Linux does not nest mlock()/munlock(): one munlock() unlocks a page however many times it
 * was locked. Every protected copy therefore registers the pages it locked, and when it ends it
 * unlocks only the pages that no other protected copy in flight still holds. Locks the caller
 * took itself (mlock, mlockall) cannot be seen from here: the kernel reports no lock state
 * per page, so a protected copy from such pages leaves them unlocked when it ends. A caller that
 * keeps buffers locked copies from them with protection off, or locks them again.
 *
 * This file must never call memcpy or memset by name (that would be this library again), and
 * the build keeps the compiler from turning its byte loops into such calls.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <pthread.h>
#include <signal.h>
#include <stdatomic.h>
#include <stddef.h>
#include <stdint.h>
#include <sys/mman.h>
#include <unistd.h>

#define VORM_EXPORT __attribute__((visibility("default")))
#define VORM_THREAD_LOCAL __thread __attribute__((tls_model("initial-exec")))

typedef void* (*CopyFunction)(void*, const void*, size_t);
typedef void* (*FillFunction)(void*, int, size_t);

VORM_EXPORT void* memcpy(void* restrict destination, const void* restrict source, size_t length);
VORM_EXPORT void* _memcpy(void* restrict destination, const void* restrict source, size_t length);
VORM_EXPORT int set_memory_protection(unsigned int protection);

/* The C library's memcpy and memset, looked up once. When one cannot be found, the byte loops
 * below stand in for it, so a missing function is never called. */
static _Atomic(CopyFunction) g_memcpyPtr;
static _Atomic(FillFunction) g_memsetPtr;
static pthread_once_t g_lookupOnce = PTHREAD_ONCE_INIT;

/* The calling thread's protection switch: 0 off, 1 to 255 on. A thread that never set it
 * reads 0. */
static VORM_THREAD_LOCAL unsigned char t_protection;

/* Set while this thread looks the system functions up, so that a copy made from inside the
 * lookup (by an allocator, say) neither waits for the lookup nor recurses into it. */
static VORM_THREAD_LOCAL unsigned char t_lookingUp;

/* A page range [start, end) locked by one protected copy in flight. Each lives on the stack
 * of the copy that registered it. */
typedef struct LockedRange {
    uintptr_t start;
    uintptr_t end;
    unsigned generation;
    struct LockedRange* previous;
    struct LockedRange* next;
} LockedRange;

static pthread_mutex_t g_rangesMutex = PTHREAD_MUTEX_INITIALIZER;
static LockedRange* g_ranges;
/* Bumped in a forked child, which inherits no memory locks and none of the other threads. */
static unsigned g_generation;
static pthread_once_t g_forkHandlersOnce = PTHREAD_ONCE_INIT;

/* Byte loops for when the system functions cannot be used. The volatile accesses keep the
 * compiler from recognising them as a copy or a fill and calling memcpy or memset. */
static void* byteCopy(void* destination, const void* source, size_t length)
{
    volatile unsigned char* to = (volatile unsigned char*)destination;
    const volatile unsigned char* from = (const volatile unsigned char*)source;
    for (size_t i = 0; i < length; ++i)
        to[i] = from[i];
    return destination;
}

static void* byteFill(void* destination, int value, size_t length)
{
    volatile unsigned char* to = (volatile unsigned char*)destination;
    for (size_t i = 0; i < length; ++i)
        to[i] = (unsigned char)value;
    return destination;
}

/* This library's own memcpy, by an address that cannot be interposed. */
extern __typeof__(memcpy) vormOwnMemcpy __attribute__((alias("memcpy"), visibility("hidden")));

static void lookUpSystemFunctions(void)
{
    t_lookingUp = 1;
    void* copy = dlsym(RTLD_NEXT, "memcpy");
    void* fill = dlsym(RTLD_NEXT, "memset");
    t_lookingUp = 0;

    CopyFunction systemCopy = (CopyFunction)copy;
    FillFunction systemFill = (FillFunction)fill;
    if (systemCopy == NULL || systemCopy == vormOwnMemcpy)
        systemCopy = byteCopy;
    if (systemFill == NULL)
        systemFill = byteFill;
    atomic_store_explicit(&g_memsetPtr, systemFill, memory_order_release);
    atomic_store_explicit(&g_memcpyPtr, systemCopy, memory_order_release);
}

static __attribute__((noinline, cold)) CopyFunction firstUseCopy(void)
{
    if (t_lookingUp)
        return byteCopy;
    pthread_once(&g_lookupOnce, lookUpSystemFunctions);
    CopyFunction copy = atomic_load_explicit(&g_memcpyPtr, memory_order_acquire);
    return copy != NULL ? copy : byteCopy;
}

static FillFunction systemFill(void)
{
    FillFunction fill = atomic_load_explicit(&g_memsetPtr, memory_order_acquire);
    return fill != NULL ? fill : byteFill;
}

/* Computes the whole pages under [source, source + length); fails when the range wraps
 * around the address space. */
static int pagesUnder(const void* source, size_t length, LockedRange* range)
{
    const uintptr_t pageSize = (uintptr_t)getpagesize();
    const uintptr_t mask = pageSize - 1;
    const uintptr_t first = (uintptr_t)source;
    if (length - 1 > UINTPTR_MAX - first)
        return 0;
    const uintptr_t lastPage = (first + (length - 1)) & ~mask;
    if (lastPage > UINTPTR_MAX - pageSize)
        return 0;
    range->start = first & ~mask;
    range->end = lastPage + pageSize;
    return 1;
}

/* The registry is also reached from signal handlers (memcpy is async-signal-safe), so signals
 * stay blocked while this thread holds its mutex. */
static void enterRegistry(sigset_t* previous)
{
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, previous);
    pthread_mutex_lock(&g_rangesMutex);
}

static void leaveRegistry(const sigset_t* previous)
{
    pthread_mutex_unlock(&g_rangesMutex);
    pthread_sigmask(SIG_SETMASK, previous, NULL);
}

static void registerRange(LockedRange* range)
{
    sigset_t previous;
    enterRegistry(&previous);
    range->generation = g_generation;
    range->previous = NULL;
    range->next = g_ranges;
    if (g_ranges != NULL)
        g_ranges->previous = range;
    g_ranges = range;
    leaveRegistry(&previous);
}

/* Forgets the range and unlocks those of its pages that no other registered range covers.
 * Also called after a failed mlock(), which can leave part of the range locked. */
static void releaseRange(LockedRange* range)
{
    sigset_t previous;
    enterRegistry(&previous);
    if (range->generation == g_generation) {
        if (range->previous != NULL)
            range->previous->next = range->next;
        else
            g_ranges = range->next;
        if (range->next != NULL)
            range->next->previous = range->previous;
    }

    uintptr_t position = range->start;
    while (position < range->end) {
        const LockedRange* cover = NULL;
        uintptr_t gapEnd = range->end;
        for (const LockedRange* other = g_ranges; other != NULL; other = other->next) {
            if (other->start <= position && position < other->end) {
                cover = other;
                break;
            }
            if (other->start > position && other->start < gapEnd)
                gapEnd = other->start;
        }
        if (cover != NULL) {
            position = cover->end;
        } else {
            munlock((const void*)position, gapEnd - position); /* a failure is ignored */
            position = gapEnd;
        }
    }
    leaveRegistry(&previous);
}

static void lockRegistryBeforeFork(void)
{
    pthread_mutex_lock(&g_rangesMutex);
}

static void unlockRegistryInParent(void)
{
    pthread_mutex_unlock(&g_rangesMutex);
}

static void resetRegistryInChild(void)
{
    g_ranges = NULL;
    ++g_generation;
    pthread_mutex_init(&g_rangesMutex, NULL);
}

static void registerForkHandlers(void)
{
    pthread_atfork(lockRegistryBeforeFork, unlockRegistryInParent, resetRegistryInChild);
}

static __attribute__((noinline)) void* protectedCopy(CopyFunction copy, void* destination,
                                                      const void* source, size_t length)
{
    if (length == 0)
        return copy(destination, source, 0);

    LockedRange range;
    const int haveRange = pagesUnder(source, length, &range);
    if (haveRange)
        registerRange(&range);
    void* result = destination;
    if (haveRange && mlock((const void*)range.start, range.end - range.start) == 0)
        result = copy(destination, source, length);
    else
        systemFill()(destination, 0, length);
    if (haveRange)
        releaseRange(&range);
    return result;
}

static inline __attribute__((always_inline)) void* vormCopy(void* destination, const void* source,
                                                            size_t length)
{
    CopyFunction copy = atomic_load_explicit(&g_memcpyPtr, memory_order_acquire);
    if (__builtin_expect(copy == NULL, 0))
        copy = firstUseCopy();
    if (__builtin_expect(t_protection == 0, 1))
        return copy(destination, source, length);
    return protectedCopy(copy, destination, source, length);
}

void* memcpy(void* restrict destination, const void* restrict source, size_t length)
{
    return vormCopy(destination, source, length);
}

void* _memcpy(void* restrict destination, const void* restrict source, size_t length)
{
    return vormCopy(destination, source, length);
}

int set_memory_protection(unsigned int protection)
{
    const unsigned char value = (unsigned char)(protection & 0xFFu);
    if (value != 0)
        pthread_once(&g_forkHandlersOnce, registerForkHandlers);
    t_protection = value;
    return 0;
}
