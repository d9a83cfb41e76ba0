#include "cli/listoptions.h"

#include "settings/numberrules.h"
#include "settings/settingskeys.h"

using namespace Qt::StringLiterals;
namespace K = SettingsKeys;
namespace R = NumberRules;

const QStringList ListValueOptions { u"--name"_s, u"--exts"_s, u"--per-page"_s, u"--rows"_s, u"--single"_s };

bool ReadListOptions(ArgumentReader& r, bool images)
{
    const QString nameKey = images ? K::MakeGraphListFileName : K::MakeListFileName;
    const QString extsKey = images ? K::MakeGraphListExts : K::MakeListExts;
    const QString subKey = images ? K::MakeGraphSubDirCheck : K::MakeSubDirCheck;
    while (r.more()) {
        const QString option = r.next();
        QString text;
        if (option == u"--name"_s) {
            if (!r.value(option, text))
                return false;
            r.command.settings.append({ nameKey, text });
        } else if (option == u"--exts"_s) {
            if (!r.value(option, text))
                return false;
            r.command.settings.append({ extsKey, text });
        } else if (option == u"--no-subdirs"_s) {
            r.flag(subKey, false);
        } else if (option == u"--no-open"_s) {
            r.command.noOpen = true;
        } else if (!images && option == u"--per-page"_s) {
            if (!r.number(option, R::MakeListFileCount))
                return false;
        } else if (!images && (option == u"--movies"_s || option == u"--swf"_s)) {
            r.flag(option == u"--movies"_s ? K::MakeAviMovCheck : K::MakeSwfDcrCheck, true);
        } else if (images && (option == u"--rows"_s || option == u"--single"_s)) {
            const bool rows = option == u"--rows"_s;
            r.flag(K::MakeGraphMinCheck, rows);
            if (!r.number(option, rows ? R::MakeGraphMinNLine : R::MakeGraphListCount))
                return false;
        } else {
            return r.fail(u"不明なオプションです: "_s + option);
        }
    }
    return true;
}
