#include "Platform/ObjectStore/ObjectStore.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <fcntl.h>
#include <unistd.h>

#include "Platform/Exception.h"
#include "Platform/Log.h"
#include "Platform/NotificationQueue.h"
#include "Platform/ObjectStore/TextFolding.h"
#include "Platform/RunLoop.h"

namespace vistel::store {

namespace {

constexpr const char* URIScheme = "x-vistel-objectstore://";
// SQLite accepts 32766 parameters; larger IN lists are fetched in slices.
constexpr std::size_t MaxParametersPerQuery = 30000;

std::string quoted(std::string_view name)
{
    std::string text = "\"";
    for (char c : name) {
        if (c == '"')
            text += '"';
        text += c;
    }
    return text + "\"";
}

const char* sqlType(AttributeType type)
{
    switch (type) {
    case AttributeType::String: return "TEXT";
    case AttributeType::Integer:
    case AttributeType::Boolean: return "INTEGER";
    case AttributeType::Real:
    case AttributeType::Date: return "REAL";
    case AttributeType::Data: return "BLOB";
    }
    return "BLOB";
}

std::string newUUID()
{
    unsigned char bytes[16] = {};
    int fd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    std::size_t got = 0;
    if (fd >= 0) {
        while (got < sizeof bytes) {
            ssize_t n = ::read(fd, bytes + got, sizeof bytes - got);
            if (n <= 0)
                break;
            got += static_cast<std::size_t>(n);
        }
        ::close(fd);
    }
    ZOV_ASSERT(got == sizeof bytes, "Cannot read /dev/urandom");
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0f) | 0x40);
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3f) | 0x80);
    char text[37];
    std::snprintf(text, sizeof text, "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X",
                  bytes[0], bytes[1], bytes[2], bytes[3], bytes[4], bytes[5], bytes[6], bytes[7], bytes[8],
                  bytes[9], bytes[10], bytes[11], bytes[12], bytes[13], bytes[14], bytes[15]);
    return text;
}

ErrorRecord makeError(long code, const std::string& description, const std::string& path)
{
    ErrorRecord error;
    error.domain = NSCocoaErrorDomain;
    error.code = code;
    error.userInfo = Value::dictionary({{NSLocalizedDescriptionKey, description}, {"NSFilePath", path}});
    return error;
}

// The LIKE of fetches: `pattern` with * (any run) and ? (one character), compared after
// folding case and diacritics.
void likeFunction(sqlite3_context* context, int argc, sqlite3_value** argv)
{
    if (argc != 2 || sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
        sqlite3_result_int(context, 0);
        return;
    }
    auto text = [](sqlite3_value* value) {
        const auto* bytes = static_cast<const char*>(sqlite3_value_blob(value));
        return std::string_view(bytes ? bytes : "", static_cast<std::size_t>(sqlite3_value_bytes(value)));
    };
    sqlite3_result_int(context, likeMatchesFolded(text(argv[0]), text(argv[1])) ? 1 : 0);
}

// An index of the model: named by its table and columns.
std::string indexName(const std::string& table, const std::vector<std::string>& columns)
{
    std::string name = table;
    for (const auto& column : columns)
        name += "_" + column;
    return name;
}

std::string createIndexSQL(const std::string& table, const std::vector<std::string>& columns)
{
    std::string list;
    for (const auto& column : columns)
        list += (list.empty() ? "" : ",") + quoted(column);
    return "CREATE INDEX " + quoted(indexName(table, columns)) + " ON " + quoted(table) + "(" + list + ");";
}

bool stepOK(int rc)
{
    return rc == SQLITE_DONE || rc == SQLITE_ROW;
}

bool execute(sqlite3* db, const char* sql)
{
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

} // namespace

// --- stored values ----------------------------------------------------------------------------

StoredValue::StoredValue(std::int64_t value) noexcept : tag_(static_cast<std::uint8_t>(Kind::Integer))
{
    std::memcpy(raw_, &value, sizeof value);
}

StoredValue::StoredValue(double value) noexcept : tag_(static_cast<std::uint8_t>(Kind::Real))
{
    std::memcpy(raw_, &value, sizeof value);
}

StoredValue::StoredValue(std::string_view bytes)
{
    if (bytes.size() <= InlineBytes) {
        if (!bytes.empty())
            std::memcpy(raw_, bytes.data(), bytes.size());
        tag_ = static_cast<std::uint8_t>(static_cast<std::uint8_t>(Kind::ShortBytes) | (bytes.size() << 4));
        return;
    }
    ZOV_ASSERT(bytes.size() <= std::numeric_limits<std::uint32_t>::max(), "Stored value too large");
    char* data = new char[bytes.size()];
    std::memcpy(data, bytes.data(), bytes.size());
    const auto size = static_cast<std::uint32_t>(bytes.size());
    std::memcpy(raw_, &data, sizeof data);
    std::memcpy(raw_ + sizeof data, &size, sizeof size);
    tag_ = static_cast<std::uint8_t>(Kind::LongBytes);
}

StoredValue::StoredValue(const StoredValue& other) : tag_(0)
{
    copyFrom(other);
}

StoredValue::StoredValue(StoredValue&& other) noexcept : tag_(other.tag_)
{
    std::memcpy(raw_, other.raw_, sizeof raw_);
    other.tag_ = 0;
}

StoredValue& StoredValue::operator=(const StoredValue& other)
{
    if (this != &other) {
        StoredValue copy(other);
        *this = std::move(copy);
    }
    return *this;
}

StoredValue& StoredValue::operator=(StoredValue&& other) noexcept
{
    if (this != &other) {
        release();
        std::memcpy(raw_, other.raw_, sizeof raw_);
        tag_ = other.tag_;
        other.tag_ = 0;
    }
    return *this;
}

void StoredValue::release() noexcept
{
    if (kind() == Kind::LongBytes) {
        char* data = nullptr;
        std::memcpy(&data, raw_, sizeof data);
        delete[] data;
    }
    tag_ = 0;
}

void StoredValue::copyFrom(const StoredValue& other)
{
    if (other.kind() == Kind::LongBytes) {
        *this = StoredValue(*other.bytes());
        return;
    }
    std::memcpy(raw_, other.raw_, sizeof raw_);
    tag_ = other.tag_;
}

std::optional<std::int64_t> StoredValue::integer() const noexcept
{
    if (kind() != Kind::Integer)
        return std::nullopt;
    std::int64_t value;
    std::memcpy(&value, raw_, sizeof value);
    return value;
}

std::optional<double> StoredValue::real() const noexcept
{
    if (kind() != Kind::Real)
        return std::nullopt;
    double value;
    std::memcpy(&value, raw_, sizeof value);
    return value;
}

std::optional<std::string_view> StoredValue::bytes() const noexcept
{
    if (kind() == Kind::ShortBytes)
        return std::string_view(reinterpret_cast<const char*>(raw_), tag_ >> 4);
    if (kind() != Kind::LongBytes)
        return std::nullopt;
    const char* data = nullptr;
    std::uint32_t size = 0;
    std::memcpy(&data, raw_, sizeof data);
    std::memcpy(&size, raw_ + sizeof data, sizeof size);
    return std::string_view(data, size);
}

