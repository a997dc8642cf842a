/*
 * vorm_probe: runs one libVorm scenario in a process of its own, for test_Vorm.
 *
 * Built plain (no sanitizer, no project flags) so that crashes, signal handlers, rlimits and
 * privilege changes behave as in an ordinary program. Usage:
 *
 *   vorm_probe <libVorm path> switch <value>           protection <value> in the main thread,
 *                                                      then a copy from a PROT_NONE page
 *   vorm_probe <libVorm path> other-thread             the main thread turns protection on;
 *                                                      a new thread copies from PROT_NONE
 *   vorm_probe <libVorm path> first-call <threads>     all threads make their first call at once
 *   vorm_probe <libVorm path> memlock-limit <bytes> <size>
 *                                                      without CAP_IPC_LOCK and with that
 *                                                      RLIMIT_MEMLOCK, one protected copy
 *   vorm_probe <libVorm path> nested-locks             a protected copy ends while another one
 *                                                      over the same pages is still copying
 *
 * Exit status 0 means the scenario ran as expected up to its end; 77 means it cannot run here;
 * any other status is a failure described on stderr. Scenarios that should crash do so with
 * SIGSEGV. Results that the caller compares are printed on stdout.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <grp.h>
#include <pthread.h>
#include <signal.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

typedef void* (*CopyFunction)(void*, const void*, size_t);
typedef int (*SwitchFunction)(unsigned int);

static CopyFunction vormMemcpy;
static CopyFunction vormUnderscoreMemcpy;
static SwitchFunction setMemoryProtection;
static size_t pageSize;

static void fail(int status, const char* message)
{
    fprintf(stderr, "vorm_probe: %s\n", message);
    exit(status);
}

static void* mapPages(size_t pages, int protection)
{
    void* pointer = mmap(NULL, pages * pageSize, protection, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (pointer == MAP_FAILED)
        fail(2, "mmap failed");
    return pointer;
}

static void fillPattern(unsigned char* bytes, size_t length, unsigned seed)
{
    for (size_t i = 0; i < length; ++i)
        bytes[i] = (unsigned char)(i * 131u + seed * 7u + (i >> 9));
}

static int allZero(const unsigned char* bytes, size_t length)
{
    for (size_t i = 0; i < length; ++i)
        if (bytes[i] != 0)
            return 0;
    return 1;
}

/* The locked memory of this process in KiB, from /proc/self/status. */
static long lockedKiB(void)
{
    FILE* status = fopen("/proc/self/status", "r");
    if (status == NULL)
        fail(2, "cannot read /proc/self/status");
    char line[256];
    long value = -1;
    while (fgets(line, sizeof line, status) != NULL)
        if (sscanf(line, "VmLck: %ld kB", &value) == 1)
            break;
    fclose(status);
    if (value < 0)
        fail(2, "no VmLck line");
    return value;
}

static int hasIpcLockCapability(void)
{
    FILE* status = fopen("/proc/self/status", "r");
    if (status == NULL)
        fail(2, "cannot read /proc/self/status");
    char line[256];
    unsigned long long effective = 0;
    while (fgets(line, sizeof line, status) != NULL)
        if (sscanf(line, "CapEff: %llx", &effective) == 1)
            break;
    fclose(status);
    return (effective >> 14) & 1u; /* CAP_IPC_LOCK */
}

/* ---- switch <value> ---- */

static int runSwitch(unsigned int value)
{
    if (setMemoryProtection(value) != 0)
        fail(3, "set_memory_protection did not return 0");
    unsigned char* source = mapPages(2, PROT_NONE);
    unsigned char* destination = mapPages(2, PROT_READ | PROT_WRITE);
    memset(destination, 0xA5, 2 * pageSize);
    const size_t length = pageSize + 5;
    if (vormMemcpy(destination, source + 3, length) != destination)
        fail(4, "memcpy did not return the destination");
    if (!allZero(destination, length) || destination[length] != 0xA5)
        fail(5, "destination is not zero over exactly the copy's length");
    printf("zeroed\n");
    return 0;
}

/* ---- other-thread ---- */

static unsigned char* g_protNone;

static void* copyFromProtNone(void* argument)
{
    unsigned char* destination = argument;
    vormMemcpy(destination, g_protNone, 64);
    return NULL;
}

static int runOtherThread(void)
{
    g_protNone = mapPages(1, PROT_NONE);
    unsigned char* destination = mapPages(1, PROT_READ | PROT_WRITE);
    memset(destination, 0xA5, pageSize);
    setMemoryProtection(1);
    vormMemcpy(destination, g_protNone, 64);
    if (!allZero(destination, 64))
        fail(3, "the protected main thread did not get zeros");
    printf("main-zeroed\n");
    fflush(stdout);
    pthread_t thread;
    if (pthread_create(&thread, NULL, copyFromProtNone, destination) != 0)
        fail(2, "pthread_create failed");
    pthread_join(thread, NULL);
    fail(4, "a thread that never set the switch copied from PROT_NONE without a crash");
    return 4;
}

