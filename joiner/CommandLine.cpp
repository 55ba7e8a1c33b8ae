#include "CommandLine.h"

#include "Combiner.h"
#include "SplitFile.h"
#include "SystemError.h"

#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocale>
#include <QTextStream>

#include <algorithm>
#include <csignal>
#include <optional>
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
            "Usage: tessal [Qt options]\n"
            "       tessal --join STENCIL OUTPUT [--compressed]\n"
            "       tessal --split FILE SIZE [STENCIL]\n"
            "       tessal --check STENCIL\n"
            "       tessal --help\n"
            "\n"
            "Without --join, --split or --check tessal opens its window; Qt's own\n"
            "options (-style Fusion, -platform xcb, ...) go to Qt.\n"
            "\n"
            "--join rebuilds OUTPUT from the numbered piece files that the stencil\n"
            "file STENCIL (.kvs) names, without a window, and prints the messages the\n"
            "window would show. An existing OUTPUT is replaced only once the join is\n"
            "complete and its data are on disk: a failure (a full disk included) or\n"
            "an interruption (Ctrl-C, SIGTERM, SIGHUP) leaves OUTPUT as it was.\n"
            "An OUTPUT with other hard links, another owner, or in a folder tessal\n"
            "cannot write keeps its identity: the new content is copied into it as\n"
            "the last step, after the space for it is reserved (where the file\n"
            "system cannot reserve space, the free space is checked instead). That\n"
            "step is not interrupted: an interruption lets it finish and the join\n"
            "is done. Only a hard kill (SIGKILL, a crash, a power cut) during it\n"
            "can leave OUTPUT partly rewritten.\n"
            "\n"
            "--compressed unpacks the joined file, a cabinet, with tessal's helper\n"
            "EXTRACT and puts the unpacked file in place of OUTPUT; when that fails\n"
            "or is interrupted, OUTPUT keeps the joined cabinet.\n"
            "\n"
            "--split writes FILE as numbered piece files of SIZE bytes (the last one\n"
            "shorter) and the stencil STENCIL that names them (FILE.kvs when not\n"
            "given). The pieces go beside the stencil, named after FILE: NAME.001,\n"
            "NAME.002, ... SIZE takes K, M, G (1024) or KB, MB, GB (1000), as in\n"
            "1440K, 700M or 1.5G. A piece file is at most 2 GiB - 1 bytes and a\n"
            "stencil names at most 32767 pieces; what does not fit is refused before\n"
            "anything is written. Existing files are never replaced. A piece appears\n"
            "only when complete, the stencil last; a failure or an interruption\n"
            "removes the pieces written.\n"
            "\n"
            "--check lists every piece STENCIL names with its state (present,\n"
            "missing, short, wrong header, not a regular file, or why it cannot be\n"
            "read) and says whether a join would succeed.\n"
            "\n"
            "On a terminal --join and --split show their progress on standard error.\n"
            "\n"
            "Exit status: 0 on success (for --check: a join would succeed), 1 on\n"
            "failure, 2 for a wrong command line.\n"
            "\n"
            "Environment: ANSI_CODEPAGE names the code page of the stencil's base\n"
            "name (for example GBK); unset, the locale's character set is used.\n");
}

bool isCommandLine(const QStringList &arguments)
{
    static const QStringList own{QStringLiteral("--join"), QStringLiteral("--split"),
                                 QStringLiteral("--check"), QStringLiteral("--compressed"),
                                 QStringLiteral("--help"), QStringLiteral("-h")};
    return std::any_of(arguments.begin(), arguments.end(), [](const QString &argument) {
        return own.contains(argument.section(QLatin1Char('='), 0, 0));
    });
}

