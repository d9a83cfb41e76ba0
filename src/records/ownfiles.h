#pragma once
// The files the crawl keeps in a site folder beside the site's own: its queue, resume record,
// cookie jar, lock, logs and download list pages. A file of the site may not take one of these
// names there, or it would replace what the crawl keeps (a planted cookie jar, a queue, a log).
//   IsSiteFolderOwnName(u"fetchwrightdata1.csv"_s) -> true   (letters in either case)
//   IsSiteFolderOwnName(u"_プレビュー3.html"_s)     -> true

#include <QString>

bool IsSiteFolderOwnName(const QString& name);
