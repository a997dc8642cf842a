#include "Platform/IndexSet.h"

#include <algorithm>

namespace vistel {

IndexSet::IndexSet(std::initializer_list<std::uint64_t> indexes)
{
    for (std::uint64_t index : indexes)
        addIndex(index);
}

IndexSet IndexSet::withRange(std::uint64_t location, std::uint64_t length)
{
    IndexSet set;
    set.addRange(location, length);
    return set;
}

void IndexSet::addRange(std::uint64_t location, std::uint64_t length)
{
    if (length == 0)
        return;
    Range added {location, length};
    // First range that ends at or after the new start (touching ranges merge).
    auto first = std::lower_bound(ranges_.begin(), ranges_.end(), added.location,
                                  [](const Range& r, std::uint64_t at) { return r.end() < at; });
    auto last = first;
    std::uint64_t begin = added.location;
    std::uint64_t end = added.end();
    while (last != ranges_.end() && last->location <= end) {
        begin = std::min(begin, last->location);
        end = std::max(end, last->end());
        ++last;
    }
    first = ranges_.erase(first, last);
    ranges_.insert(first, Range {begin, end - begin});
}

void IndexSet::addIndexes(const IndexSet& other)
{
    for (const Range& r : other.ranges_)
        addRange(r.location, r.length);
}

void IndexSet::removeRange(std::uint64_t location, std::uint64_t length)
{
    if (length == 0)
        return;
    const std::uint64_t end = location + length;
    std::vector<Range> kept;
    kept.reserve(ranges_.size() + 1);
    for (const Range& r : ranges_) {
        if (r.end() <= location || r.location >= end) {
            kept.push_back(r);
            continue;
        }
        if (r.location < location)
            kept.push_back({r.location, location - r.location});
        if (r.end() > end)
            kept.push_back({end, r.end() - end});
    }
    ranges_ = std::move(kept);
}

bool IndexSet::containsIndex(std::uint64_t index) const
{
    auto it = std::upper_bound(ranges_.begin(), ranges_.end(), index,
                               [](std::uint64_t at, const Range& r) { return at < r.location; });
    if (it == ranges_.begin())
        return false;
    --it;
    return index < it->end();
}

std::uint64_t IndexSet::count() const
{
    std::uint64_t total = 0;
    for (const Range& r : ranges_)
        total += r.length;
    return total;
}

std::uint64_t IndexSet::firstIndex() const
{
    return ranges_.empty() ? NSNotFound : ranges_.front().location;
}

std::uint64_t IndexSet::lastIndex() const
{
    return ranges_.empty() ? NSNotFound : ranges_.back().end() - 1;
}

std::uint64_t IndexSet::indexGreaterThanIndex(std::uint64_t index) const
{
    for (const Range& r : ranges_) {
        if (r.end() - 1 <= index)
            continue;
        return std::max(r.location, index + 1);
    }
    return NSNotFound;
}

std::vector<std::uint64_t> IndexSet::indexes() const
{
    std::vector<std::uint64_t> out;
    enumerate([&](std::uint64_t i) {
        out.push_back(i);
        return true;
    });
    return out;
}

void IndexSet::enumerate(const std::function<bool(std::uint64_t)>& fn) const
{
    for (const Range& r : ranges_)
        for (std::uint64_t i = r.location; i < r.end(); ++i)
            if (!fn(i))
                return;
}

IndexSet IndexSet::intersection(const IndexSet& other) const
{
    IndexSet out;
    auto a = ranges_.begin();
    auto b = other.ranges_.begin();
    while (a != ranges_.end() && b != other.ranges_.end()) {
        const std::uint64_t begin = std::max(a->location, b->location);
        const std::uint64_t end = std::min(a->end(), b->end());
        if (begin < end)
            out.ranges_.push_back({begin, end - begin});
        if (a->end() < b->end())
            ++a;
        else
            ++b;
    }
    return out;
}

std::string IndexSet::description() const
{
    std::string text = "{";
    for (std::size_t i = 0; i < ranges_.size(); ++i) {
        if (i)
            text += ", ";
        text += std::to_string(ranges_[i].location);
        if (ranges_[i].length > 1)
            text += "-" + std::to_string(ranges_[i].end() - 1);
    }
    return text + "}";
}

} // namespace vistel
