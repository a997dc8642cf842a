#pragma once
// PbxProject: reader of development project files ("project.pbxproj"), the old-style ASCII
// property-list form, UTF-8, whose first line is a comment holding !$*UTF8*$!.
//
// Values are strings (taken as written between the quotes, escapes kept), arrays and
// dictionaries, held as Value; PbxItem is the typed view the project walk uses. A dictionary
// whose "isa" entry is not a string is malformed.
//
// The file is untrusted: size is limited to 4 MiB, nesting to MaxNesting levels, and any
// damage fails the whole parse.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Platform/Object.h"
#include "Platform/Value.h"

namespace vistel {

class PbxItem {
public:
    enum Type : std::int32_t { String = 0, Array = 1, Dictionary = 2 };

    static PbxItem itemWithString(std::string string);
    static PbxItem itemWithArray(Value::ArrayType array);
    // Nullopt when the dictionary's "isa" entry is not a string.
    static std::optional<PbxItem> itemWithDictionary(Value::DictionaryType dictionary);
    // A view of a parsed value (a string, an array or a dictionary); nullopt for other values
    // or a dictionary with a non-string "isa".
    static std::optional<PbxItem> itemWithValue(Value value);

    Type type() const noexcept { return type_; }
    bool isString() const noexcept { return type_ == String; }
    bool isArray() const noexcept { return type_ == Array; }
    bool isDictionary() const noexcept { return type_ == Dictionary; }
    bool isProject() const noexcept { return isa_ == "PBXProject"; }
    bool isGroup() const noexcept { return isa_ == "PBXGroup"; }
    bool isFileReference() const noexcept { return isa_ == "PBXFileReference"; }

    // Asking for the wrong kind raises "Not a string" / "Not an array" / "Not a dictionary".
    const std::string& string() const;
    std::vector<PbxItem> array() const;
    const Value::DictionaryType& dictionary() const;
    // The entry of a dictionary, or nullopt; raises "Not a dictionary" on another kind.
    std::optional<PbxItem> itemForKey(std::string_view key) const;
    // The "isa" value, or "" when there is none.
    const std::string& isa() const noexcept { return isa_; }
    const Value& value() const noexcept { return data_; }

private:
    PbxItem(Type type, Value data, std::string isa) : type_(type), data_(std::move(data)), isa_(std::move(isa)) { }
    Type type_;
    Value data_;
    std::string isa_;
};

// A key with its item.
class PbxPair : public Object {
public:
    static Ref<PbxPair> pairWithKey(std::string key, PbxItem item);
    const std::string& key() const noexcept { return key_; }
    const PbxItem& item() const noexcept { return item_; }

private:
    PbxPair(std::string key, PbxItem item) : key_(std::move(key)), item_(std::move(item)) { }
    template <class T, class... Args>
    friend Ref<T> makeRef(Args&&...);
    std::string key_;
    PbxItem item_;
};

class PbxProject : public Object {
public:
    static constexpr std::size_t MaxNesting = 64;

    // A parsed project file, or null when the file cannot be parsed.
    static Ref<PbxProject> projectWithFileName(std::string fileName);

    const std::string& fileName() const noexcept { return fileName_; }
    // An entry of the root dictionary.
    std::optional<PbxItem> itemForKey(std::string_view key) const;
    const std::optional<PbxItem>& rootItem() const noexcept { return rootItem_; }

    // Checks and parses the file; false when it is not a UTF-8 project file of at most 4 MiB.
    bool parse();
    // Parses a preprocessed body; the root must be a dictionary.
    bool parsePreprocessedBodyString(std::u16string_view text);

    // The item grammar, for tests and fuzzing: parses one preprocessed body into a Value.
    static std::optional<Value> parseBody(std::u16string_view text);

private:
    explicit PbxProject(std::string fileName) : fileName_(std::move(fileName)) { }
    template <class T, class... Args>
    friend Ref<T> makeRef(Args&&...);
    std::string fileName_;
    std::optional<PbxItem> rootItem_;
};

} // namespace vistel
