// Cached against uncached text measurement. Views measure the same names over and over while
// they draw; the cache must pay off by a wide margin (target: at least 10 times faster).

#include <benchmark/benchmark.h>

#include <QFontMetricsF>
#include <QGuiApplication>

#include <string>
#include <vector>

#include "Common/Strings/Gui/NSStringExtensionsText.h"

namespace {

const std::vector<std::string>& names()
{
    static const std::vector<std::string> list = [] {
        std::vector<std::string> result;
        for (int i = 0; i < 500; ++i)
            result.push_back("Summer holiday picture " + std::to_string(i) + ".JPG");
        return result;
    }();
    return list;
}

QFont benchFont()
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSizeF(12);
    return font;
}

void BM_MeasureUncached(benchmark::State& state)
{
    const QFont font = benchFont();
    std::size_t i = 0;
    for (auto _ : state) {
        const std::string& name = names()[i++ % names().size()];
        benchmark::DoNotOptimize(QFontMetricsF(font).size(0, QString::fromUtf8(name.data(), qsizetype(name.size()))));
    }
}
BENCHMARK(BM_MeasureUncached);

void BM_SizeWithAttributesExtCached(benchmark::State& state)
{
    const QFont font = benchFont();
    for (const std::string& name : names())
        vistel::NSStringExtensions::sizeWithAttributesExt(name, font);
    std::size_t i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(vistel::NSStringExtensions::sizeWithAttributesExt(names()[i++ % names().size()], font));
}
BENCHMARK(BM_SizeWithAttributesExtCached);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    QGuiApplication application(qtArgc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
