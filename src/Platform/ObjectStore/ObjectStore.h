#pragma once
// The object store: persistent objects over one SQLite file, for the catalogue.
//
// What it is. An ObjectModel describes entities (named, with typed attributes and to-one /
// to-many relationships, delete rules and indexes). A PersistentStoreCoordinator opens one
// SQLite file for a model (or an in-memory database) and checks the model version kept in
// `PRAGMA user_version`. A ManagedObjectContext hands out ManagedObjects: one object per row
// (an identity map), created by the entity's factory so that the catalogue gets its own
// classes. Entities of one hierarchy (Element with File, Folder and Volume) share one table
// whose column "Z_ENT" names the concrete entity; "Z_PK" is the row id (never reused).
//
// Identifiers. An object's ObjectID is (store UUID, entity, row id) and is permanent from the
// moment of insertion: the row id is reserved at once (above every id the table's sequence
// ever handed out) and the row is written with its values at the next write of changes into
// the open transaction. Its URI text
// ("x-vistel-objectstore://<store UUID>/<entity>/p<row id>") is stable across runs; an
// identifier of another store (one made before a wipe) finds nothing.
//
// Changes and saving. Setting a value that equals the stored one changes nothing. Changed
// objects are written to the database inside one open transaction before every fetch (so a
// fetch sees them) and at save; save() is the commit of that transaction, so a crash loses at
// most the changes since the last save and never leaves a half-written batch. The first change
// within a pass of the context's run loop queues one "objects did change" notification on the
// thread's default NotificationQueue (as soon as possible, coalesced on name and sender, in the
// common modes), so observers hear once per pass however many objects changed. There is no undo
// manager. Deleting follows the delete rules at once: cascades delete the related objects too,
// nullify clears the links that point at the deleted object.
//
// Values. Dates are stored as the Date's seconds, so a date read back equals the one written.
// Strings are stored as their bytes, never checked or converted (file names that are not UTF-8
// survive). The database runs in WAL mode with synchronous=NORMAL, checkpointed every 4096 log
// pages.
//
// Fetches take a conjunction of Comparisons (equality, membership and a case- and
// diacritic-insensitive LIKE, each possibly negated, over a key path of at most two steps),
// turned into parameterised SQL. There is no predicate language: the catalogue maps the few
// fixed predicate texts it uses onto these.
//
// Thread rules. A coordinator, its context and every object of that context belong to the
// thread that made the context (the catalogue's main thread); nothing here locks. Other
// threads exchange ObjectIDs (plain values) and ask that thread to resolve them.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <variant>
#include <vector>

#include "Platform/ErrorRecord.h"
#include "Platform/Object.h"
#include "Platform/Value.h"

struct sqlite3;
struct sqlite3_stmt;

namespace vistel {

class RunLoop;

namespace store {

// Error codes of the store (domain NSCocoaErrorDomain), as the platform numbers them.
inline constexpr long PersistentStoreSaveError = 134030;
inline constexpr long PersistentStoreOpenError = 134080;
inline constexpr long PersistentStoreIncompatibleVersionHashError = 134100;

inline constexpr const char* ObjectsDidChangeNotification = "NSManagedObjectContextObjectsDidChangeNotification";

enum class AttributeType { String, Integer, Real, Boolean, Date, Data };
enum class DeleteRule { Nullify, Cascade };

struct AttributeDescription {
    std::string name;
    AttributeType type = AttributeType::String;
};

struct RelationshipDescription {
    std::string name;
    std::string destination; // entity name
    bool toMany = false;
    // The relationship on the destination that points back. A to-many is always the inverse
    // of a to-one on the destination, which holds the column. A to-one whose inverse is also a
    // to-one ("icon" of an Element, "parent" of its icon holder) keeps its column on the side
    // marked `ownsColumn`; the other side is found by a lookup, loaded on demand.
    std::string inverse;
    DeleteRule deleteRule = DeleteRule::Nullify;
    bool ownsColumn = true; // to-one only
};

struct EntityDescription {
    std::string name;
    std::string parent; // the super-entity, or empty
    bool isAbstract = false;
    std::vector<AttributeDescription> attributes;       // own, not inherited
    std::vector<RelationshipDescription> relationships; // own, not inherited
};

class ManagedObject;

class ObjectModel : public Object {
public:
    using Factory = std::function<ManagedObject*()>;