namespace {

QString pieceState(const Stencil::PieceCheck &piece)
{
    switch (piece.error) {
    case 0:
        return QStringLiteral("present, %1").arg(size(piece.dataSize));
    case SystemError::FileNotFound:
        return QStringLiteral("missing");
    case SystemError::InputPastEndOfFile:
        return QStringLiteral("short");
    case SystemError::BadRecordLength:
        return QStringLiteral("wrong header");
    case SystemError::PathFileAccessError:
        return QStringLiteral("not a regular file");
    }
    return SystemError::standardText(piece.error);
}

int check(const QString &stencilPath, QTextStream &out, QTextStream &err)
{
    Stencil::Inspection inspection;
    try {
        inspection = Stencil::inspect(stencilPath);
    } catch (const SystemError &error) {
        err << Combiner::messageFor(error) << Qt::endl;
        return 1;
    }
    qint64 total = 0;
    for (const Stencil::PieceCheck &piece : std::as_const(inspection.pieces)) {
        out << piece.shown << "  " << pieceState(piece) << '\n';
        total += piece.dataSize;
    }
    if (inspection.failure) {
        out.flush();
        err << "A join would fail: " << Combiner::messageFor(*inspection.failure) << Qt::endl;
        return 1;
    }
    out << QStringLiteral("All %1 pieces are present in %2: a join gives %3 (%4 bytes).")
                    .arg(inspection.pieces.size())
                    .arg(inspection.folder, size(total))
                    .arg(total)
        << Qt::endl;
    return 0;
}

} // namespace

int runCommandLine(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    QCommandLineParser parser;
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption join(QStringLiteral("join"));
    const QCommandLineOption split(QStringLiteral("split"));
    const QCommandLineOption checkOption(QStringLiteral("check"));
    const QCommandLineOption compressed(QStringLiteral("compressed"));
    parser.addOptions({help, join, split, checkOption, compressed});
    const bool parsed = parser.parse(QStringList{QStringLiteral("tessal")} + arguments);
    QStringList given = parser.optionNames();
    const QStringList paths = parser.positionalArguments();
    // Each option at most once, one mode, and --help alone.
    const bool once = given.removeDuplicates() == 0;
    const int modes = int(parser.isSet(join)) + int(parser.isSet(split)) + int(parser.isSet(checkOption));
    if (parsed && once && given.size() == 1 && parser.isSet(help) && paths.isEmpty()) {
        out << commandLineHelp();
        return 0;
    }
    const bool fits = (parser.isSet(join) && paths.size() == 2)
            || (parser.isSet(split) && (paths.size() == 2 || paths.size() == 3))
            || (parser.isSet(checkOption) && paths.size() == 1);
    const std::optional<qint64> pieceSize = parser.isSet(split) && paths.size() >= 2
            ? Split::parseSize(paths.at(1))
            : std::nullopt;
    if (!parsed || !once || parser.isSet(help) || modes != 1 || !fits
        || (parser.isSet(compressed) && !parser.isSet(join)) || (parser.isSet(split) && !pieceSize)) {
        err << "tessal: wrong command line\n";
        if (parser.isSet(split) && fits && !pieceSize)
            err << "tessal: SIZE " << paths.at(1) << " is no size (a number with K, M, G, KB, MB or GB)\n";
        err << '\n' << commandLineHelp();
        return 2;
    }
    if (parser.isSet(checkOption))
        return check(paths.at(0), out, err);

    TerminalProgress progress;
    const bool terminal = ::isatty(STDERR_FILENO);
    const auto follow = [&](qint64 done, qint64 total, bool) {
        return terminal ? progress.update(done, total) : !g_signal;
    };
    bool done = false;
    if (parser.isSet(split)) {
        const QString stencil = paths.size() == 3 ? paths.at(2) : Split::defaultStencil(paths.at(0));
        const SignalCatcher catcher;
        try {
            const QStringList pieces = SplitFile(paths.at(0), *pieceSize, stencil, follow);
            progress.finish();
            done = true;
            const QString last = pieces.size() > 1
                    ? QStringLiteral(" to .") + pieces.last().section(QLatin1Char('.'), -1)
                    : QString();
            out << "Split succeed 分割成功！！！ " << pieces.size()
                << (pieces.size() > 1 ? " pieces, " : " piece, ") << Stencil::readable(pieces.first()) << last
                << ", and the stencil "
                << Stencil::readable(QFileInfo(stencil).absoluteFilePath()) << Qt::endl;
        } catch (const SystemError &error) {
            progress.finish();
            if (error.number() != SystemError::UserInterrupt)
                err << error.description() << Qt::endl;
        }
    } else {
        Combiner combiner([&](const Combiner::Message &message) {
            progress.finish();
            QTextStream &stream = message.icon == Combiner::Icon::Critical ? err : out;
            stream << message.text << Qt::endl;
        });
        combiner.setProgress(follow);
        combiner.setExtracting([] { return !g_signal; });
        const SignalCatcher catcher;
        done = combiner.combine(paths.at(0), paths.at(1), parser.isSet(compressed));
        progress.finish();
    }
    if (!done)
        SignalCatcher::reraise();
    return done ? 0 : 1;
}
