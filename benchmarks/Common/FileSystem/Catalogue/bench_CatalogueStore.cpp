// The catalogue's two hot paths:
//   - re-filing one child of a 20,000-child folder in 8 cached filter-mask lists (the result
//     application does it for every changed file; goal: well under 1 ms);
//   - listing a large folder into the catalogue: 100,000 items inserted with the batched saves
//     of the result application, beside the same rows written by plain prepared statements in
//     one transaction, then a restart up to the first listing of that folder (goal: at most
//     1 KiB of resident memory per listed item).
// The catalogue file lives in a temporary Application Support folder.

#include <benchmark/benchmark.h>

#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "Common/FileSystem/Catalogue/FileSystemItemMO.h"
#include "Common/FileSystem/Catalogue/MediaDatabase.h"
#include "BenchmarkSupport.h"
#include "Platform/RunLoop.h"

namespace vistel {
namespace {

using bench::ScratchCatalogue;
using bench::residentBytes;

std::string childName(int i)
{
    char name[32];
    std::snprintf(name, sizeof name, "IMG_%06d.JPG", i);
    return name;
}

void fill(FileSystemItemMO& item, int i)
{
    item.setValid(true);
    item.setDecodable(i % 10 != 0);
    item.setSize(1000000 + i);
    item.setType(std::string("public.jpeg"));
    item.setModificationDate(Date {1.7e9 + i});
}

void BM_RefileOneChild(benchmark::State& state)
{
    ScratchCatalogue scratch;
    auto database = MediaDatabase::create();
    MediaDatabase::setDefaultMediaDatabase(database.get());
    auto root = database->createChildOf(nullptr, "/", MediaDatabase::EntityFolder);
    const int children = 20000;
    std::vector<Ref<FileSystemItemMO>> items;
    for (int i = 0; i < children; ++i) {
        auto item = root->createChildWithName(childName(i), MediaDatabase::EntityFile, i % 5 != 0);
        fill(*item, i);
        items.push_back(item);
    }
    const int masks[] = {kMaskAll,         1 + 16 + 8,      1 + 16 + 8 + 64,      1 + 2 + 16 + 8,
                         1 + 16 + 4 + 8 + 512, 2 + 16 + 8, 1 + 16 + 32 + 8 + 64, 16 + 1 + 4 + 256 + 512};
    for (int mask : masks)
        root->childrenWithMask(mask);
    std::size_t next = 0;
    for (auto _ : state) {
        FileSystemItemMO& child = *items[next];
        child.setVisible(!child.visible());
        root->updateObjectInCache(&child);
        benchmark::DoNotOptimize(root->cacheByMask(kMaskAll)); // a read files a waiting child
        next = (next + 7919) % items.size();
    }
    state.counters["lists"] = static_cast<double>(std::size(masks));
    MediaDatabase::setDefaultMediaDatabase(nullptr);
}
BENCHMARK(BM_RefileOneChild)->Unit(benchmark::kMicrosecond);

void BM_InsertHundredThousandAndRelist(benchmark::State& state)
{
    using Clock = std::chrono::steady_clock;
    auto ms = [](Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); };
    const int count = static_cast<int>(state.range(0));
    for (auto _ : state) {
        ScratchCatalogue scratch;
        std::string path;
        // The catalogue, saving as the result application does.
        const auto start = Clock::now();
        {
            auto database = MediaDatabase::create();
            MediaDatabase::setDefaultMediaDatabase(database.get());
            path = database->databaseURL();
            auto root = database->createChildOf(nullptr, "/", MediaDatabase::EntityFolder);
            root->setUuid("root");
            for (int i = 0; i < count; ++i) {
                auto item = root->createChildWithName(childName(i), MediaDatabase::EntityFile, true);
                fill(*item, i);
                database->noteAndSaveChanges();
            }
            database->saveChanges();
            MediaDatabase::setDefaultMediaDatabase(nullptr);
        }
        const double catalogueMs = ms(Clock::now() - start);

        // The same rows through plain prepared statements, one transaction, in a copy of the schema.
        const std::string plainPath = scratch.folder() + "/plain.sqlite";
        const std::string schema = "sqlite3 '" + path + "' .schema | grep -v sqlite_sequence | sqlite3 '" + plainPath + "'";
        if (std::system(schema.c_str()) != 0)
            state.SkipWithError("sqlite3 command failed");
        sqlite3* db = nullptr;
        sqlite3_open(plainPath.c_str(), &db);
        sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
        const auto plainStart = Clock::now();
        sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
        sqlite3_stmt* insert = nullptr;
        sqlite3_prepare_v2(db,
                           "INSERT INTO Element(Z_ENT, name, parent, flags, size, type, modificationDate) "
                           "VALUES('File', ?, 1, ?, ?, 'public.jpeg', ?)",
                           -1, &insert, nullptr);
        for (int i = 0; i < count; ++i) {
            const std::string name = childName(i);
            sqlite3_bind_text(insert, 1, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
            sqlite3_bind_int64(insert, 2, i % 10 != 0 ? 0x17 : 0x07);
            sqlite3_bind_int64(insert, 3, 1000000 + i);
            sqlite3_bind_double(insert, 4, 1.7e9 + i);
            sqlite3_step(insert);
            sqlite3_reset(insert);
        }
        sqlite3_finalize(insert);
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        const double plainMs = ms(Clock::now() - plainStart);
        sqlite3_close(db);

        // A restart up to the first listing of the folder.
        const long residentBefore = residentBytes();
        const auto reopenStart = Clock::now();
        auto database = MediaDatabase::create();
        MediaDatabase::setDefaultMediaDatabase(database.get());
        auto root = database->objectExistingForUUID("root");
        const long listed = root ? static_cast<long>(root->childrenWithMask(kMaskAll).size()) : 0;
        const double reopenMs = ms(Clock::now() - reopenStart);
        const long residentAfter = residentBytes();
        if (listed != count)
            state.SkipWithError("the listing lost items");

        state.SetIterationTime(catalogueMs / 1000.0);
        state.counters["catalogue_ms"] = catalogueMs;
        state.counters["plain_ms"] = plainMs;
        state.counters["ratio"] = catalogueMs / plainMs;
        state.counters["relist_ms"] = reopenMs;
        state.counters["resident_B_per_item"] = static_cast<double>(residentAfter - residentBefore) / count;
        MediaDatabase::setDefaultMediaDatabase(nullptr);
    }
}
BENCHMARK(BM_InsertHundredThousandAndRelist)->Arg(100000)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace
} // namespace vistel

int main(int argc, char** argv)
{
    vistel::RunLoop::recordMainThread();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
