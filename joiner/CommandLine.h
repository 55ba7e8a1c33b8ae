#pragma once

#include <QStringList>

class QTextStream;

/*!
    tessal without a window:

        tessal --join STENCIL OUTPUT [--compressed]
        tessal --help

    A join prints the texts the window would show, in the same order
    (tips on \a out, errors on \a err). Returns the exit code: 0 when the
    join (and the extraction) succeeded, 1 when it failed, 2 for a wrong
    command line. \a arguments excludes the program name.
*/
int runCommandLine(const QStringList &arguments, QTextStream &out, QTextStream &err);

//! The text of --help.
QString commandLineHelp();
