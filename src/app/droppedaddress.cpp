#include "app/droppedaddress.h"

#include <QMimeData>
#include <QUrl>

using namespace Qt::StringLiterals;

QString DroppedAddress(const QMimeData* mime)
{
    if (!mime)
        return {};
    for (const QUrl& url : mime->urls())
        if (url.scheme() == u"http"_s || url.scheme() == u"https"_s)
            return url.toString();
    const QString text = mime->text().trimmed();
    if ((text.startsWith(u"http://"_s) || text.startsWith(u"https://"_s)) && !text.contains(u'\n'))
        return text;
    return {};
}