/* ---- first-call <threads> ---- */

static pthread_barrier_t g_start;
static atomic_int g_failures;
static unsigned char* g_readable;
static const size_t kReadableLength = 3 * 4096 + 11;

static void* firstCall(void* argument)
{
    const unsigned index = (unsigned)(size_t)argument;
    unsigned char destination[3 * 4096 + 64];
    memset(destination, 0x5A, sizeof destination);
    CopyFunction copy = (index % 4 == 3) ? vormUnderscoreMemcpy : vormMemcpy;
    pthread_barrier_wait(&g_start);
    if (index % 2 == 1 && setMemoryProtection(index) != 0)
        atomic_fetch_add(&g_failures, 1);
    const size_t offset = index % 8;
    if (copy(destination + offset, g_readable, kReadableLength) != destination + offset
        || memcmp(destination + offset, g_readable, kReadableLength) != 0)
        atomic_fetch_add(&g_failures, 1);
    if (index % 2 == 1) {
        copy(destination, g_protNone, 100);
        if (!allZero(destination, 100))
            atomic_fetch_add(&g_failures, 1);
    }
    return NULL;
}

static int runFirstCall(unsigned threads)
{
    if (threads == 0 || threads > 256)
        fail(2, "thread count out of range");
    g_readable = mapPages(4, PROT_READ | PROT_WRITE);
    fillPattern(g_readable, kReadableLength, 9);
    g_protNone = mapPages(1, PROT_NONE);
    const long baseline = lockedKiB();
    pthread_t ids[256];
    pthread_barrier_init(&g_start, NULL, threads);
    for (unsigned i = 0; i < threads; ++i)
        if (pthread_create(&ids[i], NULL, firstCall, (void*)(size_t)i) != 0)
            fail(2, "pthread_create failed");
    for (unsigned i = 0; i < threads; ++i)
        pthread_join(ids[i], NULL);
    if (atomic_load(&g_failures) != 0)
        fail(3, "a first call gave a wrong result");
    if (lockedKiB() != baseline)
        fail(4, "memory stayed locked after the protected copies");
    return 0;
}

/* ---- memlock-limit <bytes> <size> ---- */

static void dropPrivileges(void)
{
    if (geteuid() == 0) {
        const uid_t nobody = 65534;
        if (setgroups(0, NULL) != 0 || setresgid(nobody, nobody, nobody) != 0
            || setresuid(nobody, nobody, nobody) != 0)
            fail(2, "cannot drop privileges");
    }
    if (hasIpcLockCapability()) {
        fprintf(stderr, "vorm_probe: CAP_IPC_LOCK cannot be dropped here\n");
        exit(77);
    }
}

static int runMemlockLimit(unsigned long long limit, size_t size)
{
    const struct rlimit rl = {limit, limit};
    if (setrlimit(RLIMIT_MEMLOCK, &rl) != 0)
        fail(2, "setrlimit(RLIMIT_MEMLOCK) failed");
    dropPrivileges();
    if (lockedKiB() != 0)
        fail(2, "memory is locked before the test");

    const size_t pages = size / pageSize + 2;
    unsigned char* source = mapPages(pages, PROT_READ | PROT_WRITE);
    unsigned char* destination = mapPages(pages, PROT_READ | PROT_WRITE);
    fillPattern(source, pages * pageSize, 3);
    memset(destination, 0xA5, pages * pageSize);
    setMemoryProtection(1);
    if (vormMemcpy(destination, source, size) != destination)
        fail(3, "memcpy did not return the destination");
    setMemoryProtection(0);
    if (destination[size] != 0xA5)
        fail(4, "the copy wrote past its length");
    if (lockedKiB() != 0)
        fail(5, "memory stayed locked after the copy");
    if (size > 0 && memcmp(destination, source, size) == 0)
        printf("copied\n");
    else if (allZero(destination, size))
        printf("zeroed\n");
    else
        fail(6, "the destination is neither the source nor zeros");
    return 0;
}

/* ---- nested-locks ---- */

static unsigned char* g_guardPage;
static atomic_int g_blocked;
static atomic_int g_release;

/* The copy of thread A faults on the guard page of its destination while it holds its source
 * pages locked; the handler parks it there until the main thread has checked the locks. */
static void parkOnGuardPage(int signal, siginfo_t* info, void* context)
{
    (void)context;
    unsigned char* address = info->si_addr;
    if (address < g_guardPage || address >= g_guardPage + pageSize) {
        struct sigaction fallback;
        memset(&fallback, 0, sizeof fallback);
        fallback.sa_handler = SIG_DFL;
        sigaction(signal, &fallback, NULL);
        return;
    }
    atomic_store(&g_blocked, 1);
    const struct timespec pause = {0, 1000000};
    while (!atomic_load(&g_release))
        nanosleep(&pause, NULL);
    mprotect(g_guardPage, pageSize, PROT_READ | PROT_WRITE);
}

