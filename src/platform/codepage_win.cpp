// The code page's exact conversions over Windows' own code page 932; src/CMakeLists.txt names this
// variant for Windows, and codepage.cpp holds the rules built on them.
#include "platform/codepage.h"

#include <windows.h>

namespace {

constexpr UINT CodePage932 = 932;

const wchar_t* wide(QStringView text)
{
    return reinterpret_cast<const wchar_t*>(text.utf16());
}

// The bytes of text when every character has a code of its own (no best fit, no default character).
std::optional<QByteArray> encodeExactly(QStringView text)
{
    if (text.isEmpty())
        return QByteArray();
    BOOL usedDefault = FALSE;
    const int size = WideCharToMultiByte(
        CodePage932, WC_NO_BEST_FIT_CHARS, wide(text), int(text.size()), nullptr, 0, nullptr, &usedDefault);
    if (size <= 0 || usedDefault)
        return std::nullopt;
    QByteArray bytes(size, Qt::Uninitialized);
    WideCharToMultiByte(
        CodePage932, WC_NO_BEST_FIT_CHARS, wide(text), int(text.size()), bytes.data(), size, nullptr, &usedDefault);
    if (usedDefault)
        return std::nullopt;
    return bytes;
}

} // namespace

std::optional<QByteArray> EncodeCodePageExactly(QStringView text)
{
    const std::optional<QByteArray> bytes = encodeExactly(text);
    if (!bytes)
        return std::nullopt;
    const std::optional<QString> back = DecodeCodePageExactly(*bytes);
    if (!back || *back != text)
        return std::nullopt;
    return bytes;
}

std::optional<QString> DecodeCodePageExactly(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return QString();
    const int size
        = MultiByteToWideChar(CodePage932, MB_ERR_INVALID_CHARS, bytes.data(), int(bytes.size()), nullptr, 0);
    if (size <= 0)
        return std::nullopt;
    QString text(size, Qt::Uninitialized);
    MultiByteToWideChar(CodePage932, MB_ERR_INVALID_CHARS, bytes.data(), int(bytes.size()),
        reinterpret_cast<wchar_t*>(text.data()), size);
    return text;
}

QString DecodeEucJp(QByteArrayView bytes)
{
    constexpr UINT EucJp = 20932;
    if (bytes.isEmpty())
        return QString();
    // Exactly where every byte is defined; else each undefined one becomes the system's default.
    DWORD flags = MB_ERR_INVALID_CHARS;
    int size = MultiByteToWideChar(EucJp, flags, bytes.data(), int(bytes.size()), nullptr, 0);
    if (size <= 0) {
        flags = 0;
        size = MultiByteToWideChar(EucJp, flags, bytes.data(), int(bytes.size()), nullptr, 0);
    }
    if (size <= 0)
        return QString(bytes.size(), QChar(QChar::ReplacementCharacter));
    QString text(size, Qt::Uninitialized);
    MultiByteToWideChar(EucJp, flags, bytes.data(), int(bytes.size()), reinterpret_cast<wchar_t*>(text.data()), size);
    return text;
}
