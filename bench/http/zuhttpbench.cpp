// Downloads with the HTTP control as a host does: probe, then DownTo into a
// file, the next download started from the last one's Finish. Prints the
// bytes, the seconds of the downloads (from the first probe on with --many,
// from DownTo on otherwise) and the peak resident memory as one line of
// "key=value" pairs.
//
//   zuhttpbench URL FILE
//   zuhttpbench --many COUNT URL FOLDER     (FOLDER/1, FOLDER/2, ...)

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
    QStringList args = app.arguments();
    QTextStream err(stderr);
    int count = 1;
    const bool many = args.value(1) == QLatin1String("--many");
    if (many) {
        count = args.value(2).toInt();
        args.remove(1, 2);
    }
    if (args.size() != 3 || count < 1) {
        err << "usage: zuhttpbench URL FILE\n       zuhttpbench --many COUNT URL FOLDER\n";
        return 2;
    }
    const QString url = args.at(1);
    const QString target = args.at(2);
    int done = 0;
    qint64 bytes = 0;
    const auto fileName = [&] { return many ? target + u'/' + QString::number(done + 1) : target; };

    ZuHTTPdownload control;
    QElapsedTimer timer;
    QObject::connect(&control, &ZuHTTPdownload::OnError, &app, [&](qint16 number, const QString &text) {
        err << "OnError " << number << ' ' << text << '\n';
        app.exit(1);
    });
    QObject::connect(&control, &ZuHTTPdownload::GetAttred, &app, [&] {
        if (!timer.isValid())
            timer.start();
        control.DownTo(fileName(), 1, 0, false);
        if (const auto error = control.takeError()) {
            err << "DownTo: " << error->number() << ' ' << error->description() << '\n';
            app.exit(1);
        }
    });
    QObject::connect(&control, &ZuHTTPdownload::Finish, &app, [&] {
        bytes += QFileInfo(fileName()).size();
        if (++done == count)
            app.exit(0);
        else
            control.GetAttrs(url);
    });
    QTimer::singleShot(0, &control, [&] {
        if (many)
            timer.start();
        control.GetAttrs(url);
    });
    if (app.exec() != 0)
        return 1;
    const double seconds = timer.nsecsElapsed() / 1e9;

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    QTextStream(stdout) << "bytes=" << bytes << " seconds=" << QString::number(seconds, 'f', 3)
                        << " peak_rss_kib=" << usage.ru_maxrss << '\n';
    return 0;
}
