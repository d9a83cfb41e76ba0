#include "records/recordline.h"

using namespace Qt::StringLiterals;

QString RecordCharacterReference(char32_t codePoint)
{
    return u"&#x"_s + QString::number(uint(codePoint), 16).toUpper() + u';';
}

namespace {

// Copies the runs between the characters that need a reference whole: a line is written for every
// record taken and every link found.
void appendEscaped(QString& out, QStringView field)
{
    qsizetype plain = 0;
    for (qsizetype i = 0; i < field.size(); ++i) {
        const QChar c = field[i];
        if (c != u'"' && c != u'\r' && c != u'\n' && !(c == u'&' && field.mid(i + 1, 2) == u"#x"))
            continue;
        out += field.mid(plain, i - plain);
        out += RecordCharacterReference(c.unicode());
        plain = i + 1;
    }
    out += field.mid(plain);
}

} // namespace

QString EscapeRecordField(const QString& field)
{
    QString escaped;
    escaped.reserve(field.size());
    appendEscaped(escaped, field);
    return escaped;
}

QString UnescapeRecordField(const QString& field)
{
    if (!field.contains(u"&#x"))
        return field;
    QString text;
    text.reserve(field.size());
    qsizetype i = 0;
    while (i < field.size()) {
        if (field[i] == u'&' && QStringView(field).mid(i + 1, 2) == u"#x") {
            const qsizetype end = field.indexOf(u';', i + 3);
            if (end > i + 3 && end - i - 3 <= 6) {
                bool ok = false;
                const uint point = QStringView(field).mid(i + 3, end - i - 3).toUInt(&ok, 16);
                if (ok && point <= 0x10FFFF) {
                    // Unit by unit: a surrogate's reference stands for a lone surrogate the code
                    // page could not carry, and fromUcs4 would drop U+FEFF as a byte-order mark.
                    text += QChar::fromUcs4(char32_t(point));
                    i = end + 1;
                    continue;
                }
            }
        }
        text += field[i];
        ++i;
    }
    return text;
}

QString JoinRecordLine(const QStringList& fields)
{
    qsizetype size = 2 + fields.size() * RecordSeparator.size();
    for (const QString& field : fields)
        size += field.size();
    QString line;
    line.reserve(size);
    line += u'"';
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            line += RecordSeparator;
        appendEscaped(line, fields[i]);
    }
    line += u'"';
    return line;
}

QStringList SplitRecordLine(const QString& line)
{
    // The outer quotes go first: split with them on, the line of the single field "," would be
    // taken for the separator itself.
    QStringView inner(line);
    if (!inner.isEmpty())
        inner = inner.sliced(1);
    if (!inner.isEmpty())
        inner.chop(1);
    QStringList fields;
    for (const QStringView field : inner.split(RecordSeparator))
        fields.append(UnescapeRecordField(field.toString()));
    return fields;
}
