#pragma once
// IndexSet: a set of unsigned indexes kept as sorted, disjoint, non-adjacent ranges, so that
// "everything from 10 to 20,000" costs one range. A plain value (copy it freely); any thread,
// but one object is not locked.
//
// NSNotFound (0x7FFFFFFF) is the "no index" answer of firstIndex()/lastIndex() on an empty set
// and the "no index" value callers store; it is an ordinary member when added.
//
// IndexSetObject boxes a set as an Object so that it can travel inside a Value (notification
// user info).

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "Platform/Object.h"

namespace vistel {

inline constexpr std::uint64_t NSNotFound = 0x7FFFFFFF;

class IndexSet {
public:
    struct Range {
        std::uint64_t location = 0;
        std::uint64_t length = 0;
        std::uint64_t end() const { return location + length; } // one past the last
        friend bool operator==(const Range&, const Range&) = default;
    };

    IndexSet() = default;
    explicit IndexSet(std::uint64_t index) { addIndex(index); }
    IndexSet(std::initializer_list<std::uint64_t> indexes);
    static IndexSet withRange(std::uint64_t location, std::uint64_t length);

    void addIndex(std::uint64_t index) { addRange(index, 1); }
    void addRange(std::uint64_t location, std::uint64_t length);
    void addIndexes(const IndexSet& other);
    void removeIndex(std::uint64_t index) { removeRange(index, 1); }
    void removeRange(std::uint64_t location, std::uint64_t length);
    void removeAllIndexes() { ranges_.clear(); }

    bool containsIndex(std::uint64_t index) const;
    bool empty() const { return ranges_.empty(); }
    std::uint64_t count() const;
    // NSNotFound when empty.
    std::uint64_t firstIndex() const;
    std::uint64_t lastIndex() const;
    // The smallest member above `index`, NSNotFound when none.
    std::uint64_t indexGreaterThanIndex(std::uint64_t index) const;

    const std::vector<Range>& ranges() const { return ranges_; }
    std::vector<std::uint64_t> indexes() const;
    // Calls `fn` for each index in ascending order until it answers false.
    void enumerate(const std::function<bool(std::uint64_t)>& fn) const;
    // The members that are also in `other`.
    IndexSet intersection(const IndexSet& other) const;

    std::string description() const; // "{0-2, 5}"

    friend bool operator==(const IndexSet&, const IndexSet&) = default;

private:
    std::vector<Range> ranges_;
};

class IndexSetObject : public Object {
public:
    static Ref<IndexSetObject> create(IndexSet set) { return Ref<IndexSetObject>::adopt(new IndexSetObject(std::move(set))); }
    const IndexSet& indexSet() const { return set_; }

private:
    explicit IndexSetObject(IndexSet set) : set_(std::move(set)) { }
    IndexSet set_;
};

} // namespace vistel
