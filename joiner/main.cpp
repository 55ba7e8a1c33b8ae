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
    QApplication app(argc, argv);
    Form1 window;
    window.show();
    return app.exec();
}
