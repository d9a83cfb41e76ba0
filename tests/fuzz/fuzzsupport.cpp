#include "fuzzsupport.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <memory>

using namespace Qt::StringLiterals;

void FuzzFail(const char* condition, const QString& detail)
{
    std::fprintf(stderr, "check failed: %s\n  %s\n", condition, detail.toUtf8().constData());
    std::abort();
}

QString Utf16Text(const std::string& bytes)
{
    QString text;
    text.reserve(qsizetype(bytes.size() / 2));
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        text += QChar(char16_t(uint8_t(bytes[i]) | uint8_t(bytes[i + 1]) << 8));
    return text;
}

QString Utf8Text(const std::string& bytes)
{
    return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
}

QString FuzzedText(FuzzedDataProvider& data, size_t maxBytes)
{
    const bool wide = data.ConsumeBool();
    const std::string bytes = data.ConsumeRandomLengthString(maxBytes);
    return wide ? Utf16Text(bytes) : Utf8Text(bytes);
}

QString ScratchDir()
{
    // Held until exit: libFuzzer ends the process with exit(), which runs static destructors.
    // In memory where the system offers it: the file targets then run several times faster.
    static const std::unique_ptr<QTemporaryDir> dir = QFileInfo(u"/dev/shm"_s).isWritable()
        ? std::make_unique<QTemporaryDir>(u"/dev/shm/fetchwright-fuzz-XXXXXX"_s)
        : std::make_unique<QTemporaryDir>();
    if (!dir->isValid()) {
        std::fprintf(stderr, "no scratch folder\n");
        std::abort();
    }
    return dir->path();
}

void EmptyFolder(const QString& folder)
{
    QDir dir(folder);
    if (dir.exists())
        dir.removeRecursively();
    QDir().mkpath(folder);
}

QByteArray StrictPercentDecode(const QByteArray& text)
{
    const auto hex = [](char c) {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    QByteArray decoded;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hex(text[i + 1]) >= 0 && hex(text[i + 2]) >= 0) {
            decoded += char(hex(text[i + 1]) * 16 + hex(text[i + 2]));
            i += 2;
        } else {
            decoded += text[i];
        }
    }
    return decoded;
}
