#include "support/testca.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

QString TestCa::executable()
{
    return QStandardPaths::findExecutable(u"openssl"_s);
}

bool TestCa::run(const QStringList& args)
{
    QProcess process;
    process.setWorkingDirectory(m_dir.path());
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(executable(), args);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        m_error = u"openssl "_s + args.join(u' ') + u": "_s + QString::fromLocal8Bit(process.readAll());
        return false;
    }
    return true;
}

bool TestCa::make()
{
    if (executable().isEmpty()) {
        m_error = u"openssl is not installed (scripts/install-deps --test installs it)"_s;
        return false;
    }
    QFile extensions(m_dir.filePath(u"server.ext"_s));
    if (!extensions.open(QIODevice::WriteOnly))
        return false;
    extensions.write("subjectAltName=IP:127.0.0.1\nbasicConstraints=CA:FALSE\n"
                     "keyUsage=digitalSignature,keyEncipherment\nextendedKeyUsage=serverAuth\n");
    extensions.close();
    const QStringList key { u"-newkey"_s, u"ec"_s, u"-pkeyopt"_s, u"ec_paramgen_curve:prime256v1"_s, u"-nodes"_s };
    return run(QStringList { u"req"_s, u"-x509"_s } + key
               + QStringList { u"-keyout"_s, u"ca.key"_s, u"-out"_s, u"ca.pem"_s, u"-days"_s, u"2"_s, u"-subj"_s,
                   u"/CN=Fetchwright Test CA"_s })
        && run(QStringList { u"req"_s } + key
            + QStringList { u"-keyout"_s, u"server.key"_s, u"-out"_s, u"server.csr"_s, u"-subj"_s, u"/CN=127.0.0.1"_s })
        && run({ u"x509"_s, u"-req"_s, u"-in"_s, u"server.csr"_s, u"-CA"_s, u"ca.pem"_s, u"-CAkey"_s, u"ca.key"_s,
            u"-CAcreateserial"_s, u"-out"_s, u"server.pem"_s, u"-days"_s, u"2"_s, u"-extfile"_s, u"server.ext"_s });
}
