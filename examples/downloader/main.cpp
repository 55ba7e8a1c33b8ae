#include "DownloadWindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    DownloadWindow window;
    // Addresses given on the command line are queued at once.
    window.addAddresses(QApplication::arguments().mid(1).join(u'\n'));
    window.show();
    return app.exec();
}
