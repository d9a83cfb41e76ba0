#include "platform/systemproxy.h"

#include <windows.h>
#include <winhttp.h>

namespace {

// A string WinHTTP allocated, freed once copied.
QString taken(LPWSTR text)
{
    if (!text)
        return {};
    const QString copy = QString::fromWCharArray(text);
    GlobalFree(text);
    return copy;
}

} // namespace

std::optional<SystemProxy> UserSystemProxy()
{
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config {};
    if (!WinHttpGetIEProxyConfigForCurrentUser(&config))
        return std::nullopt;
    // Detecting the proxy on the network (fAutoDetect) is on by default and finds none on most
    // networks, where browsers then go direct too; it is not tried.
    return SystemProxy { taken(config.lpszProxy), taken(config.lpszProxyBypass), taken(config.lpszAutoConfigUrl) };
}