bool operator==(const StoredValue& a, const StoredValue& b) noexcept
{
    using Kind = StoredValue::Kind;
    const Kind kind = a.kind();
    if (kind == Kind::ShortBytes || kind == Kind::LongBytes)
        return b.bytes() == a.bytes();
    if (kind != b.kind())
        return false;
    switch (kind) {
    case Kind::Integer: return a.integer() == b.integer();
    case Kind::Real: return a.real() == b.real();
    default: return true;
    }
}

// --- model ----------------------------------------------------------------------------------

const ObjectModel::Property* ObjectModel::Entity::property(std::string_view name) const
{
    auto it = propertyIndex.find(name);
    return it == propertyIndex.end() ? nullptr : &properties[it->second];
}

int ObjectModel::Table::column(std::string_view name) const
{
    for (std::size_t i = 0; i < columns.size(); ++i)
        if (columns[i] == name)
            return static_cast<int>(i);
    return -1;
}

void ObjectModel::addEntity(EntityDescription description, Factory factory)
{
    Entity entity;
    entity.name = description.name;
    entity.isAbstract = description.isAbstract;
    entity.table = description.name;
    if (!description.parent.empty()) {
        auto parent = entities_.find(description.parent);
        ZOV_ASSERT(parent != entities_.end(), "Super-entity must be added first");
        entity.table = parent->second.table;
        entity.properties = parent->second.properties;
        if (!factory)
            factory = parent->second.factory;
    }
    entity.factory = factory ? std::move(factory) : Factory([] { return new ManagedObject; });
    Table& table = tables_[entity.table];
    table.name = entity.table;
    auto addColumn = [&](const std::string& name, AttributeType type) {
        int column = table.column(name);
        if (column < 0) {
            table.columns.push_back(name);
            table.columnTypes.push_back(type);
            column = static_cast<int>(table.columns.size()) - 1;
        }
        return column;
    };
    for (const AttributeDescription& attribute : description.attributes) {
        Property p;
        p.name = attribute.name;
        p.type = attribute.type;
        p.column = addColumn(attribute.name, attribute.type);
        entity.properties.push_back(p);
    }
    for (RelationshipDescription& relationship : description.relationships) {
        relationships_.push_back(std::make_unique<RelationshipDescription>(relationship));
        Property p;
        p.name = relationship.name;
        p.isAttribute = false;
        p.type = AttributeType::Integer;
        p.relationship = relationships_.back().get();
        if (!relationship.toMany && relationship.ownsColumn)
            p.column = addColumn(relationship.name, AttributeType::Integer);
        entity.properties.push_back(p);
    }
    // Every ancestor lists the new entity among its sub-entities.
    entity.parent = description.parent;
    entity.selfAndSubentities.push_back(entity.name);
    for (std::string ancestor = description.parent; !ancestor.empty();) {
        Entity& a = entities_.at(ancestor);
        a.selfAndSubentities.push_back(entity.name);
        ancestor = a.parent;
    }
    Entity& stored = entities_[entity.name] = std::move(entity);
    stored.propertyIndex.clear();
    for (std::size_t i = 0; i < stored.properties.size(); ++i)
        stored.propertyIndex.emplace(stored.properties[i].name, i);
}

void ObjectModel::addIndex(std::string_view entityName, std::vector<std::string> columns)
{
    const Entity* e = entity(entityName);
    ZOV_ASSERT(e != nullptr, "Unknown entity");
    tables_[e->table].indexes.push_back(std::move(columns));
}

const ObjectModel::Entity* ObjectModel::entity(std::string_view name) const
{
    auto it = entities_.find(name);
    return it == entities_.end() ? nullptr : &it->second;
}

const ObjectModel::Table* ObjectModel::table(std::string_view name) const
{
    auto it = tables_.find(name);
    return it == tables_.end() ? nullptr : &it->second;
}

// --- identifiers ----------------------------------------------------------------------------

std::string ObjectID::uriRepresentation() const
{
    return std::string(URIScheme) + storeUUID + "/" + entityName + "/p" + std::to_string(rowID);
}

std::optional<ObjectID> ObjectID::fromURIRepresentation(std::string_view uri)
{
    if (uri.substr(0, std::string_view(URIScheme).size()) != URIScheme)
        return std::nullopt;
    uri.remove_prefix(std::string_view(URIScheme).size());
    const auto slash1 = uri.find('/');
    if (slash1 == std::string_view::npos || slash1 == 0)
        return std::nullopt;
    const auto slash2 = uri.find('/', slash1 + 1);
    if (slash2 == std::string_view::npos || slash2 == slash1 + 1)
        return std::nullopt;
    std::string_view row = uri.substr(slash2 + 1);
    if (row.size() < 2 || row.size() > 19 || row[0] != 'p')
        return std::nullopt;
    std::int64_t rowID = 0;
    for (char c : row.substr(1)) {
        if (c < '0' || c > '9' || rowID > (INT64_MAX - (c - '0')) / 10)
            return std::nullopt;
        rowID = rowID * 10 + (c - '0');
    }
    if (rowID <= 0)
        return std::nullopt;
    return ObjectID {std::string(uri.substr(0, slash1)), std::string(uri.substr(slash1 + 1, slash2 - slash1 - 1)), rowID};
}

// --- coordinator ----------------------------------------------------------------------------

Ref<PersistentStoreCoordinator> PersistentStoreCoordinator::create(Ref<ObjectModel> model)
{
    return Ref<PersistentStoreCoordinator>::adopt(new PersistentStoreCoordinator(std::move(model)));
}

PersistentStoreCoordinator::PersistentStoreCoordinator(Ref<ObjectModel> model) : model_(std::move(model)) { }

PersistentStoreCoordinator::~PersistentStoreCoordinator()
{
    close();
}

void PersistentStoreCoordinator::close()
{
    if (db_)
        sqlite3_close_v2(db_);
    db_ = nullptr;
}

bool PersistentStoreCoordinator::addSQLiteStore(const std::string& path, ErrorRecord* error)
{
    return open(path, error);
}

bool PersistentStoreCoordinator::addInMemoryStore(ErrorRecord* error)
{
    return open(":memory:", error);
}

