#include "CommandLine.h"

#include "Combiner.h"

#include <QTextStream>

QString commandLineHelp()
{
    return QStringLiteral(
            "Usage: tessal\n"
            "       tessal --join STENCIL OUTPUT [--compressed]\n"
            "       tessal --help\n"
            "\n"
            "Without arguments tessal opens its window.\n"
            "\n"
            "--join rebuilds OUTPUT from the numbered piece files that the stencil\n"
            "file STENCIL (.kvs) names, without a window, and prints the messages the\n"
            "window would show. An existing OUTPUT is replaced only once the join is\n"
            "complete.\n"
            "\n"
            "--compressed unpacks the joined file, a cabinet, with EXTRACT from\n"
            "tessal's folder and puts the unpacked file in place of OUTPUT.\n"
            "\n"
            "Exit status: 0 on success, 1 when the join or the extraction failed,\n"
            "2 for a wrong command line.\n"
            "\n"
            "Environment: ANSI_CODEPAGE names the code page of the stencil's base\n"
            "name (for example GBK); unset, the locale's character set is used.\n");
}

int runCommandLine(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    if (arguments == QStringList{QStringLiteral("--help")}
        || arguments == QStringList{QStringLiteral("-h")}) {
        out << commandLineHelp();
        return 0;
    }

    QStringList paths;
    bool join = false;
    bool compressed = false;
    bool wrong = false;
    for (const QString &argument : arguments) {
        if (argument == QLatin1String("--join") && !join)
            join = true;
        else if (argument == QLatin1String("--compressed") && !compressed)
            compressed = true;
        else if (argument.startsWith(QLatin1String("--")) || paths.size() == 2)
            wrong = true;
        else
            paths.append(argument);
    }
    if (wrong || !join || paths.size() != 2) {
        err << "tessal: wrong command line\n\n" << commandLineHelp();
        return 2;
    }

    Combiner combiner([&](const Combiner::Message &message) {
        QTextStream &stream = message.icon == Combiner::Icon::Critical ? err : out;
        stream << message.text << Qt::endl;
    });
    return combiner.combine(paths.at(0), paths.at(1), compressed) ? 0 : 1;
}
