#include "ControlsPlugin.h"

#include "ControlWidgetPlugin.h"
#include "DesignerValues.h"

#include <Schedule.h>
#include <ZuFTPDownLoad.h>
#include <ZuHTTPdownload.h>

#include <PropertyBag.h>

#include <QIcon>
#include <QPainter>

namespace {

// The bar's face at the size of a full-size control is a plain strip in an
// icon; a small bar, filled to 60 %, in the palette's colours reads as one.
QIcon scheduleIcon()
{
    QIcon icon;
    for (const int side : {16, 22, 32, 48}) {
        Schedule bar;
        PropertyBag saved;
        bar.hostReadProperties(saved); // no texts, no about box
        bar.setDoevent(false);
        bar.setAppearance(0);
        bar.hostResize(side * 15, (side / 2) * 15);
        bar.setValue(60);
        const QPixmap face = bar.grab();
        QPixmap square(QSize(side, side) * face.devicePixelRatio());
        square.setDevicePixelRatio(face.devicePixelRatio());
        square.fill(Qt::transparent);
        QPainter painter(&square);
        painter.drawPixmap(0, (side - side / 2) / 2, face);
        painter.end();
        icon.addPixmap(square);
    }
    return icon;
}

} // namespace

ControlsPlugin::ControlsPlugin(QObject *parent)
    : QObject(parent)
{
    DesignerValues::registerConversions();
    const QString download = QStringLiteral("Zu下载控件");
    m_widgets = {
        new ControlWidgetPlugin(QStringLiteral("ZuHTTPdownload"), download, tr("Downloads a resource over HTTP"),
                                [](QWidget *parent) { return new ZuHTTPdownload(parent); }, this),
        new ControlWidgetPlugin(QStringLiteral("ZuFTPDownLoad"), download, tr("Downloads a file over FTP"),
                                [](QWidget *parent) { return new ZuFTPDownLoad(parent); }, this),
        new ControlWidgetPlugin(QStringLiteral("Schedule"), QStringLiteral("Schedule"),
                                tr("A progress bar with text and percentage"),
                                [](QWidget *parent) { return new Schedule(parent); }, this, &scheduleIcon),
    };
}