bool PersistentStoreCoordinator::open(const std::string& path, ErrorRecord* error)
{
    ZOV_ASSERT(db_ == nullptr, "The coordinator already has a store");
    const bool inMemory = path == ":memory:";
    auto fail = [&](long code, const std::string& what) {
        std::string text = what;
        if (db_)
            text += ": " + std::string(sqlite3_errmsg(db_));
        if (error)
            *error = makeError(code, text, path);
        close();
        return false;
    };
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr)
        != SQLITE_OK)
        return fail(PersistentStoreOpenError, "The store could not be opened");
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, 5000);

    // Reading the schema is what finds a file that is not a database, or a folder.
    sqlite3_stmt* stmt = nullptr;
    int tables = -1;
    if (sqlite3_prepare_v2(db_, "SELECT count(*) FROM sqlite_master", -1, &stmt, nullptr) == SQLITE_OK
        && sqlite3_step(stmt) == SQLITE_ROW)
        tables = sqlite3_column_int(stmt, 0);
    sqlite3_finalize(stmt);
    if (tables < 0)
        return fail(PersistentStoreOpenError, "The store could not be read");

    if (!inMemory) {
        std::string mode;
        if (sqlite3_prepare_v2(db_, "PRAGMA journal_mode=WAL", -1, &stmt, nullptr) == SQLITE_OK
            && sqlite3_step(stmt) == SQLITE_ROW)
            mode = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
        sqlite3_finalize(stmt);
        if (mode != "wal")
            return fail(PersistentStoreOpenError, "The store could not use write-ahead logging");
        // A checkpoint (with its syncs) every 4096 log pages rather than 1000: a listing saves
        // every hundred changes, each save logging the index pages it touched again.
        if (!execute(db_, "PRAGMA synchronous=NORMAL;PRAGMA wal_autocheckpoint=4096"))
            return fail(PersistentStoreOpenError, "The store could not be configured");
    }

    int version = -1;
    if (sqlite3_prepare_v2(db_, "PRAGMA user_version", -1, &stmt, nullptr) == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW)
        version = sqlite3_column_int(stmt, 0);
    sqlite3_finalize(stmt);

    if (tables == 0) {
        // A new store: the schema, the store's identity and the model version in one transaction.
        std::string sql = "BEGIN IMMEDIATE;CREATE TABLE Z_METADATA(key TEXT PRIMARY KEY, value TEXT);";
        for (const auto& [name, table] : model_->tables()) {
            sql += "CREATE TABLE " + quoted(name) + "(Z_PK INTEGER PRIMARY KEY AUTOINCREMENT, Z_ENT TEXT NOT NULL";
            for (std::size_t i = 0; i < table.columns.size(); ++i)
                sql += ", " + quoted(table.columns[i]) + " " + sqlType(table.columnTypes[i]);
            sql += ");";
            for (const auto& index : table.indexes)
                sql += createIndexSQL(name, index);
        }
        uuid_ = newUUID();
        sql += "INSERT INTO Z_METADATA VALUES('uuid','" + uuid_ + "');";
        sql += "PRAGMA user_version=" + std::to_string(model_->version()) + ";COMMIT;";
        if (!execute(db_, sql.c_str())) {
            execute(db_, "ROLLBACK");
            return fail(PersistentStoreOpenError, "The store could not be created");
        }
    } else {
        if (version != model_->version())
            return fail(PersistentStoreIncompatibleVersionHashError,
                        "The model used to open the store is incompatible with the one used to create the store");
        if (sqlite3_prepare_v2(db_, "SELECT value FROM Z_METADATA WHERE key='uuid'", -1, &stmt, nullptr) == SQLITE_OK
            && sqlite3_step(stmt) == SQLITE_ROW)
            uuid_ = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
        sqlite3_finalize(stmt);
        if (uuid_.empty())
            return fail(PersistentStoreIncompatibleVersionHashError, "The store has no identity");
        // Old indexes only cost time: a store that cannot be changed is used as it is.
        if (!updateIndexes())
            ZovLog("PersistentStoreCoordinator: the indexes of " + path
                   + " could not be updated: " + sqlite3_errmsg(db_));
    }
    sqlite3_create_function(db_, "vistel_like_cd", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, likeFunction,
                            nullptr, nullptr);
    path_ = path;
    return true;
}

// A store written by an earlier build gets the model's indexes and loses those of its tables
// that the model no longer has (they would only slow every write down).
bool PersistentStoreCoordinator::updateIndexes()
{
    std::vector<std::pair<std::string, std::string>> present; // index, table
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db_, "SELECT name, tbl_name FROM sqlite_master WHERE type='index' AND sql IS NOT NULL", -1,
                           &stmt, nullptr)
        != SQLITE_OK)
        return false;
    while (sqlite3_step(stmt) == SQLITE_ROW)
        present.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)),
                             reinterpret_cast<const char*>(sqlite3_column_text(stmt, 1)));
    sqlite3_finalize(stmt);
    std::string sql;
    for (const auto& entry : present) {
        const std::string& index = entry.first;
        const std::string& table = entry.second;
        const ObjectModel::Table* modelTable = model_->table(table);
        if (modelTable
            && std::none_of(modelTable->indexes.begin(), modelTable->indexes.end(),
                            [&](const auto& columns) { return indexName(table, columns) == index; }))
            sql += "DROP INDEX " + quoted(index) + ";";
    }
    for (const auto& entry : model_->tables()) {
        const std::string& name = entry.first;
        for (const auto& columns : entry.second.indexes)
            if (std::none_of(present.begin(), present.end(),
                             [&](const auto& p) { return p.first == indexName(name, columns); }))
                sql += createIndexSQL(name, columns);
    }
    if (sql.empty())
        return true;
    if (execute(db_, ("BEGIN IMMEDIATE;" + sql + "COMMIT").c_str()))
        return true;
    execute(db_, "ROLLBACK");
    return false;
}

std::optional<ObjectID> PersistentStoreCoordinator::managedObjectIDForURIRepresentation(std::string_view uri) const
{
    auto id = ObjectID::fromURIRepresentation(uri);
    if (!id || id->storeUUID != uuid_ || !model_->entity(id->entityName))
        return std::nullopt;
    return id;
}

// --- statements -----------------------------------------------------------------------------

struct ManagedObjectContext::Statement {
    sqlite3_stmt* stmt = nullptr;
    ~Statement() { sqlite3_finalize(stmt); }
};

// Binds and runs a cached statement; resets it when done.
class BoundStatement {
public:
    explicit BoundStatement(sqlite3_stmt* stmt) : stmt_(stmt) { }
    ~BoundStatement()
    {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
    }
    void bind(int index, const std::variant<std::monostate, std::int64_t, double, std::string>& field)
    {
        if (std::holds_alternative<std::int64_t>(field))
            sqlite3_bind_int64(stmt_, index, std::get<std::int64_t>(field));
        else if (std::holds_alternative<double>(field))
            sqlite3_bind_double(stmt_, index, std::get<double>(field));
        else if (std::holds_alternative<std::string>(field)) {
            const std::string& s = std::get<std::string>(field);
            sqlite3_bind_text(stmt_, index, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
        } else
            sqlite3_bind_null(stmt_, index);
    }
    // The value must stay as it is until the statement was run (it is not copied).
    void bind(int index, const StoredValue& value)
    {
        if (const auto bytes = value.bytes())
            sqlite3_bind_text(stmt_, index, bytes->data(), static_cast<int>(bytes->size()), SQLITE_STATIC);
        else if (const auto integer = value.integer())
            sqlite3_bind_int64(stmt_, index, *integer);
        else if (const auto real = value.real())
            sqlite3_bind_double(stmt_, index, *real);
        else
            sqlite3_bind_null(stmt_, index);
    }
    int step() { return sqlite3_step(stmt_); }
    sqlite3_stmt* get() const { return stmt_; }

private:
    sqlite3_stmt* stmt_;
};

ManagedObjectContext::Statement& ManagedObjectContext::statement(const std::string& sql)
{
    auto& slot = statements_[sql];
    if (!slot) {
        slot = std::make_unique<Statement>();
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &slot->stmt, nullptr) != SQLITE_OK) {
            std::string message = sqlite3_errmsg(db_);
            statements_.erase(sql);
            ZOV_RAISE(("Object store statement: " + message).c_str());
        }
    }
    return *slot;
}

