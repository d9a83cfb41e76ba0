#include "pages/previews.h"

#include "pages/pageframe.h"

using namespace Qt::StringLiterals;

bool ExtensionMatches(const QString& path, const QString& ext)
{
    if (ext.isEmpty())
        return false; // an empty entry from a trailing ";" names no kind of file
    const QString lowered = path.toLower();
    const qsizetype from = qMax<qsizetype>(0, lowered.size() - ext.size() - 1);
    return lowered.indexOf(ext, from) >= 0;
}

QStringList ImagePreviewLines(const QString& path, const QStringList& imageExts, const QString& suffix)
{
    QStringList lines;
    for (const QString& ext : imageExts)
        if (ExtensionMatches(path, ext))
            lines.append(u"<center><img src=\""_s + PathTarget(path) + u"\"></center>"_s + suffix);
    return lines;
}

QStringList DocumentPreviewLines(const QString& path)
{
    for (const QString& ext : { u".htm"_s, u".html"_s, u".doc"_s, u".pdf"_s }) {
        if (ExtensionMatches(path, ext))
            return { u"<div align=\"center\">"_s,
                u"<iframe sandbox src=\""_s + PathTarget(path)
                    + u"\" width=\"90%\" height=\"300\" align=\"center\" frameborder=\"yes\"></iframe></div>"_s };
    }
    return {};
}

QStringList MoviePreviewLines(const QString& path)
{
    QStringList lines;
    for (const QString& ext : { u".avi"_s, u".mov"_s, u".mpg"_s, u".mpeg"_s, u".asf"_s, u".wmv"_s })
        if (ExtensionMatches(path, ext))
            lines.append(u"<center><embed src=\""_s + PathTarget(path) + u"\" autostart=\"0\"></center>"_s);
    return lines;
}

QStringList FlashPreviewLines(const QString& path)
{
    if (!ExtensionMatches(path, u".swf"_s))
        return {};
    const QString target = PathTarget(path);
    return { u"<center><object classid=\"clsid:D27CDB6E-AE6D-11cf-96B8-444553540000\">"_s,
        u"<param name=\"movie\" value=\""_s + target + u"\">"_s, u"<embed src=\""_s + target + u"\" autostart=\"0\">"_s,
        u"<noembed> Shockwave Flashプラグインを入れてください。</noembed></center></object>"_s };
}

QStringList DirectorPreviewLines(const QString& path)
{
    if (!ExtensionMatches(path, u".dcr"_s))
        return {};
    const QString target = PathTarget(path);
    return { u"<center><object classid=\"clsid:166B1BCA-3F9C-11CF-8075-444553540000\">"_s,
        u"<param name=\"src\" value=\""_s + target + u"\">"_s, u"<embed src=\""_s + target + u"\" autostart=\"0\">"_s,
        u"<noembed> Directorプラグインを入れてください。</noembed></center></object>"_s };
}
