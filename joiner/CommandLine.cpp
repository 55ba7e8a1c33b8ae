#include "CommandLine.h"

#include "Combiner.h"

#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QLocale>
#include <QTextStream>

#include <csignal>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t g_signal = 0;

void onSignal(int number)
{
    g_signal = number;
}

//! Holds SIGINT, SIGTERM and SIGHUP while it lives, so that a join can stop cleanly.
class SignalCatcher
{
public:
    SignalCatcher()
    {
        g_signal = 0;
        struct sigaction action = {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        // No SA_RESTART: a progress line blocked on a stopped terminal gives way.
        for (int i = 0; i < 3; ++i) {
            sigaction(Signals[i], &action, &m_previous[i]);
            // A signal ignored by whoever started us (nohup, a background job) stays ignored.
            if (m_previous[i].sa_handler == SIG_IGN)
                sigaction(Signals[i], &m_previous[i], nullptr);
        }
    }
    ~SignalCatcher()
    {
        for (int i = 0; i < 3; ++i)
            sigaction(Signals[i], &m_previous[i], nullptr);
    }
    //! Ends the process by the signal that stopped the join, as if it had not been caught.
    static void reraise()
    {
        if (!g_signal)
            return;
        std::signal(g_signal, SIG_DFL);
        std::raise(g_signal);
    }

private:
    static constexpr int Signals[3] = {SIGINT, SIGTERM, SIGHUP};
    struct sigaction m_previous[3] = {};
};

QString size(qint64 bytes)
{
    return QLocale::c().formattedDataSize(bytes, 1, QLocale::DataSizeIecFormat);
}

//! The progress line on a terminal: percentage, bytes, speed, redrawn in place.
class TerminalProgress
{
public:
    bool update(qint64 joined, qint64 total)
    {
        if (!m_clock.isValid())
            m_clock.start();
        // Nothing to tell before the first bytes, and no more than ten lines a second.
        if ((joined == 0 && total > 0) || (m_shown && joined == m_lastJoined)
            || (m_shown && joined < total && m_clock.elapsed() - m_lastShown < 100))
            return !g_signal;
        m_lastShown = m_clock.elapsed();
        m_lastJoined = joined;
        const int percent = total > 0 ? int(joined * 100 / total) : 100;
        const double seconds = qMax<qint64>(m_clock.elapsed(), 1) / 1000.0;
        const QString line = QStringLiteral("\r%1%  %2 of %3  %4/s\x1b[K")
                                     .arg(percent, 3)
                                     .arg(size(joined), size(total), size(qint64(joined / seconds)));
        write(line.toLocal8Bit());
        m_shown = true;
        return !g_signal;
    }
    //! Ends the line so that messages start on one of their own.
    void finish()
    {
        // After a signal the terminal may hold its output; the shell ends the line then.
        if (m_shown && !g_signal)
            write("\n");
        m_shown = false;
    }

private:
    static void write(const QByteArray &bytes)
    {
        // A signal may cut the line short; it is only a progress line.
        [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, bytes.constData(), size_t(bytes.size()));
    }

    QElapsedTimer m_clock;
    qint64 m_lastShown = 0;
    qint64 m_lastJoined = -1;
    bool m_shown = false;
};

} // namespace

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
            "complete; it keeps its owner and its other links. On a terminal the\n"
            "progress is shown on standard error. Interrupted, the join leaves OUTPUT\n"
            "as it was.\n"
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
    QCommandLineParser parser;
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption join(QStringLiteral("join"));
    const QCommandLineOption compressed(QStringLiteral("compressed"));
    parser.addOptions({help, join, compressed});
    const bool parsed = parser.parse(QStringList{QStringLiteral("tessal")} + arguments);
    QStringList given = parser.optionNames();
    const QStringList paths = parser.positionalArguments();
    // Each option at most once, and --help alone.
    const bool once = given.removeDuplicates() == 0;
    if (parsed && once && given.size() == 1 && parser.isSet(help) && paths.isEmpty()) {
        out << commandLineHelp();
        return 0;
    }
    if (!parsed || !once || parser.isSet(help) || !parser.isSet(join) || paths.size() != 2) {
        err << "tessal: wrong command line\n\n" << commandLineHelp();
        return 2;
    }

    TerminalProgress progress;
    Combiner combiner([&](const Combiner::Message &message) {
        progress.finish();
        QTextStream &stream = message.icon == Combiner::Icon::Critical ? err : out;
        stream << message.text << Qt::endl;
    });
    const bool terminal = ::isatty(STDERR_FILENO);
    combiner.setProgress([&](qint64 joined, qint64 total) {
        return terminal ? progress.update(joined, total) : !g_signal;
    });
    bool joined = false;
    {
        const SignalCatcher catcher;
        joined = combiner.combine(paths.at(0), paths.at(1), parser.isSet(compressed));
        progress.finish();
    }
    if (!joined)
        SignalCatcher::reraise();
    return joined ? 0 : 1;
}
