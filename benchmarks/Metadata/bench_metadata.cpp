// Keyword completion over a large catalogue: 100,000 pictures with 5 keywords each, drawn from
// 2,000 distinct keywords, completing a one-letter prefix. Beside it, the same two queries as
// plain SQL with SQLite's own LIKE on the same file (names by prefix, then the keyword tags of
// those names), read row by row: the goal is at most three times the plain queries' time.
//
// The catalogue file lives in a temporary Application Support folder; it is filled once, through
// the catalogue, before the first benchmark.

#include <benchmark/benchmark.h>

#include <sqlite3.h>

#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "BenchmarkSupport.h"
#include "Common/FileSystem/Catalogue/FileSystemItemMO.h"
#include "Common/FileSystem/Catalogue/MediaDatabase.h"
#include "Metadata/MetadataProvider.h"

namespace vistel {
namespace {

constexpr int Pictures = 100000;
constexpr int KeywordsPerPicture = 5;
constexpr int DistinctKeywords = 2000;

// Keyword n: a letter from the whole alphabet, then a syllable pair and the number, so each
// letter starts about 1/26 of the keywords ("eloma 4", "Kiru 17"...).
std::string keyword(int n)
{
    static const char* const syllables[] = {"lo", "ma", "ri", "tu", "ne", "sa", "ko", "vi"};
    std::string word(1, static_cast<char>((n % 2 ? 'A' : 'a') + (n * 7) % 26));
    word += syllables[n % 8];
    word += syllables[(n / 8) % 8];
    word += " " + std::to_string(n);
    return word;
}

struct Catalogue {
    bench::ScratchCatalogue scratch;
    Ref<MediaDatabase> database;
    std::string path;
};

Catalogue& catalogue()
{
    static std::unique_ptr<Catalogue> shared = [] {
        auto made = std::make_unique<Catalogue>();
        made->database = MediaDatabase::create();
        MediaDatabase::setDefaultMediaDatabase(made->database.get());
        auto root = made->database->createChildOf(nullptr, "/", MediaDatabase::EntityFolder);
        auto context = made->database->managedObjectContext();
        for (int i = 0; i < Pictures; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "IMG_%06d.JPG", i);
            auto item = made->database->createChildOf(root.get(), name, MediaDatabase::EntityFile);
            std::vector<std::string> words;
            for (int k = 0; k < KeywordsPerPicture; ++k)
                words.push_back(keyword((i * 131 + k * 977) % DistinctKeywords));
            item->setAttributesValues(std::nullopt, words, kTagKeywords, false);
            if (i % 5000 == 4999)
                context->save();
        }
        context->save();
        made->path = made->database->databaseURL();
        return made;
    }();
    return *shared;
}

void BM_CompleteOneLetter(benchmark::State& state)
{
    catalogue();
    std::size_t offered = 0;
    for (auto _ : state) {
        auto words = MetadataProvider::keywordsList(kTagKeywords, "e", {});
        offered = words ? words->size() : 0;
        benchmark::DoNotOptimize(words);
    }
    state.counters["offered"] = static_cast<double>(offered);
}
BENCHMARK(BM_CompleteOneLetter)->Unit(benchmark::kMillisecond);

void BM_PlainSQLOneLetter(benchmark::State& state)
{
    const std::string path = catalogue().path;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        state.SkipWithError("cannot open the catalogue file");
        return;
    }
    std::size_t offered = 0;
    for (auto _ : state) {
        // The names that begin with the letter, and the keyword set's own name.
        sqlite3_stmt* names = nullptr;
        sqlite3_prepare_v2(db, "SELECT Z_PK, value FROM TagName WHERE value LIKE 'e%'", -1, &names, nullptr);
        std::vector<std::pair<long long, std::string>> matches;
        while (sqlite3_step(names) == SQLITE_ROW)
            matches.emplace_back(sqlite3_column_int64(names, 0),
                                 reinterpret_cast<const char*>(sqlite3_column_text(names, 1)));
        sqlite3_finalize(names);
        // The keyword tags of those names.
        std::string sql = "SELECT T.Z_PK, T.name, T.value FROM Tag AS T WHERE (SELECT P.name FROM Tag AS P WHERE "
                          "P.Z_PK = T.parentTag) = (SELECT Z_PK FROM TagName WHERE value = ?) AND T.name IN (";
        for (std::size_t i = 0; i < matches.size(); ++i)
            sql += i ? ",?" : "?";
        sql += ")";
        sqlite3_stmt* tags = nullptr;
        sqlite3_prepare_v2(db, sql.c_str(), -1, &tags, nullptr);
        sqlite3_bind_text(tags, 1, kTagKeywords, -1, SQLITE_STATIC);
        for (std::size_t i = 0; i < matches.size(); ++i)
            sqlite3_bind_int64(tags, static_cast<int>(i) + 2, matches[i].first);
        std::set<long long> used;
        while (sqlite3_step(tags) == SQLITE_ROW)
            used.insert(sqlite3_column_int64(tags, 1));
        sqlite3_finalize(tags);
        std::set<std::string> words;
        for (const auto& [id, value] : matches)
            if (used.count(id))
                words.insert(value);
        offered = words.size();
        benchmark::DoNotOptimize(words);
    }
    sqlite3_close(db);
    state.counters["offered"] = static_cast<double>(offered);
}
BENCHMARK(BM_PlainSQLOneLetter)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace vistel

BENCHMARK_MAIN();
