// Downloads one address with the FTP control, as a host would, COUNT times
// one after the other (each into FILE, from its first byte), and prints the
// bytes of the last one, the seconds from the first DownTo to the last Ended
// and the chunks the control reported.

#include "ZuFTPDownLoad.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    bool countOk = args.size() == 3;
    const int count = args.size() == 4 ? args.at(3).toInt(&countOk) : 1;
    if (!countOk || count < 1) {
        QTextStream(stderr) << "usage: ftpbench URL FILE [COUNT]\n";
        return 2;
    }
    ZuFTPDownLoad control;
    // What the Show notification would put in place; the control stays hidden.
    control.setUser(QStringLiteral("anonymous"));
    control.setPassword(ZuFTPDownLoad::defaultPassword());
    control.setPort(21);

    QElapsedTimer clock;
    qint64 bytes = -1;
    int status = 0;
    int done = 0;
    qint64 chunks = 0;
    const auto start = [&] { control.DownTo(args.at(1), args.at(2), 1, false); };
    QObject::connect(&control, &ZuFTPDownLoad::GetedData, &app, [&] { ++chunks; });
    QObject::connect(&control, &ZuFTPDownLoad::Ended, &app, [&] {
        bytes = control.HsDown();
        // The next download starts once this one has closed its file, as a host's queue does.
        if (++done < count)
            QMetaObject::invokeMethod(&app, start, Qt::QueuedConnection);
        else
            QMetaObject::invokeMethod(&app, &QApplication::quit, Qt::QueuedConnection);
    });
    QObject::connect(&control, &ZuFTPDownLoad::OnError, &app, [&](qint16 number, const QString &text) {
        QTextStream(stderr) << "OnError " << number << ' ' << text << '\n';
        status = 1;
        app.quit();
    });
    clock.start();
    start();
    if (status == 0)
        app.exec();
    const double seconds = clock.nsecsElapsed() / 1e9;
    QTextStream(stdout) << "bytes " << bytes << " seconds " << seconds << " chunks " << chunks << " downloads "
                        << done << '\n';
    return status;
}
