// The FTP control hosted by the test container, driven as a host drives it.

#include "ScriptedFtpServer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestFtpCtlhost : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void downloadThroughHost();
};

void TestFtpCtlhost::downloadThroughHost()
{
#ifndef CTLHOST_PATH
    QSKIP("the ctlhost container is not part of this build");
#else
    QSKIP("pending");
#endif
}

QTEST_MAIN(TestFtpCtlhost)
#include "tst_ftpctlhost.moc"
