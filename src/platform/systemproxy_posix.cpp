#include "platform/systemproxy.h"

std::optional<SystemProxy> UserSystemProxy()
{
    return std::nullopt;
}