    explicit ObjectModel(int version) : version_(version) { }

    // Adds an entity; its super-entity must be added before it. Objects of it are made by
    // `factory` (plain ManagedObjects when none is given; sub-entities inherit the factory).
    void addEntity(EntityDescription entity, Factory factory = {});
    // An index on columns (attribute or to-one names) of the table of `entity`.
    void addIndex(std::string_view entity, std::vector<std::string> columns);

    int version() const { return version_; }

    // --- resolved model (for the store) ---------------------------------------------------
    struct Property {
        std::string name;
        bool isAttribute = true;
        AttributeType type = AttributeType::String; // attributes
        const RelationshipDescription* relationship = nullptr;
        int column = -1; // index into the table's columns, -1 for to-many and lookup to-ones
    };
    struct Entity {
        std::string name;
        std::string table; // the root entity's name
        std::string parent;
        bool isAbstract = false;
        Factory factory;
        std::vector<Property> properties; // inherited first
        std::vector<std::string> selfAndSubentities;
        const Property* property(std::string_view name) const;
        // Property index by name, built once the entity is complete.
        std::unordered_map<std::string_view, std::size_t> propertyIndex;
    };
    struct Table {
        std::string name;
        std::vector<std::string> columns; // attribute and to-one columns of every entity in it
        std::vector<AttributeType> columnTypes; // Integer for to-one columns
        std::vector<std::vector<std::string>> indexes;
        int column(std::string_view name) const;
    };
    const Entity* entity(std::string_view name) const;
    const Table* table(std::string_view name) const;
    const std::map<std::string, Table, std::less<>>& tables() const { return tables_; }
    const std::map<std::string, Entity, std::less<>>& entities() const { return entities_; }

private:
    int version_;
    std::map<std::string, Entity, std::less<>> entities_;
    std::map<std::string, Table, std::less<>> tables_;
    std::vector<std::unique_ptr<RelationshipDescription>> relationships_; // stable addresses
};

// A permanent object identifier.
struct ObjectID {
    std::string storeUUID;
    std::string entityName;
    std::int64_t rowID = 0;

    bool isNull() const { return rowID == 0; }
    // "x-vistel-objectstore://<store UUID>/<entity>/p<row id>"
    std::string uriRepresentation() const;
    // nullopt when the text is not such a URI.
    static std::optional<ObjectID> fromURIRepresentation(std::string_view uri);
    friend bool operator==(const ObjectID&, const ObjectID&) = default;
};

class PersistentStoreCoordinator : public Object {
public:
    static Ref<PersistentStoreCoordinator> create(Ref<ObjectModel> model);

    // Opens (creating when missing) the SQLite file at `path`. Failing, answers false and fills
    // `error`: PersistentStoreIncompatibleVersionHashError when the file holds another model
    // version, PersistentStoreOpenError for anything else (not a database, a folder in the
    // file's place, no permission), with SQLite's message in the description.
    bool addSQLiteStore(const std::string& path, ErrorRecord* error = nullptr);
    // A store in memory, for a session whose file could not be opened.
    bool addInMemoryStore(ErrorRecord* error = nullptr);

    bool hasStore() const { return db_ != nullptr; }
    const std::string& storePath() const { return path_; } // ":memory:" for the in-memory store
    const std::string& storeUUID() const { return uuid_; }
    const Ref<ObjectModel>& managedObjectModel() const { return model_; }
    // The identifier a URI names; nullopt when the text is not an identifier of this store.
    std::optional<ObjectID> managedObjectIDForURIRepresentation(std::string_view uri) const;

