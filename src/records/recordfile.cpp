#include "records/recordfile.h"

#include "platform/codepage.h"
#include "records/recordline.h"

#include <QFile>

QByteArray EncodeRecordLines(const QStringList& lines)
{
    QByteArray bytes;
    for (const QString& line : lines) {
        bytes += EncodeCodePage(line, RecordCharacterReference);
        bytes += "\r\n";
    }
    return bytes;
}

QStringList DecodeRecordLines(const QByteArray& bytes)
{
    QStringList lines;
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', start);
        const bool lastLine = end < 0;
        if (lastLine)
            end = bytes.size();
        qsizetype length = end - start;
        if (length > 0 && bytes[end - 1] == '\r')
            --length;
        lines.append(DecodeCodePage(QByteArrayView(bytes).sliced(start, length)));
        start = end + 1;
    }
    return lines;
}

std::optional<QStringList> ReadRecordLines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return DecodeRecordLines(file.readAll());
}

std::optional<QStringList> ReadFirstRecordLines(const QString& path, qsizetype count)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray bytes;
    for (qsizetype i = 0; i < count && !file.atEnd(); ++i)
        bytes += file.readLine();
    return DecodeRecordLines(bytes);
}

IoStatus AppendRecordLines(const QString& path, const QStringList& lines)
{
    return AppendToFile(path, EncodeRecordLines(lines));
}

IoStatus AppendRecordLines(AppendFiles& files, const QString& path, const QStringList& lines)
{
    return files.append(path, EncodeRecordLines(lines));
}

IoStatus ReplaceRecordFile(const QString& path, const QStringList& lines, FileAccess access)
{
    return ReplaceFileAtomically(path, EncodeRecordLines(lines), access);
}
