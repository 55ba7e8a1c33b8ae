// The control against nginx on loopback: probes, downloads, resumes,
// redirects and streams as a user meets them.

#include "NginxServer.h"
#include "ZuHTTPdownload.h"

#include "ModalRunner.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

static QByteArray randomBytes(int size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    for (int i = 0; i < size; ++i)
        bytes[i] = char(generator.bounded(256));
    return bytes;
}

static bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return false;
    file.close();
    return QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
}

static QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class TestZuHttpNginx : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void probeStaticFile();
    void wholeDownload();
    void resumeWithSuffixRange_data();
    void resumeWithSuffixRange();
    void notFound();
    void redirect_data();
    void redirect();
    void streamText();
    void streamBytes_data();
    void streamBytes();

private:
    void probe(ZuHTTPdownload &control, const QString &path);
    QString url(const QString &path) const { return QStringLiteral("http://%1%2").arg(m_nginx.hostText(), path); }

    NginxServer m_nginx;
    QTemporaryDir m_out;
    QByteArray m_big;
    QByteArray m_new;
    QByteArray m_text;
    QByteArray m_small;
};

void TestZuHttpNginx::initTestCase()
{
    ModalRunner::setHandler([](QDialog *) { return 0; });
    QVERIFY(m_out.isValid());
    m_big = randomBytes(1000003, 1);
    m_new = randomBytes(2000, 2);
    m_small = randomBytes(3000, 3);
    m_text = QStringLiteral("第一行 first line\r\n第二行 second line\n").repeated(200).toUtf8();
    const QString root = m_nginx.root();
    QVERIFY(writeFile(root + QStringLiteral("/f.bin"), m_big));
    QVERIFY(writeFile(root + QStringLiteral("/new.bin"), m_new));
    QVERIFY(writeFile(root + QStringLiteral("/small.dat"), m_small));
    QVERIFY(writeFile(root + QStringLiteral("/notes.txt"), m_text));
    m_nginx.setServerLines(QStringLiteral("    location = /old { return 302 /new.bin; }\n"
                                          "    location = /rel { absolute_redirect off; return 302 /new.bin; }\n"));
    QVERIFY2(m_nginx.start(), qPrintable(m_nginx.errorString()));
}

void TestZuHttpNginx::cleanupTestCase()
{
    m_nginx.stop();
}

void TestZuHttpNginx::probe(ZuHTTPdownload &control, const QString &path)
{
    QSignalSpy got(&control, &ZuHTTPdownload::GetAttred);
    QSignalSpy error(&control, &ZuHTTPdownload::OnError);
    control.GetAttrs(url(path));
    QVERIFY(!control.takeError());
    QTRY_VERIFY_WITH_TIMEOUT(!got.isEmpty() || !error.isEmpty(), 5000);
    QCOMPARE(error.size(), 0);
    QCOMPARE(got.size(), 1);
}

void TestZuHttpNginx::probeStaticFile()
{
    ZuHTTPdownload control;
    probe(control, QStringLiteral("/f.bin"));
    const QFileInfo info(m_nginx.root() + QStringLiteral("/f.bin"));
    const QDateTime modified = info.lastModified().toUTC();
    const QString httpDate = QLocale::c().toString(modified, QStringLiteral("ddd, dd MMM yyyy hh:mm:ss 'GMT'"));

    QVERIFY(control.Geted());
    QCOMPARE(control.HttpVer().toString(), QStringLiteral("1.1"));
    QCOMPARE(control.ReID(), 200);
    QVERIFY(control.ServerDateTime().toString().endsWith(QStringLiteral(" GMT")));
    QVERIFY(control.Server().toString().startsWith(QStringLiteral("nginx")));
    QCOMPARE(control.URLDateTime().toString(), httpDate);
    QCOMPARE(control.Etag().toString(), QStringLiteral("\"%1-%2\"")
                                            .arg(modified.toSecsSinceEpoch(), 0, 16)
                                            .arg(info.size(), 0, 16));
    QCOMPARE(control.Range().toString(), QStringLiteral("bytes"));
    QCOMPARE(control.Length(), m_big.size());
    QCOMPARE(control.LType().toString(), QStringLiteral("application/octet-stream"));
    QCOMPARE(control.Host().toString(), m_nginx.hostText());
    QCOMPARE(control.ZURemoteIP().toString(), QStringLiteral("127.0.0.1"));
    QVERIFY(!control.takeError());
}

void TestZuHttpNginx::wholeDownload()
{
    ZuHTTPdownload control;
    probe(control, QStringLiteral("/f.bin"));
    const QString file = m_out.filePath(QStringLiteral("whole.bin"));
    QVERIFY(writeFile(file, "stale contents that must go"));
    QSignalSpy finish(&control, &ZuHTTPdownload::Finish);
    QSignalSpy error(&control, &ZuHTTPdownload::OnError);
    QSignalSpy data(&control, &ZuHTTPdownload::GetData);
    control.DownTo(file, 1, 0, false);
    QVERIFY(!control.takeError());
    QVERIFY(finish.wait(10000));
    QTest::qWait(300);
    QCOMPARE(finish.size(), 1);
    QCOMPARE(error.size(), 0);
    QVERIFY(!data.isEmpty());
    QCOMPARE(QCryptographicHash::hash(readFile(file), QCryptographicHash::Sha256),
             QCryptographicHash::hash(m_big, QCryptographicHash::Sha256));
}