static std::string selectColumns(const ObjectModel::Table& table);

ManagedObjectContext::TableState& ManagedObjectContext::tableState(const std::string& tableName)
{
    TableState& state = tableStates_[tableName];
    if (!state.table) {
        state.table = model_->table(tableName);
        ZOV_ASSERT(state.table != nullptr, "Unknown table");
        state.rows = &registered_[tableName];
        const ObjectModel::Table& table = *state.table;
        std::string columns = "Z_PK, Z_ENT", values = "?,?", assignments;
        for (std::size_t i = 0; i < table.columns.size(); ++i) {
            columns += ", " + quoted(table.columns[i]);
            values += ",?";
            assignments += (i ? ", " : "") + quoted(table.columns[i]) + "=?";
        }
        state.insert = &statement("INSERT INTO " + quoted(table.name) + "(" + columns + ") VALUES(" + values + ")");
        if (!table.columns.empty())
            state.update = &statement("UPDATE " + quoted(table.name) + " SET " + assignments + " WHERE Z_PK=?");
        state.remove = &statement("DELETE FROM " + quoted(table.name) + " WHERE Z_PK=?");
        state.select = &statement(selectColumns(table) + " WHERE T.Z_PK=?");
    }
    return state;
}

// The next row id of the table: past every row id the table's sequence handed out (also those
// of rows deleted since) and past every id this context reserved. Answers 0 on failure.
std::int64_t ManagedObjectContext::reserveRow(TableState& state, ErrorRecord* error)
{
    if (!state.sequenceRead) {
        BoundStatement s(statement("SELECT max(ifnull((SELECT seq FROM sqlite_sequence WHERE name=?), 0), "
                                   "ifnull((SELECT max(Z_PK) FROM "
                                   + quoted(state.table->name) + "), 0))")
                             .stmt);
        s.bind(1, state.table->name);
        if (s.step() != SQLITE_ROW) {
            if (error)
                *error = databaseError(PersistentStoreSaveError, "The store could not be read");
            return 0;
        }
        state.nextRow = std::max(state.nextRow, static_cast<std::int64_t>(sqlite3_column_int64(s.get(), 0)) + 1);
        state.sequenceRead = true;
    }
    return state.nextRow++;
}

// A row id reserved but never written (its object was deleted first) is still used up: the
// table's sequence is moved past it before the commit.
bool ManagedObjectContext::advanceSequences(ErrorRecord* error)
{
    for (auto& [name, state] : tableStates_) {
        if (!state.rowDropped)
            continue;
        for (const char* sql : {"UPDATE sqlite_sequence SET seq=?2 WHERE name=?1 AND seq<?2",
                                "INSERT INTO sqlite_sequence(name, seq) SELECT ?1, ?2 WHERE NOT EXISTS "
                                "(SELECT 1 FROM sqlite_sequence WHERE name=?1)"}) {
            BoundStatement s(statement(sql).stmt);
            s.bind(1, name);
            s.bind(2, state.nextRow - 1);
            if (s.step() != SQLITE_DONE) {
                if (error)
                    *error = databaseError(PersistentStoreSaveError, "The store could not be written");
                return false;
            }
        }
    }
    return true;
}

// --- context --------------------------------------------------------------------------------

Ref<ManagedObjectContext> ManagedObjectContext::create(Ref<PersistentStoreCoordinator> coordinator)
{
    ZOV_ASSERT(coordinator && coordinator->hasStore(), "A context needs a coordinator with a store");
    return Ref<ManagedObjectContext>::adopt(new ManagedObjectContext(std::move(coordinator)));
}

ManagedObjectContext::ManagedObjectContext(Ref<PersistentStoreCoordinator> coordinator)
    : coordinator_(std::move(coordinator)), model_(coordinator_->managedObjectModel()), db_(coordinator_->database()),
      ownerLoop_(RunLoop::current())
{
    // Registered before anybody else can observe the context: clears the flag first thing
    // when the queued notification is posted, so the next change queues the next one.
    NotificationCenter::defaultCenter().addObserver(
        this, [this](const Notification&) { notificationQueued_ = false; }, ObjectsDidChangeNotification, this);
}

ManagedObjectContext::~ManagedObjectContext()
{
    NotificationCenter::defaultCenter().removeObserver(this);
    for (auto& [table, rows] : registered_)
        for (auto& [row, object] : rows) {
            object->willTurnIntoFault();
            object->context_ = nullptr;
            object->toMany_.reset();
        }
    statements_.clear();
    // Unsaved changes are discarded with the context.
    if (inTransaction_)
        execute(db_, "ROLLBACK");
}

bool ManagedObjectContext::checkThread() const
{
    ZOV_ASSERT(RunLoop::current() == ownerLoop_, "Object store used outside its thread");
    return true;
}

ErrorRecord ManagedObjectContext::databaseError(long code, const std::string& what) const
{
    return makeError(code, what + ": " + sqlite3_errmsg(db_), coordinator_->storePath());
}

bool ManagedObjectContext::beginTransaction(ErrorRecord* error)
{
    if (inTransaction_)
        return true;
    if (!execute(db_, "BEGIN IMMEDIATE")) {
        if (error)
            *error = databaseError(PersistentStoreSaveError, "The store could not be written");
        return false;
    }
    inTransaction_ = true;
    // Another connection may have added rows since: the sequences are read again.
    for (auto& [name, state] : tableStates_)
        state.sequenceRead = false;
    return true;
}

std::size_t ManagedObjectContext::registeredObjectsCount() const
{
    std::size_t count = 0;
    for (const auto& [table, rows] : registered_)
        count += rows.size();
    return count;
}

void ManagedObjectContext::noteChanged(ManagedObject& object)
{
    if (object.deleted_)
        return;
    if (!object.inserted_ && !object.updated_) {
        object.updated_ = true;
        updated_.insert(&object);
    }
    if (!object.dirty_) {
        object.dirty_ = true;
        dirty_.push_back(Ref<ManagedObject>(&object));
    }
    if (!notificationQueued_) {
        notificationQueued_ = true;
        NotificationQueue::defaultQueue().enqueueNotification(
            Notification {ObjectsDidChangeNotification, Ref<Object>(this), {}}, PostingStyle::NSPostASAP,
            NSNotificationCoalescingOnName | NSNotificationCoalescingOnSender, {NSRunLoopCommonModes});
    }
}

