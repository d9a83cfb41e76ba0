#pragma once
// The record line: fields in double quotes joined by "," with no blanks, split again at every
// three-character sequence double quote, comma, double quote.
// A field cannot carry a double quote, CR, LF or a character outside the code page as it is, so
// those are written as the reference "&#x<hex>;", and a literal "&#x" is written "&#x26;#x";
// the readers undo exactly that, so what is written reads back identically:
//   JoinRecordLine({u"a\"b", u"c"})  ->  "\"a&#x22;b\",\"c\""
// Text without those characters is written as it is, so ordinary records stay readable.

#include <QString>
#include <QStringList>

inline const QString RecordSeparator = QStringLiteral("\",\"");

QString EscapeRecordField(const QString& field);
QString UnescapeRecordField(const QString& field);
// The "&#x<hex>;" reference for one code point.
QString RecordCharacterReference(char32_t codePoint);

QString JoinRecordLine(const QStringList& fields);
// Removes the line's first and last character (its outer quotes), splits at the separator and
// unescapes every field. An empty line gives one empty field.
QStringList SplitRecordLine(const QString& line);
