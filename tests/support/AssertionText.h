#pragma once
// The text of the assertion a call raises.

#include "Platform/Exception.h"

#include <string>

namespace vistel::test {

// The text of the assertion `call` raises, or "(no assertion)".
template <class F>
std::string assertionText(F&& call)
{
    try {
        call();
    } catch (const Exception& e) {
        return e.reason();
    }
    return "(no assertion)";
}

} // namespace vistel::test