Ref<ManagedObject> ManagedObjectContext::insertNewObject(std::string_view entityName)
{
    checkThread();
    const ObjectModel::Entity* entity = model_->entity(entityName);
    ZOV_ASSERT(entity && !entity->isAbstract, "Cannot insert an object of this entity");
    ErrorRecord error;
    if (!beginTransaction(&error)) {
        ZovLog("ManagedObjectContext::insertNewObject " + error.description());
        return {};
    }
    TableState& state = tableState(entity->table);
    const std::int64_t row = reserveRow(state, &error);
    if (row == 0) {
        ZovLog("ManagedObjectContext::insertNewObject " + error.description());
        return {};
    }
    Ref<ManagedObject> object = Ref<ManagedObject>::adopt(entity->factory());
    object->context_ = this;
    object->entity_ = entity;
    object->rowID_ = row;
    object->fields_.resize(state.table->columns.size());
    object->inserted_ = true;
    (*state.rows)[row] = object;
    inserted_.insert(object.get());
    object->awakeFromInsert();
    noteChanged(*object);
    return object;
}

Ref<ManagedObject> ManagedObjectContext::materialise(const ObjectModel::Entity& tableEntity, std::int64_t rowID,
                                                     sqlite3_stmt* row)
{
    auto& rows = registered_[tableEntity.table];
    if (auto it = rows.find(rowID); it != rows.end())
        return it->second;
    const auto* entityText = reinterpret_cast<const char*>(sqlite3_column_text(row, 1));
    const ObjectModel::Entity* entity = model_->entity(entityText ? entityText : "");
    if (!entity || entity->table != tableEntity.table) {
        ZovLog("ManagedObjectContext row of unknown entity in " + tableEntity.table);
        return {};
    }
    Ref<ManagedObject> object = Ref<ManagedObject>::adopt(entity->factory());
    object->context_ = this;
    object->entity_ = entity;
    object->rowID_ = rowID;
    object->written_ = true;
    const std::size_t columns = model_->table(entity->table)->columns.size();
    object->fields_.resize(columns);
    for (std::size_t i = 0; i < columns; ++i) {
        const int c = static_cast<int>(i) + 2;
        switch (sqlite3_column_type(row, c)) {
        case SQLITE_INTEGER:
            object->fields_[i] = StoredValue(static_cast<std::int64_t>(sqlite3_column_int64(row, c)));
            break;
        case SQLITE_FLOAT: object->fields_[i] = StoredValue(sqlite3_column_double(row, c)); break;
        case SQLITE_TEXT:
        case SQLITE_BLOB: {
            const auto* bytes = static_cast<const char*>(sqlite3_column_blob(row, c));
            const auto size = static_cast<std::size_t>(sqlite3_column_bytes(row, c));
            object->fields_[i] = StoredValue(std::string_view(bytes ? bytes : "", size));
            break;
        }
        default: break;
        }
    }
    rows[rowID] = object;
    object->awakeFromFetch();
    return object;
}

static std::string selectColumns(const ObjectModel::Table& table)
{
    std::string sql = "SELECT T.Z_PK, T.Z_ENT";
    for (const auto& column : table.columns)
        sql += ", T." + quoted(column);
    return sql + " FROM " + quoted(table.name) + " AS T";
}

Ref<ManagedObject> ManagedObjectContext::objectForRow(const std::string& tableName, std::int64_t rowID)
{
    TableState& state = tableState(tableName);
    if (auto it = state.rows->find(rowID); it != state.rows->end())
        return it->second;
    BoundStatement s(state.select->stmt);
    s.bind(1, rowID);
    if (s.step() != SQLITE_ROW)
        return {};
    return materialise(*model_->entity(tableName), rowID, s.get());
}

bool ManagedObjectContext::writeObject(ManagedObject& object, ErrorRecord* error)
{
    TableState& state = tableState(object.entity_->table);
    if (!state.update)
        return true;
    BoundStatement s(state.update->stmt);
    for (std::size_t i = 0; i < object.fields_.size(); ++i)
        s.bind(static_cast<int>(i) + 1, object.fields_[i]);
    s.bind(static_cast<int>(object.fields_.size()) + 1, object.rowID_);
    if (s.step() != SQLITE_DONE) {
        if (error)
            *error = databaseError(PersistentStoreSaveError, "The store could not be written");
        return false;
    }
    return true;
}

bool ManagedObjectContext::insertRow(ManagedObject& object, ErrorRecord* error)
{
    BoundStatement s(tableState(object.entity_->table).insert->stmt);
    s.bind(1, object.rowID_);
    s.bind(2, object.entity_->name);
    for (std::size_t i = 0; i < object.fields_.size(); ++i)
        s.bind(static_cast<int>(i) + 3, object.fields_[i]);
    if (s.step() != SQLITE_DONE) {
        if (error)
            *error = databaseError(PersistentStoreSaveError, "The store could not be written");
        return false;
    }
    object.written_ = true;
    return true;
}

bool ManagedObjectContext::flush(ErrorRecord* error)
{
    if (dirty_.empty())
        return true;
    if (!beginTransaction(error))
        return false;
    std::size_t done = 0;
    for (; done < dirty_.size(); ++done) {
        ManagedObject& object = *dirty_[done];
        if (object.deleted_ || !object.dirty_)
            continue;
        if (!(object.written_ ? writeObject(object, error) : insertRow(object, error))) {
            dirty_.erase(dirty_.begin(), dirty_.begin() + static_cast<std::ptrdiff_t>(done));
            return false;
        }
        object.dirty_ = false;
    }
    dirty_.clear();
    return true;
}

bool ManagedObjectContext::commitEditing(ErrorRecord* error)
{
    checkThread();
    return flush(error);
}

bool ManagedObjectContext::replayAfterRollback(ErrorRecord* error)
{
    inTransaction_ = false;
    if (!beginTransaction(error))
        return false;
    // The inserted rows are gone with the transaction: they are written again in full.
    for (ManagedObject* object : inserted_)
        object->written_ = false;
    for (const auto& [table, row] : deletedRows_) {
        BoundStatement s(tableState(table).remove->stmt);
        s.bind(1, row);
        s.step();
    }
    auto markDirty = [&](ManagedObject* object) {
        if (!object->dirty_) {
            object->dirty_ = true;
            dirty_.push_back(Ref<ManagedObject>(object));
        }
    };
    for (ManagedObject* object : inserted_)
        markDirty(object);
    for (ManagedObject* object : updated_)
        markDirty(object);
    return flush(error);
}

bool ManagedObjectContext::save(ErrorRecord* error)
{
    checkThread();
    if (!hasChanges() && !inTransaction_)
        return true;
    if (!flush(error) || !advanceSequences(error))
        return false;
    if (!execute(db_, "COMMIT")) {
        ErrorRecord failure = databaseError(PersistentStoreSaveError, "The store could not be saved");
        if (sqlite3_get_autocommit(db_)) {
            // The database rolled the transaction back: write the changes again so that the
            // next save has them.
            ErrorRecord replayError;
            if (!replayAfterRollback(&replayError))
                ZovLog("ManagedObjectContext::save " + replayError.description());
        }
        if (error)
            *error = failure;
        return false;
    }
    inTransaction_ = false;
    for (auto& [name, state] : tableStates_)
        state.rowDropped = false;
    for (ManagedObject* object : inserted_)
        object->inserted_ = false;
    for (ManagedObject* object : updated_)
        object->updated_ = false;
    inserted_.clear();
    updated_.clear();
    deletedRows_.clear();
    deletedCount_ = 0;
    return true;
}

