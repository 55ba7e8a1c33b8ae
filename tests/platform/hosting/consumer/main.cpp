#include "ControlLibrary.h"
#include "ModalRunner.h"
#include "Schedule.h"
#include "Shell.h"
#include "ZuFTPDownLoad.h"
#include "ZuHTTPdownload.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLibrary>

#include <cstdio>
#include <cstring>

static int failures = 0;

static void check(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "FAIL: %s\n", what);
        ++failures;
    }
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // argv[1]: the installation's library folder.
    const QString libDir = QDir(QString::fromLocal8Bit(argv[1])).canonicalPath();

    // Loaded at run time by path: the same libraries, so the same classes.
    const struct {
        const char *library;
        const char *name;
        const QMetaObject *linked;
    } classes[] = {
        {"libzudownload.so", "ZuHTTPdownload", &ZuHTTPdownload::staticMetaObject},
        {"libzudownload.so", "ZuFTPDownLoad", &ZuFTPDownLoad::staticMetaObject},
        {"libSchedule.so", "Schedule", &Schedule::staticMetaObject},
    };
    for (const auto &entry : classes) {
        QLibrary library(libDir + QLatin1Char('/') + QLatin1String(entry.library));
        check(library.load(), entry.library);
        const auto table = reinterpret_cast<SuiteControlClassesFunction>(library.resolve(SUITE_CONTROL_ENTRY_POINT));
        const ControlClass *found = table ? findControlClass(table, entry.name) : nullptr;
        check(found != nullptr, entry.name);
        if (!found)
            continue;
        check(found->metaObject == entry.linked, "one copy of each class");
        ControlBase *control = found->create(nullptr);
        check(std::strcmp(control->metaObject()->className(), entry.name) == 0, "created class");
        delete control;
    }

    // Both libraries and the host share one hosting library, from the installation.
    int modals = 0;
    QStringList opened;
    ModalRunner::setHandler([&](QDialog *) { return ++modals, 0; });
    Shell::setHandler([&](const QString &, const QString &target, QWidget *) { return opened.append(target), true; });
    ZuHTTPdownload http;
    Schedule bar;
    http.About();
    http.VisitHomePage();
    bar.About();
    bar.VisitHomepage();
    check(modals == 2, "both libraries' about boxes reach the host's modal hook");
    check(opened.size() == 2, "both libraries' shell requests reach the host's shell hook");
    ModalRunner::setHandler({});
    Shell::setHandler({});

    QFile maps(QStringLiteral("/proc/self/maps"));
    check(maps.open(QIODevice::ReadOnly), "maps");
    bool hosting = false;
    for (const QByteArray &line : maps.readAll().split('\n')) {
        check(!line.contains("libtessalplatform") && !line.contains("libtessalcommon"), line.constData());
        if (line.contains("libtessalhosting")) {
            hosting = true;
            check(line.contains(libDir.toLocal8Bit()), line.constData());
        }
    }
    check(hosting, "the hosting library is loaded");

    std::printf(failures ? "consumer failed\n" : "consumer ok\n");
    return failures ? 1 : 0;
}
