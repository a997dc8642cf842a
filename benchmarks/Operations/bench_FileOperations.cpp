// A permanent delete of a 20,000-file tree and a copy of a 2,000-file tree, each beside the
// system's rm -rf and cp -a on the same tree. The trees are made (and the copies removed)
// outside the timed part.

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>

#include <cstdlib>
#include <string>

#include "../Common/Views/GuiBenchmarkSupport.h"
#include "Operations/FileOperation.h"
#include "Platform/Gui/Alert.h"
#include "Platform/NotificationCenter.h"

namespace {

using namespace vistel;

std::string scratchFolder()
{
    char pattern[] = "/tmp/vistel-bench-ops-XXXXXX";
    return ::mkdtemp(pattern) ? pattern : "";
}

// `files` small files in folders of 100.
void makeTree(const std::string& root, int files)
{
    ::mkdir(root.c_str(), 0755);
    for (int i = 0; i < files; ++i) {
        const std::string folder = root + "/" + std::to_string(i / 100);
        if (i % 100 == 0)
            ::mkdir(folder.c_str(), 0755);
        const int fd = ::open((folder + "/" + std::to_string(i) + ".jpg").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const std::string data(1024, char('a' + i % 26));
        if (fd >= 0) {
            [[maybe_unused]] const auto written = ::write(fd, data.data(), data.size());
            ::close(fd);
        }
    }
}

void removeTree(const std::string& path) { [[maybe_unused]] const int ignored = std::system(("rm -rf '" + path + "'").c_str()); }

// Runs the operation to its final record.
void runToEnd(const Ref<FileOperation>& operation)
{
    bool ended = false;
    NotificationCenter::defaultCenter().addObserver(
        &ended, [&](const Notification& n) { ended = ended || fileOperationStage(n.userInfo) >= 3; },
        kFSOperationStatusNotification, operation.get());
    while (!ended || FileOperation::runningCount() > 0)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    NotificationCenter::defaultCenter().removeObserver(&ended);
}

void BM_DeleteTree20000(benchmark::State& state)
{
    Alert::setResponder([](const AlertRecord&) { return AlertResponse::pressButton(0); });
    const std::string scratch = scratchFolder();
    for (auto _ : state) {
        state.PauseTiming();
        makeTree(scratch + "/tree", 20000);
        state.ResumeTiming();
        runToEnd(FileOperation::deleteObjects({scratch + "/tree"}));
    }
    removeTree(scratch);
}
BENCHMARK(BM_DeleteTree20000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_RmRf20000(benchmark::State& state)
{
    const std::string scratch = scratchFolder();
    for (auto _ : state) {
        state.PauseTiming();
        makeTree(scratch + "/tree", 20000);
        state.ResumeTiming();
        removeTree(scratch + "/tree");
    }
    removeTree(scratch);
}
BENCHMARK(BM_RmRf20000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_CopyTree2000(benchmark::State& state)
{
    Alert::setResponder([](const AlertRecord&) { return AlertResponse::pressButton(0); });
    const std::string scratch = scratchFolder();
    makeTree(scratch + "/tree", 2000);
    ::mkdir((scratch + "/dst").c_str(), 0755);
    for (auto _ : state) {
        runToEnd(FileOperation::copyObjects({scratch + "/tree"}, scratch + "/dst", 2, 0.1, Value::dictionary()));
        state.PauseTiming();
        removeTree(scratch + "/dst/tree");
        state.ResumeTiming();
    }
    removeTree(scratch);
}
BENCHMARK(BM_CopyTree2000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_Cp2000(benchmark::State& state)
{
    const std::string scratch = scratchFolder();
    makeTree(scratch + "/tree", 2000);
    ::mkdir((scratch + "/dst").c_str(), 0755);
    for (auto _ : state) {
        [[maybe_unused]] const int status = std::system(("cp -a '" + scratch + "/tree' '" + scratch + "/dst/'").c_str());
        state.PauseTiming();
        removeTree(scratch + "/dst/tree");
        state.ResumeTiming();
    }
    removeTree(scratch);
}
BENCHMARK(BM_Cp2000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

} // namespace

int main(int argc, char** argv) { return vistel::bench::runGuiBenchmarks(argc, argv); }