enum { kSourcePages = 16, kCopyPages = 8 };
static unsigned char* g_source;
static unsigned char* g_destinationA;

static void* copyA(void* argument)
{
    (void)argument;
    setMemoryProtection(1);
    vormMemcpy(g_destinationA, g_source, kCopyPages * pageSize);
    return NULL;
}

static int runNestedLocks(void)
{
    g_source = mapPages(kSourcePages, PROT_READ | PROT_WRITE);
    fillPattern(g_source, kSourcePages * pageSize, 5);
    g_destinationA = mapPages(kCopyPages, PROT_READ | PROT_WRITE);
    g_guardPage = g_destinationA + (kCopyPages - 1) * pageSize;
    mprotect(g_guardPage, pageSize, PROT_NONE);
    unsigned char* destinationB = mapPages(kCopyPages, PROT_READ | PROT_WRITE);

    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_sigaction = parkOnGuardPage;
    action.sa_flags = SA_SIGINFO;
    sigaction(SIGSEGV, &action, NULL);

    const size_t lockedPages = kCopyPages + kCopyPages / 2;
    if (mlock(g_source, lockedPages * pageSize) != 0) {
        fprintf(stderr, "vorm_probe: RLIMIT_MEMLOCK does not allow %zu KiB here\n", lockedPages * pageSize / 1024);
        exit(77);
    }
    munlock(g_source, lockedPages * pageSize);
    const long pageKiB = (long)(pageSize / 1024);
    const long baseline = lockedKiB();
    pthread_t thread;
    if (pthread_create(&thread, NULL, copyA, NULL) != 0)
        fail(2, "pthread_create failed");
    for (int i = 0; i < 10000 && !atomic_load(&g_blocked); ++i) {
        const struct timespec pause = {0, 1000000};
        nanosleep(&pause, NULL);
    }
    if (!atomic_load(&g_blocked))
        fail(3, "copy A never reached its guard page");
    if (lockedKiB() != baseline + kCopyPages * pageKiB) {
        fprintf(stderr, "vorm_probe: VmLck %ld kB while A copies, baseline %ld kB\n", lockedKiB(), baseline);
        fail(4, "copy A does not hold its source pages locked");
    }

    /* Copy B covers the second half of A's pages and as many pages beyond them. */
    setMemoryProtection(1);
    unsigned char* sourceB = g_source + (kCopyPages / 2) * pageSize;
    vormMemcpy(destinationB, sourceB, kCopyPages * pageSize);
    setMemoryProtection(0);
    if (memcmp(destinationB, sourceB, kCopyPages * pageSize) != 0)
        fail(5, "copy B gave wrong bytes");
    if (lockedKiB() != baseline + kCopyPages * pageKiB) {
        fprintf(stderr, "vorm_probe: VmLck %ld kB after B, expected %ld kB\n", lockedKiB(),
                baseline + kCopyPages * pageKiB);
        fail(6, "copy B changed the locks of the pages copy A still holds");
    }

    atomic_store(&g_release, 1);
    pthread_join(thread, NULL);
    if (memcmp(g_destinationA, g_source, kCopyPages * pageSize) != 0)
        fail(7, "copy A gave wrong bytes");
    if (lockedKiB() != baseline)
        fail(8, "memory stayed locked after both copies");
    return 0;
}

int main(int argc, char** argv)
{
    if (argc < 3)
        fail(2, "usage: vorm_probe <libVorm path> <scenario> [arguments]");
    pageSize = (size_t)sysconf(_SC_PAGESIZE);
    void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (library == NULL)
        fail(2, dlerror());
    vormMemcpy = (CopyFunction)dlsym(library, "memcpy");
    vormUnderscoreMemcpy = (CopyFunction)dlsym(library, "_memcpy");
    setMemoryProtection = (SwitchFunction)dlsym(library, "set_memory_protection");
    if (vormMemcpy == NULL || vormUnderscoreMemcpy == NULL || setMemoryProtection == NULL)
        fail(2, "libVorm lacks an export");

    const char* scenario = argv[2];
    if (strcmp(scenario, "switch") == 0 && argc == 4)
        return runSwitch((unsigned int)strtoul(argv[3], NULL, 0));
    if (strcmp(scenario, "other-thread") == 0)
        return runOtherThread();
    if (strcmp(scenario, "first-call") == 0 && argc == 4)
        return runFirstCall((unsigned)strtoul(argv[3], NULL, 0));
    if (strcmp(scenario, "memlock-limit") == 0 && argc == 5)
        return runMemlockLimit(strtoull(argv[3], NULL, 0), (size_t)strtoull(argv[4], NULL, 0));
    if (strcmp(scenario, "nested-locks") == 0)
        return runNestedLocks();
    fail(2, "unknown scenario");
    return 2;
}
