#pragma once
// Where an object belongs in an array sorted ascending: the index at which inserting it keeps
// the array sorted, after every element that compares as the same (an upper bound).
//
// Two forms, as the program has always had them:
//   insertPositionWithFunction(array, object, function, context): function(object, element,
//       context) answers Ascending (object before element), Same or Descending;
//   insertPositionWithSelector(array, object, selector): the same comparison asked of the
//       object itself through a member function, object->*selector(element).
// Parameter errors raise the generic exception with "PARAM ERROR: ..." texts: a null object or
// a null element met while comparing ("nil object in array"), no comparison function
// ("null comparator"). An object that lacks the comparison member cannot be written in C++,
// so "PARAM ERROR: unknown method" has no run-time case here.

#include <cstddef>
#include <cstdint>
#include <span>
#include <type_traits>
#include <vector>

#include "Platform/Exception.h"

namespace vistel {

namespace NSArrayInsertion {

enum class ComparisonResult : std::int8_t { Ascending = -1, Same = 0, Descending = 1 };

namespace detail {

template <class E>
void checkNotNull(const E& value)
{
    if constexpr (std::is_pointer_v<E>)
        ZOV_ASSERT(value != nullptr, "PARAM ERROR: nil object in array");
}

// The search itself: `compare(element)` answers how the object compares with the element.
template <class E, class Compare>
std::size_t insertPosition(std::span<const E> array, Compare compare)
{
    std::size_t low = 0;
    std::size_t high = array.size();
    while (low < high) {
        const std::size_t probe = (low + high) / 2;
        const ComparisonResult result = compare(array[probe]);
        if (result == ComparisonResult::Ascending) { // the element is greater than the object
            high = probe;
        } else if (result == ComparisonResult::Descending) {
            low = probe + 1;
        } else {
            low = probe;
            break;
        }
    }
    // Past every element that is not greater than the object.
    while (low < array.size() && compare(array[low]) != ComparisonResult::Ascending)
        ++low;
    return low;
}

} // namespace detail

template <class E>
using InsertionFunction = ComparisonResult (*)(const E& object, const E& element, void* context);

template <class E>
std::size_t insertPositionWithFunction(std::span<const E> array, const E& object,
                                       InsertionFunction<E> function, void* context)
{
    detail::checkNotNull(object);
    ZOV_ASSERT(function != nullptr, "PARAM ERROR: null comparator");
    return detail::insertPosition<E>(array, [&](const E& element) {
        detail::checkNotNull(element);
        return function(object, element, context);
    });
}

template <class E>
std::size_t insertPositionWithFunction(const std::vector<E>& array, const E& object,
                                       InsertionFunction<E> function, void* context)
{
    return insertPositionWithFunction(std::span<const E>(array), object, function, context);
}

// `selector` is a member of the object's class comparing the object with an element.
template <class T>
using InsertionSelector = ComparisonResult (T::*)(const T* element) const;

template <class T>
std::size_t insertPositionWithSelector(std::span<T* const> array, const T* object,
                                       InsertionSelector<T> selector)
{
    detail::checkNotNull(object);
    ZOV_ASSERT(selector != nullptr, "PARAM ERROR: null comparator");
    return detail::insertPosition<T*>(array, [&](T* element) {
        detail::checkNotNull(element);
        return (object->*selector)(element);
    });
}

template <class T>
std::size_t insertPositionWithSelector(const std::vector<T*>& array, const T* object,
                                       InsertionSelector<T> selector)
{
    return insertPositionWithSelector(std::span<T* const>(array), object, selector);
}

} // namespace NSArrayInsertion
} // namespace vistel
