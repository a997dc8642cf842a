#include "Common/Layout/ZovSizePolicy.h"

#include <algorithm>

#include "Platform/Exception.h"

namespace vistel {

ZovSizePolicy MakeNullSizePolicy() noexcept
{
    return {0, 0, 0, ZovSizePolicyNull};
}

ZovSizePolicy MakeFixedSizePolicy(float size) noexcept
{
    const float s = std::max(0.0f, size);
    return {s, s, s, ZovSizePolicyFixed};
}

ZovSizePolicy MakeExpandingSizePolicy(float minSize, float maxSize) noexcept
{
    const float m = std::max(0.0f, minSize);
    const float M = maxSize < 0 ? ZovSizeUnbounded : std::max(m, maxSize);
    return {m, M, 0, ZovSizePolicyExpanding};
}

ZovSizePolicy MakePreferredSizePolicy(float preferredSize, float minSize, float maxSize) noexcept
{
    const float m = std::max(0.0f, minSize);
    const float M = maxSize < 0 ? ZovSizeUnbounded : std::max(m, maxSize);
    float p;
    if (m > preferredSize)
        p = m;
    else if (M == ZovSizeUnbounded)
        p = preferredSize;
    else
        p = std::min(M, preferredSize);
    return {m, M, p, ZovSizePolicyPreferred};
}

ZovSizePolicy MakeHiddenSizePolicy() noexcept
{
    return {0, 0, 0, ZovSizePolicyFixed};
}

ZovSizePolicy SizePolicyWithoutMargins(const ZovSizePolicy& a, const ZovSizePolicy& b) noexcept
{
    ZovSizePolicy result;
    result.minSize = std::max(0.0f, a.minSize - b.minSize);
    result.preferredSize = std::max(result.minSize, a.preferredSize - b.preferredSize);
    if (a.maxSize == ZovSizeUnbounded) {
        result.maxSize = ZovSizeUnbounded;
    } else {
        const float bMax = b.maxSize == ZovSizeUnbounded ? 0.0f : b.maxSize;
        result.maxSize = std::max(result.preferredSize, a.maxSize - bMax);
    }
    if (a.policy == ZovSizePolicyExpanding)
        result.policy = ZovSizePolicyExpanding;
    else
        result.policy = result.minSize == result.maxSize ? ZovSizePolicyFixed : ZovSizePolicyPreferred;
    return result;
}

ZovSizePolicy CombineSizePoliciesAcross(std::span<const ZovSizePolicy> policies) noexcept
{
    if (policies.empty())
        return MakePreferredSizePolicy(0, 0, -1);
    if (policies.size() == 1)
        return policies[0];
    ZovSizePolicy result;
    result.minSize = policies[0].minSize;
    result.preferredSize = policies[0].preferredSize;
    result.maxSize = policies[0].maxSize;
    bool unbounded = false;
    bool expanding = false;
    for (const ZovSizePolicy& p : policies) {
        result.minSize = std::max(result.minSize, p.minSize);
        result.preferredSize = std::max(result.preferredSize, p.preferredSize);
        result.maxSize = std::max(result.maxSize, p.maxSize);
        unbounded = unbounded || p.maxSize == ZovSizeUnbounded;
        expanding = expanding || p.policy == ZovSizePolicyExpanding;
    }
    if (unbounded)
        result.maxSize = ZovSizeUnbounded;
    else
        result.maxSize = std::max(result.maxSize, result.minSize);
    result.preferredSize = std::max(result.minSize, result.preferredSize);
    if (!unbounded)
        result.preferredSize = std::min(result.preferredSize, result.maxSize);
    result.policy = expanding ? ZovSizePolicyExpanding : ZovSizePolicyPreferred;
    return result;
}

ZovSizePolicy CombineSizePoliciesAlong(std::span<const ZovSizePolicy> policies) noexcept
{
    if (policies.empty())
        return MakePreferredSizePolicy(0, 0, -1);
    if (policies.size() == 1)
        return policies[0];
    ZovSizePolicy result {0, ZovSizeUnbounded, 0, ZovSizePolicyPreferred};
    for (const ZovSizePolicy& p : policies) {
        result.minSize += p.minSize;
        result.preferredSize += p.preferredSize;
        if (p.policy == ZovSizePolicyExpanding)
            result.policy = ZovSizePolicyExpanding;
    }
    return result;
}

namespace {

struct WorkItem {
    float minSize;
    float maxSize;
    float preferredSize;
    std::int32_t policy;
    float weight;
    bool capped;

