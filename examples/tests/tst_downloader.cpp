#include "DownloadRow.h"
#include "DownloadWindow.h"

#include "ftp/FtpPeers.h"
#include "http/NginxServer.h"

#include "../../tests/TestFiles.h"

#include <QDir>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <Schedule.h>

using State = DownloadRow::State;

// The example download window against nginx and pyftpdlib, which run for
// any user.
class TestDownloader : public QObject
{
    Q_OBJECT

private:
    NginxServer m_nginx;
    FtpPeer m_ftp{FtpPeer::Pyftpdlib};
    QByteArray m_httpFile;
    QByteArray m_ftpFile;
    QTemporaryDir m_out;
    static constexpr int Timeout = 30000;

    QString address(const QString &kind, const QString &path) const
    {
        return kind == QLatin1String("http") ? QStringLiteral("http://") + m_nginx.hostText() + path
                                             : m_ftp.url(path);
    }
    //! A window downloading into a fresh folder, one download at a time.
    std::unique_ptr<DownloadWindow> makeWindow(const QString &name)
    {
        auto window = std::make_unique<DownloadWindow>();
        const QString folder = m_out.filePath(name);
        QDir().mkpath(folder);
        window->setDownloadFolder(folder);
        window->setParallel(1);
        window->show();
        return window;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_httpFile = pattern(3 << 20, 1);
        m_ftpFile = pattern((3 << 20) + 1234, 2);
        QVERIFY(writeFile(m_nginx.root() + QStringLiteral("/a.bin"), m_httpFile));
        QVERIFY2(m_nginx.start(), qPrintable(m_nginx.errorString()));
        const QString ftpError = m_ftp.start();
        QVERIFY2(ftpError.isEmpty(), qPrintable(ftpError));
        QVERIFY(m_ftp.putFile(QStringLiteral("b.bin"), m_ftpFile));
    }

    // Two queued downloads; one is paused at its first data, the other
    // starts then, and the paused one resumes where it stopped.
    void queuePauseAndResume_data()
    {
        QTest::addColumn<int>("paused");
        QTest::newRow("http paused") << 0;
        QTest::newRow("ftp paused") << 1;
    }
    void queuePauseAndResume()
    {
        QFETCH(int, paused);
        auto window = makeWindow(QString::fromLatin1(QTest::currentDataTag()));
        window->addAddresses(address("http", "/a.bin") + u'\n' + address("ftp", "/b.bin"));
        const QList<DownloadRow *> rows = window->rows();
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[1]->state(), State::Queued);
        DownloadRow *row = rows[paused];
        DownloadRow *other = rows[1 - paused];

        qint64 pausedAt = -1;
        auto pausing = connect(row, &DownloadRow::progressed, this, [&](qint64 bytes) {
            if (bytes > 0 && pausedAt < 0) {
                row->findChild<QPushButton *>()->click();
                pausedAt = bytes;
            }
        });
        QTRY_COMPARE_WITH_TIMEOUT(row->state(), State::Paused, Timeout);
        disconnect(pausing);
        QCOMPARE(row->findChild<QPushButton *>()->text(), QStringLiteral("Resume"));
        const qint64 kept = QFileInfo(row->fileName()).size();
        QVERIFY(kept > 0);
        QTRY_COMPARE_WITH_TIMEOUT(other->state(), State::Done, Timeout);

