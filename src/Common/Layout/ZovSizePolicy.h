#pragma once
// Size policies and the division of a length among a row of them.
//
// Every layout item says how much room it wants along one axis with a ZovSizePolicy: a
// minimum, a maximum (exactly -1 = unbounded), a preferred size and a kind. Fixed items get
// their minimum, Preferred items grow from their minimum towards their preferred size and
// beyond, Expanding items take what is left. Kind 0 is the answer of a delegate that has no
// policy to give; its sizes mean nothing.
//
// All functions here are stateless value functions. Build policies with the makers: they
// keep minima non-negative, turn any negative maximum into -1 and keep the preferred size
// between minimum and maximum, which DistributeSpace relies on for its guarantees.

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace vistel {

enum : std::int32_t {
    ZovSizePolicyNull = 0,
    ZovSizePolicyFixed = 1,
    ZovSizePolicyPreferred = 2,
    ZovSizePolicyExpanding = 3,
};

// The one value that means "no maximum".
inline constexpr float ZovSizeUnbounded = -1.0f;

struct ZovSizePolicy {
    float minSize = 0;
    float maxSize = ZovSizeUnbounded;
    float preferredSize = 0;
    std::int32_t policy = ZovSizePolicyPreferred;

    bool isUnbounded() const noexcept { return maxSize == ZovSizeUnbounded; }
    friend bool operator==(const ZovSizePolicy&, const ZovSizePolicy&) = default;
};

// One result of DistributeSpace: where an item starts along the length, and how long it is.
struct ZovSpacePair {
    float offset = 0;
    float size = 0;
    friend bool operator==(const ZovSpacePair&, const ZovSpacePair&) = default;
};

ZovSizePolicy MakeNullSizePolicy() noexcept;
ZovSizePolicy MakeFixedSizePolicy(float size) noexcept;
ZovSizePolicy MakeExpandingSizePolicy(float minSize, float maxSize) noexcept;
// Argument order: preferred, minimum, maximum.
ZovSizePolicy MakePreferredSizePolicy(float preferredSize, float minSize, float maxSize) noexcept;
// {0, 0, 0, Fixed}: what a hidden dock area counts as.
ZovSizePolicy MakeHiddenSizePolicy() noexcept;

// What remains of `a` when `b` is taken from it.
ZovSizePolicy SizePolicyWithoutMargins(const ZovSizePolicy& a, const ZovSizePolicy& b) noexcept;
// The policy of items that lie side by side across the axis.
ZovSizePolicy CombineSizePoliciesAcross(std::span<const ZovSizePolicy> policies) noexcept;
// The policy of items that follow each other along the axis.
ZovSizePolicy CombineSizePoliciesAlong(std::span<const ZovSizePolicy> policies) noexcept;

// Divides `space` among the policies and writes one {offset, size} pair per policy into `out`
// (which must hold at least as many pairs). A kind-0 policy, or any unknown kind, counts as
// the default MakePreferredSizePolicy(0, 0, -1) and still gets its pair.
void DistributeSpace(float space, std::span<const ZovSizePolicy> policies, std::span<ZovSpacePair> out);
std::vector<ZovSpacePair> DistributeSpace(float space, std::span<const ZovSizePolicy> policies);

// "NULL", "Fixed", "Preferred", "Expanding", or "ERROR" for any other value.
std::string_view SizePolicyKindName(std::int32_t kind) noexcept;

} // namespace vistel
