// folderlisting FOLDER: lists FOLDER through a folder updater thread, as the catalogue does,
// and prints one line per result the thread sends: its status ("Start", "InProgress",
// "Finished" or "NotExists"), the number of entries it carries and the seconds since the
// previous result (the length of the slice), separated by tabs. Exits 0 when the listing
// finished, 1 when the folder cannot be listed or on a usage error.

#include <chrono>
#include <cstdio>
#include <exception>
#include <string>

#include "Common/FileSystem/Catalogue/UpdaterThreads.h"
#include "Platform/FilePaths.h"

int main(int argc, char** argv)
{
    using namespace vistel;
    if (argc != 2) {
        std::fprintf(stderr, "usage: folderlisting FOLDER\n");
        return 1;
    }
    try {
        NSThreadExt::recordMainThread();
        Ref<MDFolderUpdaterThread> thread = MDFolderUpdaterThread::create();
        thread->setResultsQueue(ThreadSafeQueue::create());
        thread->startOnce();
        thread->addRequest(Value::dictionary({{updater::kType, Value(updater::kTypeFolder)},
                                              {updater::kPath, Value(absolutePath(argv[1]))}}));
        auto previous = std::chrono::steady_clock::now();
        int answer = 1;
        for (;;) {
            const Value result = thread->getResultFirst(true, false);
            const auto now = std::chrono::steady_clock::now();
            const std::string exists = result[updater::kExists].toString();
            const std::string status = exists == updater::kExistsNo ? exists : result[updater::kStatus].toString();
            std::printf("%s\t%zu\t%.3f\n", status.c_str(), result[updater::kObjects].size(),
                        std::chrono::duration<double>(now - previous).count());
            previous = now;
            if (result[updater::kStatus].toString() == updater::kStatusFinished) {
                answer = exists == updater::kExistsYes ? 0 : 1;
                break;
            }
        }
        thread->cancel();
        thread->addRequest(Value::dictionary({{updater::kType, Value(updater::kTypeStop)}}));
        thread->waitUntilEnded();
        return answer;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "folderlisting: %s\n", e.what());
        return 1;
    }
}