void ManagedObjectContext::loadToMany(const ManagedObject& object, const ObjectModel::Property& property) const
{
    auto* self = const_cast<ManagedObjectContext*>(this);
    ErrorRecord error;
    if (!self->flush(&error))
        ZovLog("ManagedObjectContext::loadToMany " + error.description());
    const RelationshipDescription& relationship = *property.relationship;
    const ObjectModel::Entity& destination = *model_->entity(relationship.destination);
    const ObjectModel::Table& table = *model_->table(destination.table);
    auto& select = self->statement(selectColumns(table) + " WHERE T." + quoted(relationship.inverse) + "=? ORDER BY T.Z_PK");
    std::vector<Ref<ManagedObject>> members;
    {
        BoundStatement s(select.stmt);
        s.bind(1, object.rowID_);
        while (s.step() == SQLITE_ROW)
            if (auto member = self->materialise(*model_->entity(destination.table), sqlite3_column_int64(s.get(), 0), s.get()))
                members.push_back(std::move(member));
    }
    if (!object.toMany_)
        object.toMany_ = std::make_unique<std::map<std::string, std::vector<Ref<ManagedObject>>, std::less<>>>();
    (*object.toMany_)[property.name] = std::move(members);
}

void ManagedObjectContext::fileInToMany(ManagedObject& owner, std::string_view key, ManagedObject& member, bool add)
{
    if (!owner.toMany_)
        return;
    auto it = owner.toMany_->find(key);
    if (it == owner.toMany_->end())
        return;
    auto& members = it->second;
    auto pos = std::lower_bound(members.begin(), members.end(), member.rowID_,
                                [](const Ref<ManagedObject>& m, std::int64_t row) { return m->rowID_ < row; });
    const bool present = pos != members.end() && pos->get() == &member;
    if (add && !present)
        members.insert(pos, Ref<ManagedObject>(&member));
    else if (!add && present)
        members.erase(pos);
}

void ManagedObjectContext::collectCascade(ManagedObject& object, std::vector<Ref<ManagedObject>>& out,
                                          std::unordered_set<const ManagedObject*>& seen)
{
    if (!seen.insert(&object).second)
        return;
    out.push_back(Ref<ManagedObject>(&object));
    for (const auto& p : object.entity_->properties) {
        if (p.isAttribute || p.relationship->deleteRule != DeleteRule::Cascade)
            continue;
        if (p.relationship->toMany) {
            const auto members = object.toMany(p.name); // a copy: collecting may load more
            for (const auto& member : members)
                collectCascade(*member, out, seen);
        } else if (auto target = object.toOne(p.name)) {
            collectCascade(*target, out, seen);
        }
    }
}

void ManagedObjectContext::deleteObject(ManagedObject* object)
{
    checkThread();
    if (!object || object->deleted_ || object->context_ != this)
        return;
    std::vector<Ref<ManagedObject>> doomed;
    std::unordered_set<const ManagedObject*> isDoomed;
    collectCascade(*object, doomed, isDoomed);
    ErrorRecord error;
    if (!beginTransaction(&error)) {
        ZovLog("ManagedObjectContext::deleteObject " + error.description());
        return;
    }
    for (const auto& victim : doomed) {
        for (const auto& p : victim->entity_->properties) {
            if (p.isAttribute)
                continue;
            const RelationshipDescription& r = *p.relationship;
            if (r.toMany && r.deleteRule == DeleteRule::Nullify) {
                // Links pointing at the victim are cleared.
                const auto members = victim->toMany(p.name);
                for (const auto& member : members)
                    if (!isDoomed.count(member.get()))
                        member->setToOne(r.inverse, nullptr);
            } else if (!r.toMany && p.column >= 0) {
                // The victim leaves its owner's loaded to-many.
                if (auto row = victim->toOneRow(p); row && !r.inverse.empty()) {
                    const auto& table = model_->entity(r.destination)->table;
                    auto& rows = registered_[table];
                    if (auto it = rows.find(*row); it != rows.end())
                        fileInToMany(*it->second, r.inverse, *victim, false);
                }
            }
        }
    }
    for (const auto& victim : doomed) {
        const std::string& table = victim->entity_->table;
        TableState& state = tableState(table);
        if (victim->written_) {
            BoundStatement s(state.remove->stmt);
            s.bind(1, victim->rowID_);
            if (s.step() != SQLITE_DONE)
                ZovLog("ManagedObjectContext::deleteObject " + databaseError(PersistentStoreSaveError, "delete").description());
        }
        if (victim->inserted_)
            state.rowDropped = true;
        victim->willTurnIntoFault();
        victim->deleted_ = true;
        if (victim->inserted_) {
            inserted_.erase(victim.get());
        } else {
            updated_.erase(victim.get());
            deletedRows_.emplace_back(table, victim->rowID_);
            ++deletedCount_;
        }
        victim->inserted_ = victim->updated_ = false;
        victim->toMany_.reset();
        registered_[table].erase(victim->rowID_);
    }
    for (const auto& victim : doomed)
        victim->context_ = nullptr;
    if (!notificationQueued_) {
        notificationQueued_ = true;
        NotificationQueue::defaultQueue().enqueueNotification(
            Notification {ObjectsDidChangeNotification, Ref<Object>(this), {}}, PostingStyle::NSPostASAP,
            NSNotificationCoalescingOnName | NSNotificationCoalescingOnSender, {NSRunLoopCommonModes});
    }
}

Ref<ManagedObject> ManagedObjectContext::objectRegisteredForID(const ObjectID& id) const
{
    if (id.storeUUID != coordinator_->storeUUID())
        return {};
    const ObjectModel::Entity* entity = model_->entity(id.entityName);
    if (!entity)
        return {};
    auto table = registered_.find(entity->table);
    if (table == registered_.end())
        return {};
    auto it = table->second.find(id.rowID);
    if (it == table->second.end() || it->second->entityName() != id.entityName)
        return {};
    return it->second;
}

Ref<ManagedObject> ManagedObjectContext::objectWithID(const ObjectID& id)
{
    checkThread();
    if (id.storeUUID != coordinator_->storeUUID())
        return {};
    const ObjectModel::Entity* entity = model_->entity(id.entityName);
    if (!entity)
        return {};
    Ref<ManagedObject> object = objectForRow(entity->table, id.rowID);
    if (!object || object->entityName() != id.entityName)
        return {};
    return object;
}

