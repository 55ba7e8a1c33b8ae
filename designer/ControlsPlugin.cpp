#include "ControlsPlugin.h"

#include "ControlWidgetPlugin.h"
#include "DesignerValues.h"

#include <Schedule.h>
#include <ZuFTPDownLoad.h>
#include <ZuHTTPdownload.h>

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
                                [](QWidget *parent) { return new Schedule(parent); }, this),
    };
}
