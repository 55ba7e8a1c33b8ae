#include "MessageLoop.h"

#include <QCoreApplication>

void MessageLoop::yield()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}