std::optional<std::vector<Ref<ManagedObject>>> ManagedObjectContext::executeFetchRequest(const FetchRequest& request,
                                                                                        ErrorRecord* error)
{
    checkThread();
    const ObjectModel::Entity* entity = model_->entity(request.entityName);
    ZOV_ASSERT(entity != nullptr, "Fetch of an unknown entity");
    if (!flush(error))
        return std::nullopt;
    const ObjectModel::Table& table = *model_->table(entity->table);
    using Field = std::variant<std::monostate, std::int64_t, double, std::string>;

    auto toField = [&](const Value& value) -> Field {
        switch (value.type()) {
        case Value::Type::Null: return std::monostate {};
        case Value::Type::Boolean:
        case Value::Type::Integer: return value.toInt64();
        case Value::Type::Real: return value.toDouble();
        case Value::Type::Date: return value.toDate().secondsSince1970;
        case Value::Type::String: return value.asString();
        case Value::Type::Data: return std::string(value.asData().begin(), value.asData().end());
        case Value::Type::Object: {
            auto object = value.toObject<ManagedObject>();
            if (object && object->context_ == this && !object->deleted_)
                return object->rowID_;
            return std::int64_t(-1); // names no row
        }
        default: return std::int64_t(-1);
        }
    };

    // The one IN list that may be too long for one statement is fetched in slices.
    std::size_t sliced = request.predicate.size();
    for (std::size_t i = 0; i < request.predicate.size(); ++i)
        if (request.predicate[i].op == Comparison::Operator::In
            && request.predicate[i].argument.size() > MaxParametersPerQuery
            && (sliced == request.predicate.size()
                || request.predicate[i].argument.size() > request.predicate[sliced].argument.size()))
            sliced = i;
    const std::size_t total = sliced < request.predicate.size() ? request.predicate[sliced].argument.size() : 0;

    std::vector<Ref<ManagedObject>> results;
    for (std::size_t offset = 0;; offset += MaxParametersPerQuery) {
        std::string sql = selectColumns(table) + " WHERE 1";
        std::vector<Field> binds;
        if (entity->name != entity->table) {
            sql += " AND T.Z_ENT IN (";
            for (std::size_t i = 0; i < entity->selfAndSubentities.size(); ++i) {
                sql += i ? ",?" : "?";
                binds.push_back(entity->selfAndSubentities[i]);
            }
            sql += ")";
        }
        for (std::size_t i = 0; i < request.predicate.size(); ++i) {
            const Comparison& c = request.predicate[i];
            // The expression of the key path.
            std::string expression;
            const auto dot = c.keyPath.find('.');
            const std::string first = c.keyPath.substr(0, dot);
            if (first == "self") {
                expression = "T.Z_PK";
            } else {
                const ObjectModel::Property* p = entity->property(first);
                ZOV_ASSERT(p && p->column >= 0, "Unsupported key path in fetch");
                expression = "T." + quoted(first);
                if (dot != std::string::npos) {
                    ZOV_ASSERT(!p->isAttribute, "Unsupported key path in fetch");
                    const ObjectModel::Entity& destination = *model_->entity(p->relationship->destination);
                    const std::string second = c.keyPath.substr(dot + 1);
                    const ObjectModel::Property* q = destination.property(second);
                    ZOV_ASSERT(q && q->column >= 0, "Unsupported key path in fetch");
                    expression = "(SELECT D." + quoted(second) + " FROM " + quoted(destination.table)
                        + " AS D WHERE D.Z_PK=" + expression + ")";
                }
            }
            std::string condition;
            switch (c.op) {
            case Comparison::Operator::Equal:
                condition = expression + " IS ?";
                binds.push_back(toField(c.argument));
                break;
            case Comparison::Operator::Like:
                condition = "vistel_like_cd(?, " + expression + ")";
                binds.push_back(toField(c.argument));
                break;
            case Comparison::Operator::In: {
                const auto& items = c.argument.asArray();
                std::size_t begin = 0, end = items.size();
                if (i == sliced) {
                    begin = offset;
                    end = std::min(items.size(), offset + MaxParametersPerQuery);
                }
                if (begin >= end) {
                    condition = "0";
                    break;
                }
                condition = expression + " IN (";
                for (std::size_t k = begin; k < end; ++k) {
                    condition += k == begin ? "?" : ",?";
                    binds.push_back(toField(items[k]));
                }
                condition += ")";
                break;
            }
            }
            sql += c.negated ? " AND NOT (" + condition + ")" : " AND (" + condition + ")";
        }
        sql += " ORDER BY T.Z_PK";
        if (request.fetchLimit > 0)
            sql += " LIMIT " + std::to_string(request.fetchLimit);

        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
            if (error)
                *error = databaseError(PersistentStoreOpenError, "The fetch failed");
            return std::nullopt;
        }
        {
            BoundStatement s(stmt);
            for (std::size_t b = 0; b < binds.size(); ++b)
                s.bind(static_cast<int>(b) + 1, binds[b]);
            int rc;
            while ((rc = s.step()) == SQLITE_ROW)
                if (auto object = materialise(*model_->entity(entity->table), sqlite3_column_int64(stmt, 0), stmt))
                    results.push_back(std::move(object));
            if (!stepOK(rc)) {
                if (error)
                    *error = databaseError(PersistentStoreOpenError, "The fetch failed");
                sqlite3_finalize(stmt);
                return std::nullopt;
            }
        }
        sqlite3_finalize(stmt);
        if (offset + MaxParametersPerQuery >= total)
            break;
    }
    if (total > MaxParametersPerQuery) {
        std::sort(results.begin(), results.end(), [](const auto& a, const auto& b) { return a->rowID_ < b->rowID_; });
        if (request.fetchLimit > 0 && results.size() > request.fetchLimit)
            results.resize(request.fetchLimit);
    }
    return results;
}

// --- objects --------------------------------------------------------------------------------

ObjectID ManagedObject::objectID() const
{
    return ObjectID {context_ ? context_->coordinator_->storeUUID() : std::string(), entity_->name, rowID_};
}

const ObjectModel::Property& ManagedObject::property(std::string_view key) const
{
    const ObjectModel::Property* p = entity_->property(key);
    if (!p)
        throw Exception("NSUnknownKeyException", "the entity " + entity_->name + " is not key value coding-compliant for the key "
                                                     + std::string(key));
    return *p;
}

void ManagedObject::setField(int column, Field value)
{
    if (deleted_ || fields_[static_cast<std::size_t>(column)] == value)
        return;
    fields_[static_cast<std::size_t>(column)] = std::move(value);
    if (context_)
        context_->noteChanged(*this);
}

std::optional<std::int64_t> ManagedObject::toOneRow(const ObjectModel::Property& p) const
{
    return fields_[static_cast<std::size_t>(p.column)].integer();
}