    sqlite3* database() const { return db_; }

private:
    explicit PersistentStoreCoordinator(Ref<ObjectModel> model);
    ~PersistentStoreCoordinator() override;
    bool open(const std::string& path, ErrorRecord* error);
    bool updateIndexes();
    void close();

    Ref<ObjectModel> model_;
    sqlite3* db_ = nullptr;
    std::string path_;
    std::string uuid_;
};

// One condition of a fetch. `keyPath` is "self", an attribute or to-one name, or a to-one name
// followed by ".attribute" or ".toOne" of its destination.
struct Comparison {
    enum class Operator {
        Equal, // argument: a value, an object (Value holding the ManagedObject) or null
        In,    // argument: an array of values or objects
        Like,  // argument: a pattern with * and ?; case- and diacritic-insensitive
    };
    std::string keyPath;
    Operator op = Operator::Equal;
    Value argument;
    bool negated = false;
};

struct FetchRequest {
    std::string entityName;
    std::vector<Comparison> predicate; // all must hold; empty matches every object
    std::size_t fetchLimit = 0;        // 0: no limit
};

class ManagedObjectContext;

// One stored column value of an object in 16 bytes: nothing, an integer, a real, or bytes
// (text or data), kept inline up to 15 bytes and on the heap beyond. Objects keep one per
// column of their table, so a catalogue of a million items does not pay 40 bytes a column.
class StoredValue {
public:
    StoredValue() noexcept : raw_ {}, tag_(0) { }
    explicit StoredValue(std::int64_t value) noexcept;
    explicit StoredValue(double value) noexcept;
    explicit StoredValue(std::string_view bytes);
    StoredValue(const StoredValue& other);
    StoredValue(StoredValue&& other) noexcept;
    StoredValue& operator=(const StoredValue& other);
    StoredValue& operator=(StoredValue&& other) noexcept;
    ~StoredValue() { release(); }

    bool isNone() const noexcept { return kind() == Kind::None; }
    std::optional<std::int64_t> integer() const noexcept;
    std::optional<double> real() const noexcept;
    // The bytes of a text or data value; valid until the value changes.
    std::optional<std::string_view> bytes() const noexcept;

    friend bool operator==(const StoredValue& a, const StoredValue& b) noexcept;

private:
    enum class Kind : std::uint8_t { None, Integer, Real, ShortBytes, LongBytes };
    static constexpr std::size_t InlineBytes = 15;
    Kind kind() const noexcept { return static_cast<Kind>(tag_ & 0x0f); }
    void release() noexcept;
    void copyFrom(const StoredValue& other);

    // An integer, a real, inline bytes, or a heap pointer followed by a 32-bit size.
    alignas(8) unsigned char raw_[InlineBytes];
    std::uint8_t tag_; // the kind in the low 4 bits, the length of inline bytes in the high 4
};
static_assert(sizeof(StoredValue) == 16);

class ManagedObject : public Object {
public:
    const ObjectModel::Entity& entity() const { return *entity_; }
    const std::string& entityName() const { return entity_->name; }
    ObjectID objectID() const;
    // Null once the object was deleted or its context went away.
    ManagedObjectContext* managedObjectContext() const { return context_; }
    bool isDeleted() const { return deleted_; }
    bool isInserted() const { return inserted_; }
    bool isUpdated() const { return updated_; }
    std::int64_t rowID() const { return rowID_; }

    // Generic access by key: attributes as Values (dates as Date, booleans as bool, data as
    // bytes), to-ones as a Value holding the object (null when none). Unknown keys raise.
    Value valueForKey(std::string_view key) const;
    void setValueForKey(const Value& value, std::string_view key);

