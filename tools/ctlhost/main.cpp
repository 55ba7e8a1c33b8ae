#include "CommandReader.h"
#include "ControlHost.h"
#include "ControlLibrary.h"
#include "ControlLoader.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>

int main(int argc, char *argv[])
{
    // Help must be readable without a display.
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if ((arg == "-h" || arg == "--help" || arg == "--help-all") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ctlhost"));
    QApplication::setQuitOnLastWindowClosed(false);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Hosts one control of CLASS (ZuHTTPdownload, ZuFTPDownLoad, Schedule, or a class of a\n"
        "library given with --library) on a window and runs commands read from standard input,\n"
        "one JSON array per line; each is answered with one JSON object on one line.\n"
        "\n"
        "Commands:\n"
        "  [\"load\", {KEY: VALUE, ...}] or [\"load\", FILE]   load from saved properties\n"
        "  [\"save\"] or [\"save\", FILE]     -> [[KEY, VALUE, DEFAULT], ...] in write order\n"
        "  [\"show\"]  [\"hide\"]  [\"resize\", W, H]  [\"size\"] -> [W, H]   (twips)\n"
        "  [\"get\", NAME]  [\"set\", NAME, VALUE]  [\"call\", NAME, ARG...]\n"
        "  [\"wait\", EVENT, TIMEOUT_MS]  [\"pump\", MS]  [\"members\"]\n"
        "  [\"mouse\", \"down\"|\"up\", X, Y, BUTTON, SHIFT]  (pixels; BUTTON 1 left 2 right 4 middle)\n"
        "  [\"key\", \"down\"|\"up\", KEYCODE, SHIFT]  (virtual key code; SHIFT 1 Shift 2 Ctrl 4 Alt)\n"
        "  [\"screenshot\", PNG_FILE]  [\"quit\"]\n"
        "Printed as they happen: {\"event\": NAME, \"args\": [...]}, {\"changed\": NAME},\n"
        "{\"modal\": {\"title\": T, \"texts\": [...]}} and {\"shell\": {\"verb\": V, \"target\": T}}.\n"
        "Modal windows are closed at once as if OK were pressed, and shell requests are only\n"
        "printed. Failures answer {\"ok\": false, \"error\": NUMBER, \"description\": TEXT}.\n"
        "Values: empty null, texts, numbers, true/false, a font {\"name\", \"size\", \"bold\", ...},\n"
        "a picture as the path of its file (set one by giving a path).\n"
        "\n"
        "Commands run one at a time in the order read, also while a control waits in an event\n"
        "loop of its own (as a host window's handlers do); lines that arrive while a command\n"
        "runs wait for it. wait and pump keep the commands after them until they answer. wait\n"
        "counts an event raised after the previous answer (while idle or while waiting), not\n"
        "one raised during an earlier command. The control is initialised as new before the\n"
        "first command other than load, members and quit, unless load came first. quit and the\n"
        "end of input unload the control, which ends any wait of its own.\n"
        "\n"
        "Libraries are searched in this order: --library files, the files and folders in\n"
        "CTLHOST_LIBRARY_PATH (':'-separated), libzudownload.so / libSchedule.so in the\n"
        "library folder of the installation (../lib beside ctlhost), in ctlhost's folder, and,\n"
        "when run from the build tree, in the libraries' build folders."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("CLASS"), QStringLiteral("The control class to host."));
    const QCommandLineOption libraryOption(
        QStringLiteral("library"), QStringLiteral("A control library to search first (may be repeated)."),
        QStringLiteral("PATH"));
    const QCommandLineOption keepModalsOption(
        QStringLiteral("keep-modals"), QStringLiteral("Leave modal windows open for the user to close."));
    const QCommandLineOption modalScreenshotsOption(
        QStringLiteral("modal-screenshots"),
        QStringLiteral("Save each modal window as DIR/modal-N.png before closing it; the modal line names the file."),
        QStringLiteral("DIR"));
    parser.addOption(libraryOption);
    parser.addOption(keepModalsOption);
    parser.addOption(modalScreenshotsOption);
    parser.process(app);

    if (parser.positionalArguments().size() != 1) {
        std::fprintf(stderr, "ctlhost: give one control class (see --help)\n");
        return 2;
    }
    const QString className = parser.positionalArguments().first();
    ControlLoader loader;
    for (const QString &library : parser.values(libraryOption))
        loader.addLibrary(library);
    QString error;
    const ControlClass *controlClass = loader.find(className, &error);
    if (!controlClass) {
        std::fprintf(stderr, "ctlhost: %s\n", qPrintable(error));
        return 2;
    }

    ControlHost::Options options;
    options.keepModals = parser.isSet(keepModalsOption);
    options.modalScreenshots = parser.value(modalScreenshotsOption);
    ControlHost host(*controlClass, options);
    CommandReader reader;
    QObject::connect(&reader, &CommandReader::lineRead, &host, &ControlHost::enqueue);
    QObject::connect(&reader, &CommandReader::finished, &host, &ControlHost::endOfInput);
    return host.run();
}