Value ManagedObject::valueForKey(std::string_view key) const
{
    const ObjectModel::Property& p = property(key);
    if (!p.isAttribute) {
        ZOV_ASSERT(!p.relationship->toMany, "valueForKey of a to-many");
        return Value(Ref<Object>(toOne(key)));
    }
    const Field& f = fields_[static_cast<std::size_t>(p.column)];
    if (f.isNone())
        return Value();
    const auto number = [&f]() -> std::optional<double> {
        if (const auto d = f.real())
            return d;
        if (const auto i = f.integer())
            return static_cast<double>(*i);
        return std::nullopt;
    };
    switch (p.type) {
    case AttributeType::String:
        if (const auto s = f.bytes())
            return Value(*s);
        break;
    case AttributeType::Data:
        if (const auto s = f.bytes())
            return Value(Value::Bytes(s->begin(), s->end()));
        break;
    case AttributeType::Integer:
        if (const auto i = f.integer())
            return Value(static_cast<long long>(*i));
        break;
    case AttributeType::Boolean:
        if (const auto i = f.integer())
            return Value(*i != 0);
        break;
    case AttributeType::Real:
        if (const auto d = number())
            return Value(*d);
        break;
    case AttributeType::Date:
        if (const auto d = number())
            return Value(Date {*d});
        break;
    }
    return Value();
}

void ManagedObject::setValueForKey(const Value& value, std::string_view key)
{
    const ObjectModel::Property& p = property(key);
    if (!p.isAttribute) {
        setToOne(key, value.toObject<ManagedObject>().get());
        return;
    }
    Field f;
    if (!value.isNull()) {
        switch (p.type) {
        case AttributeType::String: f = Field(std::string_view(value.asString())); break;
        case AttributeType::Data: {
            const Value::Bytes& data = value.asData();
            f = Field(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
            break;
        }
        case AttributeType::Integer:
        case AttributeType::Boolean: f = Field(value.toInt64()); break;
        case AttributeType::Real: f = Field(value.toDouble()); break;
        case AttributeType::Date: f = Field(value.isDate() ? value.toDate().secondsSince1970 : value.toDouble()); break;
        }
    }
    setField(p.column, std::move(f));
}

std::optional<std::string_view> ManagedObject::stringAtColumn(int column) const
{
    return fields_[static_cast<std::size_t>(column)].bytes();
}

std::optional<std::int64_t> ManagedObject::integerAtColumn(int column) const
{
    const Field& f = fields_[static_cast<std::size_t>(column)];
    if (const auto i = f.integer())
        return i;
    if (const auto d = f.real())
        return static_cast<std::int64_t>(*d);
    return std::nullopt;
}

std::optional<double> ManagedObject::realAtColumn(int column) const
{
    const Field& f = fields_[static_cast<std::size_t>(column)];
    if (const auto d = f.real())
        return d;
    if (const auto i = f.integer())
        return static_cast<double>(*i);
    return std::nullopt;
}

void ManagedObject::setStringAtColumn(int column, std::optional<std::string> value)
{
    setField(column, value ? Field(std::string_view(*value)) : Field());
}

void ManagedObject::setIntegerAtColumn(int column, std::optional<std::int64_t> value)
{
    setField(column, value ? Field(*value) : Field());
}

void ManagedObject::setRealAtColumn(int column, std::optional<double> value)
{
    setField(column, value ? Field(*value) : Field());
}

std::optional<std::string> ManagedObject::stringValue(std::string_view key) const
{
    if (const auto s = stringAtColumn(property(key).column))
        return std::string(*s);
    return std::nullopt;
}

std::optional<std::int64_t> ManagedObject::integerValue(std::string_view key) const
{
    return integerAtColumn(property(key).column);
}

std::optional<double> ManagedObject::realValue(std::string_view key) const
{
    return realAtColumn(property(key).column);
}

void ManagedObject::setStringValue(std::string_view key, const std::optional<std::string>& value)
{
    setStringAtColumn(property(key).column, value);
}

void ManagedObject::setIntegerValue(std::string_view key, std::optional<std::int64_t> value)
{
    setIntegerAtColumn(property(key).column, value);
}

void ManagedObject::setRealValue(std::string_view key, std::optional<double> value)
{
    setRealAtColumn(property(key).column, value);
}

Ref<ManagedObject> ManagedObject::toOne(std::string_view key) const
{
    const ObjectModel::Property& p = property(key);
    ZOV_ASSERT(!p.isAttribute && !p.relationship->toMany, "Not a to-one relationship");
    if (!context_ || deleted_)
        return {};
    const auto& destination = *context_->model_->entity(p.relationship->destination);
    if (p.column < 0) {
        // The column is on the destination: look the holder up.
        auto* context = context_;
        ErrorRecord error;
        context->flush(&error);
        const auto& table = *context->model_->table(destination.table);
        BoundStatement s(context->statement(selectColumns(table) + " WHERE T." + quoted(p.relationship->inverse)
                                            + "=? ORDER BY T.Z_PK LIMIT 1")
                             .stmt);
        s.bind(1, rowID_);
        if (s.step() != SQLITE_ROW)
            return {};
        return context->materialise(*context->model_->entity(destination.table), sqlite3_column_int64(s.get(), 0), s.get());
    }
    auto row = toOneRow(p);
    if (!row)
        return {};
    return context_->objectForRow(destination.table, *row);
}

void ManagedObject::setToOne(std::string_view key, ManagedObject* object)
{
    const ObjectModel::Property& p = property(key);
    ZOV_ASSERT(!p.isAttribute && !p.relationship->toMany, "Not a to-one relationship");
    if (deleted_ || !context_)
        return;
    ZOV_ASSERT(!object || object->context_ == context_, "Relationship across contexts");
    const RelationshipDescription& r = *p.relationship;
    if (p.column < 0) {
        Ref<ManagedObject> previous = toOne(key);
        if (previous.get() == object)
            return;
        if (previous)
            previous->setToOne(r.inverse, nullptr);
        if (object)
            object->setToOne(r.inverse, this);
        return;
    }
    auto oldRow = toOneRow(p);
    const std::optional<std::int64_t> newRow = object ? std::optional(object->rowID_) : std::nullopt;
    if (oldRow == newRow)
        return;
    const bool inverseToMany = !r.inverse.empty() && context_->model_->entity(r.destination)->property(r.inverse)
        && context_->model_->entity(r.destination)->property(r.inverse)->relationship->toMany;
    if (inverseToMany && oldRow) {
        const auto& table = context_->model_->entity(r.destination)->table;
        auto& rows = context_->registered_[table];
        if (auto it = rows.find(*oldRow); it != rows.end())
            context_->fileInToMany(*it->second, r.inverse, *this, false);
    }
    setField(p.column, newRow ? Field(*newRow) : Field());
    if (inverseToMany && object)
        context_->fileInToMany(*object, r.inverse, *this, true);
}

const std::vector<Ref<ManagedObject>>& ManagedObject::toMany(std::string_view key) const
{
    static const std::vector<Ref<ManagedObject>> none;
    const ObjectModel::Property& p = property(key);
    ZOV_ASSERT(!p.isAttribute && p.relationship->toMany, "Not a to-many relationship");
    if (!context_ || deleted_)
        return none;
    if (!toMany_ || toMany_->find(key) == toMany_->end())
        context_->loadToMany(*this, p);
    return toMany_->find(key)->second;
}

} // namespace vistel::store
