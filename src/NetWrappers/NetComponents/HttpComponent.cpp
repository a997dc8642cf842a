#include "NetWrappers/NetComponents/ComponentModel.h"

namespace netcomponents {

std::unique_ptr<Backend> makeHttpBackend(Component&)
{
    return nullptr;
}

} // namespace netcomponents