    // Typed attribute access; a missing value answers nullopt.
    std::optional<std::string> stringValue(std::string_view key) const;
    std::optional<std::int64_t> integerValue(std::string_view key) const;
    std::optional<double> realValue(std::string_view key) const; // reals and dates
    // Setting nullopt stores no value.
    void setStringValue(std::string_view key, const std::optional<std::string>& value);
    void setIntegerValue(std::string_view key, std::optional<std::int64_t> value);
    void setRealValue(std::string_view key, std::optional<double> value);

    // Relationships, loaded on demand.
    Ref<ManagedObject> toOne(std::string_view key) const;
    void setToOne(std::string_view key, ManagedObject* object);
    // The objects of a to-many, in row order.
    const std::vector<Ref<ManagedObject>>& toMany(std::string_view key) const;

    // The column of an attribute or owned to-one in the entity's table (-1 when it has none):
    // the same for every entity of the table. The typed access by column below skips the
    // lookup by name for classes that keep their columns.
    int columnForKey(std::string_view key) const { return property(key).column; }
    // The stored text, or nullopt (no value, or not text); valid until the value changes.
    std::optional<std::string_view> stringAtColumn(int column) const;
    std::optional<std::int64_t> integerAtColumn(int column) const;
    std::optional<double> realAtColumn(int column) const;
    void setStringAtColumn(int column, std::optional<std::string> value);
    void setIntegerAtColumn(int column, std::optional<std::int64_t> value);
    void setRealAtColumn(int column, std::optional<double> value);

protected:
    ManagedObject() = default;
    ~ManagedObject() override = default;
    // Called once the object belongs to its context: after insertion or after its row was read.
    virtual void awakeFromInsert() { }
    virtual void awakeFromFetch() { }
    // Called before the object leaves its context (deleted, or the context went away).
    virtual void willTurnIntoFault() { }

private:
    friend class ManagedObjectContext;
    friend class ObjectModel;
    using Field = StoredValue;

    const ObjectModel::Property& property(std::string_view key) const;
    void setField(int column, Field value);
    std::optional<std::int64_t> toOneRow(const ObjectModel::Property& property) const;

    ManagedObjectContext* context_ = nullptr;
    const ObjectModel::Entity* entity_ = nullptr;
    std::int64_t rowID_ = 0;
    std::vector<Field> fields_; // by table column
    // Loaded to-many relationships: property name -> members.
    mutable std::unique_ptr<std::map<std::string, std::vector<Ref<ManagedObject>>, std::less<>>> toMany_;
    bool inserted_ = false;
    bool updated_ = false;
    bool dirty_ = false; // changed since last written to the database
    bool written_ = false; // the row exists in the database (or in the open transaction)
    bool deleted_ = false;
};

class ManagedObjectContext : public Object {
public:
    // The context posts its notifications on the calling thread's default queue.
    static Ref<ManagedObjectContext> create(Ref<PersistentStoreCoordinator> coordinator);

    const Ref<PersistentStoreCoordinator>& persistentStoreCoordinator() const { return coordinator_; }

    // A new object of a concrete entity; its identifier exists at once, its row is written at
    // the next write of changes (before every fetch, and at save).
    Ref<ManagedObject> insertNewObject(std::string_view entityName);
    // Deletes the object and, by the delete rules, what cascades from it.
    void deleteObject(ManagedObject* object);

    // Objects matching the request, in row order; nullopt (with `error`) on a database error.
    std::optional<std::vector<Ref<ManagedObject>>> executeFetchRequest(const FetchRequest& request,
                                                                       ErrorRecord* error = nullptr);

    // The object the context holds for the identifier (nothing is read); null when none.
    Ref<ManagedObject> objectRegisteredForID(const ObjectID& id) const;
    // The object for the identifier, read from the store when needed; null when the
    // identifier is of another store or its row does not exist.
    Ref<ManagedObject> objectWithID(const ObjectID& id);

