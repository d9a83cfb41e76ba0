#pragma once
// A home folder of the test's own for as long as the object lives: HOME and XDG_CONFIG_HOME point
// into a temporary folder (so the user's download folder is that home's "Downloads"), and so does
// the current folder, which Windows takes relative folders from; all are restored afterwards.

#include <QByteArray>
#include <QDir>
#include <QTemporaryDir>

class TempHome {
public:
    TempHome()
        : m_oldHome(qgetenv("HOME"))
        , m_oldConfig(qgetenv("XDG_CONFIG_HOME"))
        , m_hadConfig(qEnvironmentVariableIsSet("XDG_CONFIG_HOME"))
        , m_oldCurrent(QDir::currentPath())
    {
        QDir::setCurrent(m_dir.path());
        qputenv("HOME", QFile::encodeName(m_dir.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.filePath(QStringLiteral(".config"))));
    }
    ~TempHome()
    {
        QDir::setCurrent(m_oldCurrent);
        qputenv("HOME", m_oldHome);
        if (m_hadConfig)
            qputenv("XDG_CONFIG_HOME", m_oldConfig);
        else
            qunsetenv("XDG_CONFIG_HOME");
    }
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;

    QString path() const { return m_dir.path(); }
    // name below the home folder, in native separators.
    QString filePath(const QString& name) const { return QDir::toNativeSeparators(m_dir.filePath(name)); }

private:
    QTemporaryDir m_dir;
    QByteArray m_oldHome;
    QByteArray m_oldConfig;
    bool m_hadConfig;
    QString m_oldCurrent;
};
