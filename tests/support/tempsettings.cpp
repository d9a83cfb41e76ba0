#include "support/tempsettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

#ifdef Q_OS_WIN
#include <windows.h>

#include <aclapi.h>
#include <string>
#endif

TempSettings::TempSettings()
    : m_store(std::make_unique<SettingsStore>(m_dir.filePath(QStringLiteral("Quillmark/Fetchwright.conf"))))
{
}

QByteArray ReadFileBytes(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

bool WriteFileBytes(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(bytes) == bytes.size();
}

bool IsOwnerOnly(const QString& path)
{
#ifdef Q_OS_WIN
    // Windows has no permission bits: the file's access list must name the user alone and inherit
    // nothing from its folder.
    PACL list = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    std::wstring name = QDir::toNativeSeparators(path).toStdWString();
    if (GetNamedSecurityInfoW(
            name.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &list, nullptr, &descriptor)
        != ERROR_SUCCESS)
        return false;
    const auto release = qScopeGuard([descriptor] { LocalFree(descriptor); });
    void* entry = nullptr;
    if (!list || list->AceCount != 1 || !GetAce(list, 0, &entry))
        return false;
    HANDLE token = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
    char user[256];
    DWORD size = sizeof user;
    const bool known = GetTokenInformation(token, TokenUser, user, size, &size);
    CloseHandle(token);
    const auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
    return known && allowed->Header.AceType == ACCESS_ALLOWED_ACE_TYPE
        && EqualSid(const_cast<DWORD*>(&allowed->SidStart), reinterpret_cast<TOKEN_USER*>(user)->User.Sid)
        && QFileInfo(path).isFile();
#else
    const QFileInfo info(path);
    constexpr QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup
        | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    return info.isFile() && (info.permissions() & QFileDevice::ReadOwner) && !(info.permissions() & others);
#endif
}

bool AccessListsAreKept()
{
#ifdef Q_OS_WIN
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") == nullptr;
#else
    return true;
#endif
}