void TestZuHttpNginx::resumeWithSuffixRange_data()
{
    QTest::addColumn<int>("have");
    QTest::newRow("two bytes") << 2;
    QTest::newRow("middle") << 400001;
    QTest::newRow("all but one") << 1000002;
}

void TestZuHttpNginx::resumeWithSuffixRange()
{
    QFETCH(int, have);
    ZuHTTPdownload control;
    probe(control, QStringLiteral("/f.bin"));
    const QString file = m_out.filePath(QStringLiteral("resume.bin"));
    QVERIFY(writeFile(file, m_big.left(have)));
    QSignalSpy finish(&control, &ZuHTTPdownload::Finish);
    QSignalSpy error(&control, &ZuHTTPdownload::OnError);
    const int size = control.Length();
    control.DownTo(file, have, size - have + 1, true);
    QVERIFY(!control.takeError());
    QVERIFY(finish.wait(10000));
    QTest::qWait(300);
    QCOMPARE(finish.size(), 1);
    QCOMPARE(error.size(), 0);
    const QByteArray result = readFile(file);
    QCOMPARE(result.size(), m_big.size());
    QVERIFY(result == m_big);
}

void TestZuHttpNginx::notFound()
{
    ZuHTTPdownload control;
    QSignalSpy error(&control, &ZuHTTPdownload::OnError);
    QSignalSpy got(&control, &ZuHTTPdownload::GetAttred);
    control.GetAttrs(url(QStringLiteral("/missing.bin")));
    QVERIFY(error.wait(5000));
    QCOMPARE(error.first().at(0).value<qint16>(), qint16(404));
    QCOMPARE(error.first().at(1).toString(), QStringLiteral("地址未找到！"));
    QCOMPARE(got.size(), 0);
    QCOMPARE(control.ReID(), 404);
    QVERIFY(!control.Geted());

    // Downloading it anyway writes nothing of the error page.
    const QString file = m_out.filePath(QStringLiteral("missing.bin"));
    QSignalSpy finish(&control, &ZuHTTPdownload::Finish);
    error.clear();
    control.DownTo(file, 1, 0, false);
    QVERIFY(error.wait(5000));
    QTest::qWait(300);
    QCOMPARE(error.size(), 1);
    QCOMPARE(error.first().at(0).value<qint16>(), qint16(404));
    QCOMPARE(finish.size(), 0);
    QCOMPARE(readFile(file), QByteArray());
}

void TestZuHttpNginx::redirect_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("absolute Location") << "/old";
    QTest::newRow("relative Location") << "/rel";
}

void TestZuHttpNginx::redirect()
{
    QFETCH(QString, path);
    ZuHTTPdownload control;
    probe(control, path);
    QCOMPARE(control.Path().toString(), url(QStringLiteral("/new.bin")));
    QCOMPARE(control.Length(), m_new.size());

    const QString file = m_out.filePath(QStringLiteral("redirected.bin"));
    QSignalSpy finish(&control, &ZuHTTPdownload::Finish);
    control.DownTo(file, 1, 0, false);
    QVERIFY(finish.wait(5000));
    QCOMPARE(readFile(file), m_new);
}

void TestZuHttpNginx::streamText()
{
    ZuHTTPdownload control;
    probe(control, QStringLiteral("/notes.txt"));
    QCOMPARE(control.LType().toString(), QStringLiteral("text/plain"));
    QSignalSpy finish(&control, &ZuHTTPdownload::Finish);
    QSignalSpy error(&control, &ZuHTTPdownload::OnError);
    QSignalSpy data(&control, &ZuHTTPdownload::GetedData);
    control.OpenUrl(0);
    QVERIFY(finish.wait(5000));
    QTest::qWait(300);
    QCOMPARE(finish.size(), 1);
    QCOMPARE(error.size(), 0);
    QString text;
    for (const QList<QVariant> &event : std::as_const(data)) {
        QCOMPARE(event.at(1).toInt(), 1);
        text += event.at(0).toString();
    }
    QCOMPARE(text, QString::fromUtf8(m_text));
}

void TestZuHttpNginx::streamBytes_data()
{
    QTest::addColumn<int>("last");
    QTest::newRow("whole") << 0;
    QTest::newRow("last 100 bytes") << 100;
}

void TestZuHttpNginx::streamBytes()
{
    QFETCH(int, last);
    ZuHTTPdownload control;
    probe(control, QStringLiteral("/small.dat"));
    QSignalSpy finish(&control, &ZuHTTPdownload::Finish);
    QSignalSpy data(&control, &ZuHTTPdownload::GetedData);
    control.OpenUrl(last);
    QVERIFY(finish.wait(5000));
    QByteArray bytes;
    for (const QList<QVariant> &event : std::as_const(data)) {
        QCOMPARE(event.at(1).toInt(), 2);
        bytes += char(event.at(0).value<uchar>());
    }
    QCOMPARE(bytes, last > 0 ? m_small.right(last) : m_small);
}

QTEST_MAIN(TestZuHttpNginx)
#include "tst_zuhttp_nginx.moc"
