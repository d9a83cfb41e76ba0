#pragma once
// What a site's sitemap lists, read as the sitemap protocol (sitemaps.org) writes it: the pages of a
// <urlset>, or, for a <sitemapindex>, the sitemaps it names; plain XML or gzip (.xml.gz). No more is
// read than the protocol allows one sitemap: 50,000 addresses and 50 MB unpacked.
//   ReadSitemap("<urlset><url><loc>https://h/a.html</loc></url></urlset>")
//     -> { isIndex false, addresses { "https://h/a.html" } }

#include "codec/gzipreader.h"

#include <QByteArrayView>
#include <QStringList>

#include <memory>

inline constexpr qsizetype MostSitemapAddresses = 50000;
inline constexpr qsizetype MostSitemapBytes = 50 * 1024 * 1024;

struct Sitemap {
    bool isIndex = false; // it names sitemaps rather than pages
    QStringList addresses; // the absolute http and https addresses of its <loc> elements, in order
    bool cut = false; // it held more than the protocol allows; the rest was left out
    bool wellFormed = true; // false: not a sitemap, or broken where reading stopped
};

// Reads a sitemap as its bytes arrive, so a large one is never held whole. Its own small reader of
// XML, in one pass over the bytes in constant memory: a general XML reader fed piece by piece
// reads a long comment or text again with every piece, which a hostile sitemap of 50 MB turns into
// minutes. It takes what a sitemap needs (elements, comments, CDATA, the predefined and numeric
// character references) and tolerates the rest.
class SitemapReader {
public:
    // False once it wants no more bytes: a bound is reached, or it is no sitemap.
    bool add(QByteArrayView bytes);
    // What it read, once the bytes have ended.
    Sitemap finish();

private:
    enum class Markup { Text, Open, Bang, Comment, CData, Instruction, Declaration, StartName, EndName, Attributes };

    bool addWithin(QByteArrayView bytes);
    bool addPlain(QByteArrayView bytes);
    bool step(char byte);
    bool tagEnd();
    bool startElement(bool empty);
    bool endElement();
    void addText(char byte);
    bool takeLocation();

    Sitemap m_sitemap;
    std::unique_ptr<GzipReader> m_gzip; // set by the first bytes when they are gzip's
    QByteArray m_head; // the first bytes, until there are enough to tell gzip
    bool m_started = false;
    bool m_done = false; // nothing more is read
    qsizetype m_plainBytes = 0;
    qsizetype m_packedBytes = 0; // as they came, packed or not

    Markup m_markup = Markup::Text;
    QByteArray m_name; // of the element being opened or closed, its first bytes
    bool m_startTag = false; // the tag being read opens an element
    bool m_emptyTag = false; // its last byte before ">" is "/"
    char m_quote = 0; // the quote an attribute value is in
    char m_last = 0; // the bytes before the one being read
    char m_lastButOne = 0;
    int m_brackets = 0; // "]" of CDATA held back
    int m_nesting = 0; // "[" of a declaration's internal subset
    int m_depth = 0;
    bool m_rootSeen = false;
    bool m_inEntry = false;
    QByteArray m_entry; // the element of one entry: url, or sitemap in an index
    bool m_inLocation = false;
    QByteArray m_location; // its bytes, character references decoded
    QByteArray m_reference; // a character reference being read, from its "&"
    bool m_locationTooLong = false;
};

Sitemap ReadSitemap(QByteArrayView bytes);
