// Address resolution: a raw link value decoded and made absolute against a page's base and root,
// then put in its wire form. Whatever the input, a followed link has no fragment, begins with
// "http", resolves to itself again, and its wire form is escaped, stable and decodes back to it.
// Against a page of host H, a relative link never climbs above http://H/.

#include "address/addressfunctions.h"
#include "crawl/linkaddress.h"

#include "fuzzsupport.h"

using namespace Qt::StringLiterals;

namespace {

bool wireClean(const QString& address)
{
    for (QChar c : address) {
        const char16_t u = c.unicode();
        if (u <= 0x20 || u >= 0x7F || QStringView(u"\"<>\\^`{|}").contains(c))
            return false;
    }
    return true;
}

void checkFollowed(const QString& base, const QString& root, const QString& resolved)
{
    FUZZ_CHECK(resolved.startsWith(u"http"_s), resolved);
    FUZZ_CHECK(!resolved.contains(u'#'), resolved);
    FUZZ_CHECK(!resolved.contains(u"ftp:"_s) && !resolved.contains(u"/?"_s), resolved);
    FUZZ_CHECK(ResolveAgainstBase(resolved, base, root) == resolved, resolved);

    const QString wire = EncodeForWire(resolved);
    FUZZ_CHECK(wireClean(wire), wire);
    FUZZ_CHECK(EncodeForWire(wire) == wire, wire);
    FUZZ_CHECK(StrictPercentDecode(wire.toLatin1()) == StrictPercentDecode(resolved.toUtf8()), wire);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    FuzzedDataProvider data(bytes, size);
    const bool freeForm = data.ConsumeBool();
    const QString raw = FuzzedText(data, 512);
    const QString link = DecodeLinkText(raw);
    FUZZ_CHECK(!link.contains(u'\r') && !link.contains(u'\n') && !link.contains(u'\\'), link);

    if (freeForm) {
        // Any base and root at all, also ones no page has: the loop must end, and quickly.
        const QString base = FuzzedText(data, 128);
        const QString root = FuzzedText(data, 64);
        const QString resolved = ResolveAgainstBase(link, base, root);
        if (!resolved.isEmpty())
            checkFollowed(base, root, resolved);
        return 0;
    }

    // A page as the crawl has it: an http address whose host has no "/" in it.
    QString host = Utf8Text(data.ConsumeRandomLengthString(24));
    // Characters that end an address's host part (or its resolution) are not part of a host.
    host.remove(u'/');
    host.remove(u'#');
    host.remove(u'?');
    if (host.isEmpty())
        host = u"h"_s;
    const QString root = u"http://"_s + host + u'/';
    const QString page = root + Utf8Text(data.ConsumeRandomLengthString(64));
    const QString base = RelativeBase(DirectoryAddressOf(page));
    FUZZ_CHECK(base.startsWith(root) && base.endsWith(u'/'), base);

    const QString resolved = ResolveAgainstBase(link, base, SiteRootOf(page));
    if (resolved.isEmpty())
        return 0;
    checkFollowed(base, SiteRootOf(page), resolved);

    // Leading "../" climbs stop at the host: a result off the page's host can only be an absolute
    // or protocol-relative address written in the link itself.
    if (!resolved.startsWith(root)) {
        QString written = link.left(link.indexOf(u'#') < 0 ? link.size() : link.indexOf(u'#'));
        const bool fromLink = written.endsWith(resolved, Qt::CaseInsensitive)
            || (resolved.startsWith(u"http:"_s) && written.endsWith(resolved.mid(5))
                && resolved.mid(5).startsWith(u"//"_s));
        FUZZ_CHECK(fromLink, resolved + u" from "_s + link + u" on "_s + page);
    }
    return 0;
}