    std::size_t insertedObjectsCount() const { return inserted_.size(); }
    std::size_t updatedObjectsCount() const { return updated_.size(); }
    std::size_t deletedObjectsCount() const { return deletedCount_; }
    std::size_t registeredObjectsCount() const;
    bool hasChanges() const { return !inserted_.empty() || !updated_.empty() || deletedCount_ > 0; }

    // Writes pending edits into the open transaction; answers false (with `error`) on failure.
    bool commitEditing(ErrorRecord* error = nullptr);
    // Commits every change since the last save as one transaction. On failure the changes stay
    // and are tried again at the next save.
    bool save(ErrorRecord* error = nullptr);
    // The context keeps no undo history.
    void* undoManager() const { return nullptr; }

private:
    friend class ManagedObject;
    explicit ManagedObjectContext(Ref<PersistentStoreCoordinator> coordinator);
    ~ManagedObjectContext() override;

    struct Statement;
    Statement& statement(const std::string& sql);
    // What the context keeps per table: its prepared row statements (made on first use), its
    // identity map, and the next row id to hand out.
    struct TableState {
        const ObjectModel::Table* table = nullptr;
        std::unordered_map<std::int64_t, Ref<ManagedObject>>* rows = nullptr;
        Statement* insert = nullptr; // every column, the row id given
        Statement* update = nullptr; // every column, by row id
        Statement* remove = nullptr;
        Statement* select = nullptr; // every column, by row id
        std::int64_t nextRow = 0;
        bool sequenceRead = false; // nextRow checked against the database in this transaction
        bool rowDropped = false;   // a reserved row id was never written: the sequence must still pass it
    };
    TableState& tableState(const std::string& tableName);
    std::int64_t reserveRow(TableState& state, ErrorRecord* error);
    bool advanceSequences(ErrorRecord* error);
    bool beginTransaction(ErrorRecord* error);
    bool writeObject(ManagedObject& object, ErrorRecord* error);
    bool insertRow(ManagedObject& object, ErrorRecord* error);
    bool flush(ErrorRecord* error);
    bool replayAfterRollback(ErrorRecord* error);
    Ref<ManagedObject> materialise(const ObjectModel::Entity& entity, std::int64_t rowID, ::sqlite3_stmt* row);
    Ref<ManagedObject> objectForRow(const std::string& table, std::int64_t rowID);
    void noteChanged(ManagedObject& object);
    void collectCascade(ManagedObject& object, std::vector<Ref<ManagedObject>>& out,
                        std::unordered_set<const ManagedObject*>& seen);
    void loadToMany(const ManagedObject& object, const ObjectModel::Property& property) const;
    void fileInToMany(ManagedObject& owner, std::string_view key, ManagedObject& member, bool add);
    ErrorRecord databaseError(long code, const std::string& what) const;
    bool checkThread() const;

    Ref<PersistentStoreCoordinator> coordinator_;
    Ref<ObjectModel> model_;
    sqlite3* db_ = nullptr;
    RunLoop* ownerLoop_ = nullptr; // the thread the context belongs to

    // The identity map: table -> row id -> object.
    std::unordered_map<std::string, std::unordered_map<std::int64_t, Ref<ManagedObject>>> registered_;
    // Inserted and updated since the last save (alive through registered_).
    std::unordered_set<ManagedObject*> inserted_;
    std::unordered_set<ManagedObject*> updated_;
    // Changed since last written into the transaction.
    std::vector<Ref<ManagedObject>> dirty_;
    // Rows deleted since the last save, to delete again when a failed commit rolled back.
    std::vector<std::pair<std::string, std::int64_t>> deletedRows_;
    std::size_t deletedCount_ = 0;
    std::unordered_map<std::string, std::unique_ptr<Statement>> statements_;
    std::unordered_map<std::string, TableState> tableStates_;
    bool inTransaction_ = false;
    bool notificationQueued_ = false;
};

} // namespace store
} // namespace vistel
