// bench_print: printing camera-sized pictures on the contact sheet to a 300 dpi PDF.
//
// Usage: bench_print [CORPUS] [benchmark flags]. CORPUS holds plain/ (made by
// benchmarks/Imaging/make-jpeg-corpus; without it the default corpus is made once).
//
// Each run prints N pictures in a child process of its own (this program started again with
// --child), so that its peak resident memory is its own: BM_PrintContactSheet/1 and /20 report
// the time and the child's peak RSS ("peak_rss_MB"); /20 also reports its peak over that of /1
// ("rss_ratio_to_1", goal: at most 1.5, since pictures are decoded one at a time).

#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <iostream>

#include <QApplication>
#include <QPrinter>

#include "Application/Printing/PrintLayoutList.h"
#include "Application/Printing/PrintPreview.h"
#include "BenchmarkSupport.h"
#include "BrowseTestSupport.h"

namespace {

std::string gCorpus;
std::string gProgram;
double gPeakOfOne = 0;

// The child: prints the first `count` pictures of the corpus into `pdf`.
int printChild(int argc, char** argv, int count, const std::string& corpus, const std::string& pdf)
{
    using namespace vistel;
    QApplication application(argc, argv);
    bench::ScratchCatalogue scratch;
    ::setenv("XDG_CONFIG_HOME", scratch.folder().c_str(), 1);
    Ref<MediaDatabase> database = MediaDatabase::create();
    MediaDatabase::setDefaultMediaDatabase(database.get());
    std::vector<Ref<FileSystemItemMO>> items;
    for (const std::string& path : bench::picturesIn(corpus + "/plain"))
        if (int(items.size()) < count)
            items.push_back(test::catalogueItemAt(*database, path, true));
    if (int(items.size()) < count)
        return 3;
    PrintLayoutList list;
    if (list.loadLayoutsFromXML() != 0)
        return 4;
    Ref<ZOVPrintLayout> sheet;
    for (const Ref<ZOVPrintLayout>& layout : list.allLayouts())
        if (layout->layoutCaption() == "Contact sheet")
            sheet = layout;
    if (!sheet)
        return 5;
    PrintPreview preview;
    preview.setPicturesArray(items);
    preview.setPrintLayout(sheet.get());
    preview.setDocumentSize(QSizeF(8.3f, 11.7f));
    QPrinter printer(QPrinter::HighResolution);
    printer.setResolution(300);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(pdf));
    return preview.printToPrinter(printer) ? 0 : 6;
}

void BM_PrintContactSheet(benchmark::State& state)
{
    const int count = int(state.range(0));
    const std::string pdf = (std::filesystem::temp_directory_path() / ("vistel-bench-print-" + std::to_string(count) + ".pdf")).string();
    double peak = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const pid_t child = vistel::bench::spawn({gProgram, "--child", std::to_string(count), gCorpus, pdf});
        int status = 0;
        rusage usage {};
        if (child < 0 || ::wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("the printing child failed");
            return;
        }
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        peak = std::max(peak, usage.ru_maxrss / 1024.0); // kB -> MB
    }
    std::filesystem::remove(pdf);
    state.counters["peak_rss_MB"] = peak;
    if (count == 1)
        gPeakOfOne = peak;
    else if (gPeakOfOne > 0)
        state.counters["rss_ratio_to_1"] = peak / gPeakOfOne;
}
BENCHMARK(BM_PrintContactSheet)->Arg(1)->Arg(20)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    gProgram = argv[0];
    if (argc >= 5 && std::string(argv[1]) == "--child")
        return printChild(argc, argv, std::atoi(argv[2]), argv[3], argv[4]);
    return vistel::bench::runCorpusBenchmarks(argc, argv, VISTEL_MAKE_JPEG_CORPUS, gCorpus);
}
