#include "DownloadRow.h"
#include "DownloadWindow.h"

#include "ftp/FtpPeers.h"
#include "http/NginxServer.h"

#include "../../tests/TestFiles.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <Schedule.h>
#include <ZuFTPDownLoad.h>
#include <ZuHTTPdownload.h>

using State = DownloadRow::State;

// Takes the addresses the desktop is asked to open.
class UrlRecorder : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;
public Q_SLOTS:
    void open(const QUrl &url) { opened.append(url); }
};

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
    static QPushButton *button(DownloadRow *row, const char *name)
    {
        return row->findChild<QPushButton *>(QString::fromLatin1(name));
    }
    //! A window downloading into a fresh folder (made by the window), one download at a time.
    std::unique_ptr<DownloadWindow> makeWindow(const QString &name)
    {
        auto window = std::make_unique<DownloadWindow>();
        const QString folder = m_out.filePath(name);
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
        QCOMPARE(button(row, "pause")->text(), QStringLiteral("Resume"));
        QCOMPARE(button(row, "cancel")->text(), QStringLiteral("Cancel"));
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

    // A failing download says why in the window's words, the code beside
    // them, offers to retry, and the queue goes on.
    void errorsShowInTheRow_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("status");
        QTest::addColumn<bool>("retry");
        const QString closed = QStringLiteral("127.0.0.1:%1").arg(PeerProcess::freePort());
        QTest::newRow("http missing") << address("http", "/missing.bin") << "Not found on the server (HTTP 404)" << true;
        QTest::newRow("ftp missing") << address("ftp", "/missing.bin") << "The file is not on the server (FTP 550)"
                                     << true;
        QTest::newRow("http refused") << "http://" + closed + "/a.bin"
                                      << "The server refused the connection (error 10061)" << true;
        QTest::newRow("no port") << "http://127.0.0.1:http/a.bin" << "The address is not valid (error 1)" << true;
        QTest::newRow("no scheme") << "a.bin" << "Only http://, https:// and ftp:// addresses can be downloaded"
                                   << false;
    }
    void errorsShowInTheRow()
    {
        QFETCH(QString, address);
        QFETCH(QString, status);
        QFETCH(bool, retry);
        auto window = makeWindow(QString::fromLatin1(QTest::currentDataTag()));
        window->addAddresses(address + u'\n' + this->address("http", "/a.bin"));
        const QList<DownloadRow *> rows = window->rows();
        QTRY_COMPARE_WITH_TIMEOUT(rows[0]->state(), State::Failed, Timeout);
        QCOMPARE(rows[0]->status(), status);
        QCOMPARE(button(rows[0], "pause")->text(), QStringLiteral("Retry"));
        QCOMPARE(button(rows[0], "pause")->isEnabled(), retry);
        QCOMPARE(button(rows[0], "cancel")->text(), QStringLiteral("Cancel"));
        QTRY_COMPARE_WITH_TIMEOUT(rows[1]->state(), State::Done, Timeout);
        QCOMPARE(readFile(rows[1]->fileName()), m_httpFile);
    }

    // Retry after the file has come to the server fetches it.
    void retryFetchesWhatCameSince()
    {
        auto window = makeWindow(QStringLiteral("retry"));
        window->addAddresses(address("http", "/later.bin"));
        DownloadRow *row = window->rows().at(0);
        QTRY_COMPARE_WITH_TIMEOUT(row->state(), State::Failed, Timeout);
        QVERIFY(writeFile(m_nginx.root() + QStringLiteral("/later.bin"), m_httpFile));
        button(row, "pause")->click();
        QTRY_VERIFY2_WITH_TIMEOUT(row->state() == State::Done, qPrintable(row->status()), Timeout);
        QCOMPARE(readFile(row->fileName()), m_httpFile);
    }

    // A folder that cannot be made is named in the row (a missing one is made, see
    // windowAsUsersAndScreenReadersFindIt()).
    void unmakeableFolderIsNamed()
    {
        const QString file = m_out.filePath(QStringLiteral("plain-file"));
        QVERIFY(writeFile(file, "x"));
        auto window = std::make_unique<DownloadWindow>();
        window->setDownloadFolder(file + QStringLiteral("/sub"));
        window->addAddresses(address("http", "/a.bin"));
        DownloadRow *row = window->rows().at(0);
        QTRY_COMPARE_WITH_TIMEOUT(row->state(), State::Failed, Timeout);
        QVERIFY2(row->status().contains(QDir::toNativeSeparators(file + QStringLiteral("/sub"))), qPrintable(row->status()));
        QCOMPARE(readFile(file), QByteArray("x"));
    }

    // Files go to the user's download folder until another is chosen in a dialog.
    void folderIsChosenInADialog()
    {
        DownloadWindow fresh;
        const QString downloads = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
        QCOMPARE(fresh.downloadFolder(), downloads);
        QCOMPARE(fresh.findChild<QLineEdit *>(QStringLiteral("folder"))->text(), QDir::toNativeSeparators(downloads));

        auto window = makeWindow(QStringLiteral("before-choosing"));
        QVERIFY(QDir().mkpath(window->downloadFolder()));
        const QString chosen = m_out.filePath(QStringLiteral("chosen"));
        QVERIFY(QDir().mkpath(chosen));
        QString asked;
        QTimer::singleShot(0, this, [&] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            asked = dialog->directory().absolutePath();
            dialog->selectFile(chosen);
            QMetaObject::invokeMethod(dialog, "accept");
        });
        window->findChild<QPushButton *>(QStringLiteral("chooseFolder"))->click();
        QCOMPARE(asked, m_out.filePath(QStringLiteral("before-choosing")));
        QCOMPARE(window->downloadFolder(), chosen);
        QCOMPARE(window->findChild<QLineEdit *>(QStringLiteral("folder"))->text(), QDir::toNativeSeparators(chosen));
        window->addAddresses(address("http", "/a.bin"));
        QTRY_COMPARE_WITH_TIMEOUT(window->rows().at(0)->state(), State::Done, Timeout);
        QCOMPARE(readFile(chosen + QStringLiteral("/a.bin")), m_httpFile);
    }

    // Tab leaves the address box instead of typing a tab; Ctrl+Return downloads.
    void keyboardGetsInAndOut()
    {
        auto window = makeWindow(QStringLiteral("keys"));
        window->activateWindow();
        QTRY_VERIFY(window->isActiveWindow());
        auto *addresses = window->findChild<QPlainTextEdit *>(QStringLiteral("addresses"));
        auto *download = window->findChild<QPushButton *>(QStringLiteral("download"));
        addresses->setFocus();
        QTRY_VERIFY(addresses->hasFocus());
        QTest::keyClick(addresses, Qt::Key_Tab);
        QVERIFY(download->hasFocus());
        QCOMPARE(addresses->toPlainText(), QString());
        QTest::keyClick(download, Qt::Key_Backtab, Qt::ShiftModifier);
        QVERIFY(addresses->hasFocus());
        QTest::keyClicks(addresses, address("http", "/a.bin"));
        QTest::keyClick(addresses, Qt::Key_Return, Qt::ControlModifier);
        QCOMPARE(window->rows().size(), 1);
        QCOMPARE(addresses->toPlainText(), QString());
        QTRY_COMPARE_WITH_TIMEOUT(window->rows().at(0)->state(), State::Done, Timeout);
    }

    // The window as a user sees it, finished, failed and paused rows together, in a download
    // folder it made; and what a screen reader finds in a row: the bar by the file's name with
    // its value, and the controls by their names.
    void windowAsUsersAndScreenReadersFindIt()
    {
        auto window = makeWindow(QStringLiteral("missing/and/deeper"));
        QVERIFY(!QFileInfo::exists(window->downloadFolder()));
        window->setParallel(2);
        window->addAddresses(address("http", "/a.bin") + u'\n' + address("ftp", "/b.bin") + u'\n'
                             + address("http", "/missing.bin") + u'\n' + address("ftp", "/b.bin"));
        const QList<DownloadRow *> rows = window->rows();
        rows[3]->pause();
        QTRY_VERIFY2_WITH_TIMEOUT(rows[0]->state() == State::Done, qPrintable(rows[0]->status()), Timeout);
        QTRY_VERIFY2_WITH_TIMEOUT(rows[1]->state() == State::Done, qPrintable(rows[1]->status()), Timeout);
        QTRY_COMPARE_WITH_TIMEOUT(rows[2]->state(), State::Failed, Timeout);
        QCOMPARE(readFile(window->downloadFolder() + QStringLiteral("/a.bin")), m_httpFile);
        QCOMPARE(readFile(window->downloadFolder() + QStringLiteral("/b.bin")), m_ftpFile);
        const QImage image = window->grab().toImage();
        const QByteArray dir = qgetenv("DOWNLOADER_SCREENSHOT_DIR");
        if (!dir.isEmpty())
            QVERIFY(image.save(QString::fromLocal8Bit(dir) + QStringLiteral("/downloader.png")));
        for (DownloadRow *row : rows) {
            QVERIFY(row->bar()->isVisible());
            QVERIFY(window->rect().contains(QRect(row->bar()->mapTo(window.get(), QPoint()), row->bar()->size())));
        }

        QAccessibleInterface *bar = QAccessible::queryAccessibleInterface(rows[0]->bar());
        QCOMPARE(bar->role(), QAccessible::ProgressBar);
        QCOMPARE(bar->text(QAccessible::Name), QStringLiteral("a.bin"));
        QCOMPARE(bar->text(QAccessible::Value), QStringLiteral("100%"));
        QCOMPARE(bar->valueInterface()->currentValue(), bar->valueInterface()->maximumValue());
        QCOMPARE(QAccessible::queryAccessibleInterface(rows[1]->bar())->text(QAccessible::Name), QStringLiteral("b.bin"));
        const QString http = QAccessible::queryAccessibleInterface(rows[0]->findChild<ZuHTTPdownload *>())->text(QAccessible::Name);
        const QString ftp = QAccessible::queryAccessibleInterface(rows[1]->findChild<ZuFTPDownLoad *>())->text(QAccessible::Name);
        QVERIFY(!http.isEmpty());
        QVERIFY(!ftp.isEmpty());
        QVERIFY(http != ftp);
    }

    // Cancelling removes the row and its unfinished file; a finished row
    // opens its folder or goes, its file stays, and a second download of it
    // gets a name of its own.
    void cancelRemoveAndNames()
    {
        auto window = makeWindow(QStringLiteral("cancel"));
        window->addAddresses(address("http", "/a.bin"));
        DownloadRow *first = window->rows().at(0);
        QTRY_COMPARE_WITH_TIMEOUT(first->state(), State::Done, Timeout);
        QCOMPARE(button(first, "pause")->text(), QStringLiteral("Open folder"));
        QCOMPARE(button(first, "cancel")->text(), QStringLiteral("Remove"));
        UrlRecorder desktop;
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &desktop, "open");
        button(first, "pause")->click();
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QCOMPARE(desktop.opened, QList<QUrl>{QUrl::fromLocalFile(window->downloadFolder())});
        QCOMPARE(first->state(), State::Done);
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
        button(first, "cancel")->click();
        QTRY_COMPARE(window->rows().size(), 1);
        QCOMPARE(readFile(m_out.filePath(QStringLiteral("cancel/a.bin"))), m_httpFile);
    }
};

QTEST_MAIN(TestDownloader)
#include "tst_downloader.moc"
