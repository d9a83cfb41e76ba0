#pragma once
// What every dialog is made with in a test: settings in a folder of the test's own, the crawl state
// whose stop flag the dialogs set, and the shared folder picker. A test's fixture adds its dialogs:
//   struct Fixture : DialogFixture {
//       SettingDialog dialog { env };
//   };

#include "crawl/crawlstate.h"
#include "dialogs/dialogenvironment.h"
#include "dialogs/dirdialog.h"
#include "settings/settingsstore.h"

#include <QStringList>
#include <QTemporaryDir>

struct DialogFixture {
    // What stored() tells for a key the store does not hold.
    static inline const QString Absent = QStringLiteral("<absent>");

    QTemporaryDir dir;
    SettingsStore store { dir.filePath(QStringLiteral("s.conf")) };
    CrawlState crawl;
    DirDialog picker;
    DialogEnvironment env { store, crawl, picker };

    QString stored(const QString& key) const { return store.get(key, Absent); }
    // Every key the store holds, so a test can tell that nothing was saved.
    QStringList storedKeys() const;
};
