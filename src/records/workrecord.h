#pragma once
// One record of the crawl's queue (the work lists) and of a page's link list: 11 fields on one
// line. A link found on a page is queued with its address, depth and referrer chain and the
// headers its probe returned; the directory address and site root are filled again when the
// record is taken. Only toFields and fromFields know the field order.
//   WorkRecord r;  r.address = u"http://h/a.gif"_s;  r.depth = u"1"_s;
//   WriteWorkRecord(files, listPath, r, false);
//   // appends "http://h/a.gif","","","","","1","","","","","" (every field quoted, empty ones too)

#include <QString>
#include <QStringList>

struct WorkRecord {
    QString address; // 0
    QString pageText; // 1: kept empty, written for the line's shape
    QString lowerPageText; // 2: kept empty, written for the line's shape
    QString directoryAddress; // 3: the address's directory, as the base of relative links
    QString siteRoot; // 4: scheme://host/ the file is filed under
    // 5: the depth of the page the link was found on, as written; texts are kept as read so a
    // record copied from one list to another stays byte for byte.
    QString depth;
    QString referrerChain; // 6: TAB-separated addresses from the top address down to this one
    QString contentType; // 7: lower-cased, from the link check
    QString contentLength; // 8: from the link check, "-1" when none was given
    QString entityTag; // 9
    QString acceptRanges; // 10: lower-cased

    static constexpr qsizetype FieldCount = 11;

    bool operator==(const WorkRecord&) const = default;

    QStringList toFields() const;
    // Missing fields read as empty, fields beyond the eleventh are ignored.
    static WorkRecord fromFields(const QStringList& fields);

    // The depth as a number (0 when it is not one), as the crawl reads it.
    qint16 depthNumber() const { return qint16(depth.toInt()); }
};
