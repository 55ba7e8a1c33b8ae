#include "CommandLine.h"
#include "Form1.h"

#include <QApplication>
#include <QTextStream>

#include <cstdio>

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    if (isCommandLine(arguments)) {
        // The command line needs no display.
        QCoreApplication app(argc, argv);
        QTextStream out(stdout);
        QTextStream err(stderr);
        arguments = app.arguments();
        arguments.removeFirst();
        return runCommandLine(arguments, out, err);
    }
    // Without a display Qt would abort with advice that does not help here.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY")
        && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") && !arguments.contains(u"-platform")) {
        std::fputs("tessal: the join window needs a desktop session (neither DISPLAY nor WAYLAND_DISPLAY is set).\n"
                   "To join without a window: tessal --join STENCIL OUTPUT [--compressed]\n",
                   stderr);
        return 1;
    }
    // Qt takes its own options (-style, -platform, ...); anything left is not for the window.
    QApplication app(argc, argv);
    arguments = app.arguments();
    arguments.removeFirst();
    if (!arguments.isEmpty()) {
        QTextStream err(stderr);
        err << "tessal: wrong command line\n\n" << commandLineHelp();
        return 2;
    }
    Form1 window;
    window.show();
    return app.exec();
}
