#pragma once
// Cuts link values out of a page as a plain text scanner, not an HTML parser: href= inside
// <base, <a, <area, <link; src= anywhere; value= inside <param; url= anywhere. A value starts after
// an opening quote that comes before the next ">" and "=", and ends at the next quote, ">" or blank.
//   <A HREF="Pic.html">  -> "Pic.html"      <img src=pic.gif>  -> "pic.gif"
//   "my file.html"       -> "my"            <p href="x">       -> nothing
// Each search resumes where the last one ended and remembers where the next of each attribute
// and delimiter lies, so a page is cut in time linear in its length.

#include <QString>
#include <array>
#include <optional>

struct CutLink {
    QString value;
    bool isBase = false; // the href of a base tag
    qsizetype at = 0; // where the value starts in the text
};

class LinkCutter {
public:
    explicit LinkCutter(const QString& text);
    // The next value, or nullopt at the end of the text.
    std::optional<CutLink> next();

private:
    // Position of the next occurrence of needle at or after from, cached per needle.
    qsizetype nextOf(int slot, QStringView needle, qsizetype from);
    qsizetype nextDelimiter(int slot, qsizetype from);
    bool tagQualifies(QStringView tag, qsizetype position) const;

    QString m_text;
    QString m_lower;
    qsizetype m_floor = 0; // start of the text not consumed yet
    std::array<qsizetype, 10> m_cache;
};
