#pragma once

#include <QStringList>

class QTextStream;

/*!
    tessal without a window:

        tessal --join STENCIL OUTPUT [--compressed]
        tessal --split FILE SIZE [STENCIL]
        tessal --check STENCIL
        tessal --help

    A join prints the texts the window would show, in the same order
    (tips on \a out, errors on \a err). A split prints its outcome, a
    check every piece and its verdict. Returns the exit code: 0 when the
    join (and the extraction), the split succeeded or a join would
    succeed, 1 otherwise, 2 for a wrong command line. \a arguments
    excludes the program name.
*/
int runCommandLine(const QStringList &arguments, QTextStream &out, QTextStream &err);

//! True when \a arguments (without the program name) hold one of tessal's
//! own options; otherwise they are Qt's, for the window.
bool isCommandLine(const QStringList &arguments);

//! The text of --help.
QString commandLineHelp();
