// A sitemap from a hostile server, plain or gzip: read whole or in the pieces an answer comes in, it
// gives the same, its addresses all absolute http or https, never more than the protocol allows.

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
    FUZZ_CHECK(whole.addresses == pieces.addresses && whole.isIndex == pieces.isIndex, detail);
    FUZZ_CHECK(whole.wellFormed == pieces.wellFormed && whole.cut == pieces.cut, detail);
    FUZZ_CHECK(whole.addresses.size() <= MostSitemapAddresses, detail);
    for (const QString& address : whole.addresses)
        FUZZ_CHECK(address.startsWith(u"http://"_s, Qt::CaseInsensitive)
                || address.startsWith(u"https://"_s, Qt::CaseInsensitive),
            address);
    return 0;
}
