#include "CommandLine.h"
#include "Form1.h"

#include <QApplication>
#include <QTextStream>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc > 1) {
        // The command line needs no display.
        QCoreApplication app(argc, argv);
        QTextStream out(stdout);
        QTextStream err(stderr);
        QStringList arguments = app.arguments();
        arguments.removeFirst();
        return runCommandLine(arguments, out, err);
    }
    // Without a display Qt would abort with advice that does not help here.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY")
        && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        std::fputs("tessal: the join window needs a desktop session (neither DISPLAY nor WAYLAND_DISPLAY is set).\n"
                   "To join without a window: tessal --join STENCIL OUTPUT [--compressed]\n",
                   stderr);
        return 1;
    }
    QApplication app(argc, argv);
    Form1 window;
    window.show();
    return app.exec();
}
