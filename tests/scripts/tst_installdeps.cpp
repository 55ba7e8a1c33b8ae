// scripts/install-deps.sh on a machine whose user runs pure-ftpd: apt
// simulates the install (apt-get -s) against a copy of this machine's
// package status to which pure-ftpd has been added, so nothing is installed.

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

class tst_InstallDeps : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_status;

    static QString run(const QString &program, const QStringList &arguments)
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
        process.setProcessEnvironment(env);
        process.start(program, arguments);
        process.waitForFinished(120000);
        return QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
    }

    //! apt's plan for installing \a packages on the machine with pure-ftpd.
    QString simulate(const QStringList &packages) const
    {
        return run(QStringLiteral("apt-get"),
                   QStringList{"-s", "-o", "Dir::State::status=" + m_status, "install"} + packages);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // What installing pure-ftpd would change here, applied to a copy of the status.
        const QString plan = run(QStringLiteral("apt-get"), {"-s", "install", "pure-ftpd"});
        if (!plan.contains(QLatin1String("Inst pure-ftpd ")) && !plan.contains(QLatin1String("pure-ftpd is already")))
            QSKIP(qPrintable("apt knows no pure-ftpd (run apt-get update): " + plan.right(300)));
        QSet<QString> replaced;
        QStringList versions;
        static const QRegularExpression line(QStringLiteral("^(Inst|Remv) (\\S+) (?:\\[\\S+\\] )?\\(?(\\S+)"),
                                             QRegularExpression::MultilineOption);
        for (const QRegularExpressionMatch &m : line.globalMatch(plan)) {
            replaced.insert(m.captured(2));
            if (m.captured(1) == QLatin1String("Inst"))
                versions.append(m.captured(2) + u'=' + m.captured(3));
        }
        QString added = run(QStringLiteral("apt-cache"), QStringList{"show"} + versions);
        added.replace(QRegularExpression(QStringLiteral("^(Package: .*)$"), QRegularExpression::MultilineOption),
                      QStringLiteral("\\1\nStatus: install ok installed"));
        QFile status(QStringLiteral("/var/lib/dpkg/status"));
        QVERIFY(status.open(QIODevice::ReadOnly));
        QStringList stanzas;
        for (const QString &stanza : QString::fromUtf8(status.readAll()).split(QStringLiteral("\n\n"), Qt::SkipEmptyParts)) {
            if (!replaced.contains(stanza.section(u'\n', 0, 0).section(u' ', 1)))
                stanzas.append(stanza.trimmed());
        }
        m_status = m_dir.filePath(QStringLiteral("status"));
        QFile copy(m_status);
        QVERIFY(copy.open(QIODevice::WriteOnly));
        copy.write((stanzas.join(QStringLiteral("\n\n")) + QStringLiteral("\n\n") + added).toUtf8());
        copy.close();
        // The copy is a machine with pure-ftpd, where a server package would replace it.
        const QString replacing = simulate({"vsftpd"});
        QVERIFY2(replacing.contains(QLatin1String("Remv pure-ftpd ")), qPrintable(replacing));
    }

    void keepsTheUsersServer_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::newRow("run command") << QStringList{};
        QTest::newRow("test command") << QStringList{"--test"};
    }
    void keepsTheUsersServer()
    {
        QFETCH(QStringList, options);
        QProcess list;
        list.start(QStringLiteral("sh"), QStringList{QStringLiteral(INSTALL_DEPS), "--list"} + options);
        QVERIFY(list.waitForFinished(10000));
        QCOMPARE(list.exitCode(), 0);
        const QStringList packages = QString::fromUtf8(list.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
        QVERIFY(packages.contains(QLatin1String("qt6-base-dev")));

        const QString plan = simulate(packages);
        QVERIFY2(!plan.contains(QLatin1String("\nE: ")) && !plan.startsWith(QLatin1String("E: ")), qPrintable(plan));
        static const QRegularExpression server(QStringLiteral("^(Remv |Inst (nginx|vsftpd|proftpd|pure-ftpd|apache2|lighttpd))"),
                                               QRegularExpression::MultilineOption);
        QVERIFY2(!server.match(plan).hasMatch(), qPrintable(plan));
    }
};

QTEST_GUILESS_MAIN(tst_InstallDeps)
#include "tst_installdeps.moc"
