// Downloads one address with the HTTP control, as a host does: probe, then
// DownTo into a file. Prints the bytes, the seconds of the download and the
// peak resident memory as one line of "key=value" pairs.

#include "ZuHTTPdownload.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTextStream>
#include <QTimer>

#include <sys/resource.h>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    QTextStream err(stderr);
    if (args.size() != 3) {
        err << "usage: zuhttpbench URL FILE\n";
        return 2;
    }
    const QString url = args.at(1);
    const QString file = args.at(2);

    ZuHTTPdownload control;
    QElapsedTimer timer;
    int status = 1;
    QObject::connect(&control, &ZuHTTPdownload::OnError, &app, [&](qint16 number, const QString &text) {
        err << "OnError " << number << ' ' << text << '\n';
        app.exit(1);
    });
    QObject::connect(&control, &ZuHTTPdownload::GetAttred, &app, [&] {
        timer.start();
        control.DownTo(file, 1, 0, false);
        if (const auto error = control.takeError()) {
            err << "DownTo: " << error->number() << ' ' << error->description() << '\n';
            app.exit(1);
        }
    });
    QObject::connect(&control, &ZuHTTPdownload::Finish, &app, [&] {
        status = 0;
        app.exit(0);
    });
    QTimer::singleShot(0, &control, [&] { control.GetAttrs(url); });
    if (app.exec() != 0 || status != 0)
        return 1;
    const double seconds = timer.nsecsElapsed() / 1e9;

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    QTextStream(stdout) << "bytes=" << QFileInfo(file).size() << " seconds=" << QString::number(seconds, 'f', 3)
                        << " peak_rss_kib=" << usage.ru_maxrss << '\n';
    return 0;
}
