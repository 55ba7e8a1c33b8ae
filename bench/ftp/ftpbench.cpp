// Downloads one address with the FTP control, as a host would, and prints
// the bytes and the seconds from DownTo to Ended.

#include "ZuFTPDownLoad.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3) {
        QTextStream(stderr) << "usage: ftpbench URL FILE\n";
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
    qint64 chunks = 0;
    QObject::connect(&control, &ZuFTPDownLoad::GetedData, &app, [&] { ++chunks; });
    QObject::connect(&control, &ZuFTPDownLoad::Ended, &app, [&] {
        bytes = control.HsDown();
        QMetaObject::invokeMethod(&app, &QApplication::quit, Qt::QueuedConnection);
    });
    QObject::connect(&control, &ZuFTPDownLoad::OnError, &app, [&](qint16 number, const QString &text) {
        QTextStream(stderr) << "OnError " << number << ' ' << text << '\n';
        status = 1;
        app.quit();
    });
    clock.start();
    control.DownTo(args.at(1), args.at(2), 1, false);
    if (status == 0)
        app.exec();
    const double seconds = clock.nsecsElapsed() / 1e9;
    QTextStream(stdout) << "bytes " << bytes << " seconds " << seconds << " chunks " << chunks << '\n';
    return status;
}