    bool bounded() const noexcept { return maxSize != ZovSizeUnbounded; }
    float room() const noexcept { return maxSize - minSize; }
};

constexpr float SumMaxUnset = -2.0f;

} // namespace

void DistributeSpace(float space, std::span<const ZovSizePolicy> policies, std::span<ZovSpacePair> out)
{
    const std::size_t n = policies.size();
    ZOV_ASSERT(out.size() >= n, "Index out of range");
    if (n == 0)
        return;

    // Working copy. A kind that is not one of the three real kinds counts as the default
    // policy of a new item, so that every input still gets its pair.
    std::vector<WorkItem> items(n);
    for (std::size_t i = 0; i < n; ++i) {
        ZovSizePolicy p = policies[i];
        if (p.policy != ZovSizePolicyFixed && p.policy != ZovSizePolicyPreferred
            && p.policy != ZovSizePolicyExpanding)
            p = MakePreferredSizePolicy(0, 0, -1);
        items[i] = {p.minSize, p.maxSize, p.preferredSize, p.policy,
                    p.policy == ZovSizePolicyPreferred ? p.preferredSize - p.minSize : 0.0f, false};
    }

    float sumMin = 0;
    float sumMax = SumMaxUnset;
    float W = 0;
    int P = 0;
    int E = 0;
    for (const WorkItem& item : items) {
        sumMin += item.minSize;
        if (sumMax != ZovSizeUnbounded) {
            if (!item.bounded())
                sumMax = ZovSizeUnbounded;
            else
                sumMax = (sumMax == SumMaxUnset ? 0.0f : sumMax) + item.maxSize;
        }
        W += item.weight;
        if (item.policy == ZovSizePolicyPreferred)
            ++P;
        else if (item.policy == ZovSizePolicyExpanding)
            ++E;
    }

    // Too little space: every item at its minimum, neighbours overlapping evenly so that the
    // last one ends exactly at the end of the space.
    if (sumMin >= space) {
        if (sumMin == 0) {
            for (std::size_t i = 0; i < n; ++i)
                out[i] = {0, 0};
            return;
        }
        const float overlap = n == 1 ? 0.0f : (sumMin - space) / static_cast<float>(n - 1);
        float offset = 0;
        for (std::size_t i = 0; i < n; ++i) {
            out[i] = {offset, items[i].minSize};
            offset += items[i].minSize - overlap;
        }
        return;
    }

    // Everything bounded and room to spare: every item at its maximum, the surplus in equal
    // gaps between them.
    if (sumMax != ZovSizeUnbounded && space >= sumMax) {
        const float gap = n == 1 ? 0.0f : (space - sumMax) / static_cast<float>(n - 1);
        float offset = 0;
        for (std::size_t i = 0; i < n; ++i) {
            out[i] = {offset, items[i].maxSize};
            offset += items[i].maxSize + gap;
        }
        return;
    }

    float R = space - sumMin;
    if (W <= R && E > 0) {
        // Expanding items share what is left after every Preferred item got its preferred
        // size; those that reach their maximum are capped and the share is taken again.
        float X = R - W;
        float share = X / static_cast<float>(E);
        bool restart = true;
        while (restart && E > 0) {
            restart = false;
            for (WorkItem& item : items) {
                if (item.policy != ZovSizePolicyExpanding || item.capped || !item.bounded())
                    continue;
                if (share >= item.room()) {
                    item.capped = true;
                    --E;
                    X -= item.room();
                    if (E == 0) {
                        share = 0;
                        break;
                    }
                    share = X / static_cast<float>(E);
                    restart = true;
                    break;
                }
            }
        }
        share = E > 0 ? X / static_cast<float>(E) : 0.0f;
        float offset = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const WorkItem& item = items[i];
            float size;
            if (item.policy == ZovSizePolicyFixed)
                size = item.minSize;
            else if (item.policy == ZovSizePolicyPreferred)
                size = item.preferredSize;
            else
                size = item.capped ? item.maxSize : item.minSize + share;
            out[i] = {offset, size};
            offset += size;
        }
        return;
    }

    // Preferred items share R: in proportion to their weights, or equally when no item has
    // any weight; those that reach their maximum are capped and the shares are taken again.
    // When capping takes the last weight away, the rest is shared equally; that mode gets its
    // own capping walk, or an item could be given more than its maximum.
    bool proportional = W != 0;
    for (;;) {
        auto share = [&](const WorkItem& item) {
            if (proportional)
                return W != 0 ? R / W * item.weight : 0.0f;
            return P > 0 ? R / static_cast<float>(P) : 0.0f;
        };
        bool restart = P > 0;
        while (restart) {
            restart = false;
            for (WorkItem& item : items) {
                if (item.policy != ZovSizePolicyPreferred || item.capped || !item.bounded())
                    continue;
                if (share(item) >= item.room()) {
                    item.capped = true;
                    --P;
                    R -= item.room();
                    // Summed afresh rather than subtracted, so that W is exactly 0 once only
                    // weightless items are left.
                    W = 0;
                    for (const WorkItem& other : items)
                        if (other.policy == ZovSizePolicyPreferred && !other.capped)
                            W += other.weight;
                    restart = P > 0;
                    break;
                }
            }
        }
        const bool proportionalAfter = W != 0;
        if (proportionalAfter == proportional || P == 0)
            break;
        proportional = proportionalAfter;
    }
    proportional = W != 0;
    const float ratio = proportional && P > 0 ? R / W : 0.0f;
    const float per = !proportional && P > 0 ? R / static_cast<float>(P) : 0.0f;
    float offset = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const WorkItem& item = items[i];
        float size;
        if (item.policy == ZovSizePolicyPreferred)
            size = item.capped ? item.maxSize : item.minSize + (proportional ? ratio * item.weight : per);
        else
            size = item.minSize;
        out[i] = {offset, size};
        offset += size;
    }
}

std::vector<ZovSpacePair> DistributeSpace(float space, std::span<const ZovSizePolicy> policies)
{
    std::vector<ZovSpacePair> out(policies.size());
    DistributeSpace(space, policies, out);
    return out;
}

std::string_view SizePolicyKindName(std::int32_t kind) noexcept
{
    switch (kind) {
    case ZovSizePolicyNull: return "NULL";
    case ZovSizePolicyFixed: return "Fixed";
    case ZovSizePolicyPreferred: return "Preferred";
    case ZovSizePolicyExpanding: return "Expanding";
    default: return "ERROR";
    }
}

} // namespace vistel