        qint64 firstAfterResume = -1;
        connect(row, &DownloadRow::progressed, this, [&](qint64 bytes) {
            if (firstAfterResume < 0)
                firstAfterResume = bytes;
        });
        row->findChild<QPushButton *>()->click();
        QTRY_VERIFY2_WITH_TIMEOUT(row->state() == State::Done, qPrintable(row->status()), Timeout);
        QVERIFY2(firstAfterResume >= kept - 1, "resumed, not started again");
        QCOMPARE(readFile(rows[0]->fileName()), m_httpFile);
        QCOMPARE(readFile(rows[1]->fileName()), m_ftpFile);
        for (DownloadRow *done : rows)
            QCOMPARE(done->bar()->Value(), done->bar()->Max());
    }

    // A failing download shows why in its row, and the queue goes on.
    void errorsShowInTheRow_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("status");
        QTest::newRow("http missing") << address("http", "/missing.bin") << "Error 404: 地址未找到！";
        QTest::newRow("ftp missing") << address("ftp", "/missing.bin") << "Error 550";
        QTest::newRow("no scheme") << "a.bin" << "Only http://, https:// and ftp://";
    }
    void errorsShowInTheRow()
    {
        QFETCH(QString, address);
        QFETCH(QString, status);
        auto window = makeWindow(QString::fromLatin1(QTest::currentDataTag()));
        window->addAddresses(address + u'\n' + this->address("http", "/a.bin"));
        const QList<DownloadRow *> rows = window->rows();
        QTRY_COMPARE_WITH_TIMEOUT(rows[0]->state(), State::Failed, Timeout);
        QVERIFY2(rows[0]->status().startsWith(status), qPrintable(rows[0]->status()));
        QTRY_COMPARE_WITH_TIMEOUT(rows[1]->state(), State::Done, Timeout);
        QCOMPARE(readFile(rows[1]->fileName()), m_httpFile);
    }

    // Cancelling removes the row and its unfinished file; a finished file
    // stays, and a second download of it gets a name of its own.
    void cancelAndNames()
    {
        auto window = makeWindow(QStringLiteral("cancel"));
        window->addAddresses(address("http", "/a.bin"));
        DownloadRow *first = window->rows().at(0);
        QTRY_COMPARE_WITH_TIMEOUT(first->state(), State::Done, Timeout);
        window->addAddresses(address("http", "/a.bin") + u'\n' + address("ftp", "/b.bin"));
        QList<DownloadRow *> rows = window->rows();
        QCOMPARE(QFileInfo(rows[1]->fileName()).fileName(), QStringLiteral("a (2).bin"));
        DownloadRow *cancelled = rows[2];
        QSignalSpy gone(cancelled, &QObject::destroyed);
        cancelled->pause();
        cancelled->cancel();
        QVERIFY(gone.wait());
        QCOMPARE(window->rows().size(), 2);
        QVERIFY(!QFile::exists(m_out.filePath(QStringLiteral("cancel/b.bin"))));
        first->cancel();
        QTRY_COMPARE(window->rows().size(), 1);
        QCOMPARE(readFile(m_out.filePath(QStringLiteral("cancel/a.bin"))), m_httpFile);
    }

    // The window as a user sees it, finished, failed and paused rows together.
    void screenshot()
    {
        auto window = makeWindow(QStringLiteral("screenshot"));
        window->setParallel(2);
        window->addAddresses(address("http", "/a.bin") + u'\n' + address("ftp", "/b.bin") + u'\n'
                             + address("http", "/missing.bin") + u'\n' + address("ftp", "/b.bin"));
        const QList<DownloadRow *> rows = window->rows();
        rows[3]->pause();
        QTRY_COMPARE_WITH_TIMEOUT(rows[0]->state(), State::Done, Timeout);
        QTRY_COMPARE_WITH_TIMEOUT(rows[1]->state(), State::Done, Timeout);
        QTRY_COMPARE_WITH_TIMEOUT(rows[2]->state(), State::Failed, Timeout);
        const QImage image = window->grab().toImage();
        const QByteArray dir = qgetenv("DOWNLOADER_SCREENSHOT_DIR");
        if (!dir.isEmpty())
            QVERIFY(image.save(QString::fromLocal8Bit(dir) + QStringLiteral("/downloader.png")));
        for (DownloadRow *row : rows) {
            QVERIFY(row->bar()->isVisible());
            QVERIFY(window->rect().contains(QRect(row->bar()->mapTo(window.get(), QPoint()), row->bar()->size())));
        }
    }
};

QTEST_MAIN(TestDownloader)
#include "tst_downloader.moc"
