// A sitemap from a hostile server, plain or gzip: its addresses are all absolute http or https, never
// more than the protocol allows, and a sound one reads the same whole or in the pieces an answer
// comes in (a broken one may stop sooner whole, as bad bytes are found before any element).

#include "crawl/sitemap.h"

#include "fuzzsupport.h"

using namespace Qt::StringLiterals;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    FuzzedDataProvider data(bytes, size);
    const size_t piece = data.ConsumeIntegralInRange<size_t>(1, 64);
    const std::string rest = data.ConsumeRemainingBytesAsString();
    const Sitemap whole = ReadSitemap(QByteArrayView(rest.data(), qsizetype(rest.size())));
    SitemapReader reader;
    for (size_t at = 0; at < rest.size(); at += piece)
        reader.add(QByteArrayView(rest.data() + at, qsizetype(std::min(piece, rest.size() - at))));
    const Sitemap pieces = reader.finish();
    const QString detail = QString::fromLatin1(QByteArray::fromStdString(rest).toHex());
    if (whole.wellFormed && !whole.cut)
        FUZZ_CHECK(pieces.wellFormed && whole.addresses == pieces.addresses && whole.isIndex == pieces.isIndex, detail);
    FUZZ_CHECK(whole.addresses.size() <= MostSitemapAddresses, detail);
    for (const QString& address : whole.addresses)
        FUZZ_CHECK(address.startsWith(u"http://"_s, Qt::CaseInsensitive)
                || address.startsWith(u"https://"_s, Qt::CaseInsensitive),
            address);
    return 0;
}
