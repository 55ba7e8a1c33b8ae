#include "DesignerValues.h"

#include <Picture.h>
#include <Schedule.h>

#include <QBuffer>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPluginLoader>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <QUiLoader>
#include <QtDesigner/QDesignerComponents>
#include <QtUiPlugin/QDesignerCustomWidgetCollectionInterface>
#include <QtDesigner/QDesignerFormEditorInterface>
#include <QtDesigner/QDesignerFormWindowInterface>
#include <QtDesigner/QDesignerFormWindowManagerInterface>
#include <QtDesigner/QDesignerIntegration>
#include <QtDesigner/QDesignerPropertyEditorInterface>

// The Designer plugin: a form holding the three controls, loaded with
// QUiLoader, and the property values as Designer edits them.
class TestDesignerPlugin : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_picture;

private Q_SLOTS:
    void initTestCase()
    {
        DesignerValues::registerConversions();
        QPixmap green(10, 8);
        green.fill(Qt::green);
        m_picture = m_dir.filePath(QStringLiteral("green.png"));
        QVERIFY(green.save(m_picture));
    }

    void loadsAFormWithAllThree()
    {
        const QString form = QStringLiteral(R"(<?xml version="1.0" encoding="UTF-8"?>
<ui version="4.0">
 <class>Form</class>
 <widget class="QWidget" name="Form">
  <layout class="QVBoxLayout" name="layout">
   <item><widget class="ZuHTTPdownload" name="http"/></item>
   <item><widget class="ZuFTPDownLoad" name="ftp">
    <property name="Host"><string>127.0.0.1</string></property>
    <property name="Path"><string>/pub/a.bin</string></property>
   </widget></item>
   <item><widget class="Schedule" name="bar">
    <property name="BackColor"><color><red>255</red><green>128</green><blue>64</blue></color></property>
    <property name="ForeFontColor"><color><red>0</red><green>0</green><blue>255</blue></color></property>
    <property name="Font"><font><family>DejaVu Sans</family><pointsize>13</pointsize><bold>true</bold></font></property>
    <property name="BkPicture"><string>%1</string></property>
    <property name="Text"><string>下载进度</string></property>
    <property name="ShowText"><bool>true</bool></property>
    <property name="BorderStyle"><number>0</number></property>
    <property name="MousePointer"><number>11</number></property>
   </widget></item>
   <item><widget class="QLabel" name="status"><property name="text"><string>unchanged</string></property></widget></item>
  </layout>
 </widget>
 <connections>
  <connection><sender>bar</sender><signal>Change()</signal><receiver>status</receiver><slot>clear()</slot></connection>
 </connections>
</ui>
)").arg(m_picture);
        QUiLoader loader;
        loader.clearPluginPaths();
        loader.addPluginPath(QStringLiteral(PLUGIN_DIR));
        for (const char *name : {"ZuHTTPdownload", "ZuFTPDownLoad", "Schedule"})
            QVERIFY2(loader.availableWidgets().contains(QLatin1String(name)), name);

        QByteArray bytes = form.toUtf8();
        QBuffer buffer(&bytes);
        std::unique_ptr<QWidget> widget(loader.load(&buffer));
        QVERIFY2(widget, qPrintable(loader.errorString()));
        widget->show();
        QVERIFY(QTest::qWaitForWindowExposed(widget.get()));
        QVERIFY(!QApplication::activeModalWidget()); // no about box

        QObject *http = widget->findChild<QObject *>(QStringLiteral("http"));
        QObject *ftp = widget->findChild<QObject *>(QStringLiteral("ftp"));
        auto *bar = widget->findChild<Schedule *>(QStringLiteral("bar"));
        QVERIFY(http && ftp && bar);
        QCOMPARE(http->metaObject()->className(), "ZuHTTPdownload");
        QCOMPARE(ftp->metaObject()->className(), "ZuFTPDownLoad");
        QCOMPARE(ftp->property("Host").toString(), QStringLiteral("127.0.0.1"));
        QCOMPARE(ftp->property("Path").toString(), QStringLiteral("/pub/a.bin"));
        QCOMPARE(bar->BackColor(), 0x004080FFu);
        QCOMPARE(bar->ForeFontColor(), 0x00FF0000u);
        QCOMPARE(bar->Font().pointSize(), 13);
        QVERIFY(bar->Font().bold());
        QCOMPARE(bar->BkPicture().pixmap().size(), QSize(10, 8));
        QCOMPARE(bar->Text(), QStringLiteral("下载进度"));
        QCOMPARE(bar->BorderStyle(), qint16(0));
        QCOMPARE(bar->MousePointer(), qint16(11));

        // Its events are signals a form connects.
        auto *status = widget->findChild<QLabel *>(QStringLiteral("status"));
        bar->setValue(40);
        QCOMPARE(status->text(), QString());
    }

    // Shown as Designer edits it, and read back so after Designer wrote it; system colours as
    // the palette draws them (Button is cyan here), pictures as their file.
    void valuesAsDesignerEditsThem_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QVariant>("shown");
        Schedule bar;
        QVERIFY(bar.setProperty("BkPicture", m_picture));
        QTest::newRow("colour") << QByteArray("BackColor") << QVariant(0x004080FFu) << QVariant(QColor(255, 128, 64));
        QTest::newRow("system colour") << QByteArray("BackColor") << QVariant(0x8000000Fu) << QVariant(QColor(Qt::cyan));
        QTest::newRow("font") << QByteArray("Font") << QVariant(QFont("DejaVu Sans", 9)) << QVariant(QFont("DejaVu Sans", 9));
        QTest::newRow("no picture") << QByteArray("ForePicture") << QVariant::fromValue(Picture()) << QVariant(QString());
        QTest::newRow("picture") << QByteArray("BkPicture") << bar.property("BkPicture") << QVariant(m_picture);
        // Designer edits and stores no 16-bit numbers, only ints.
        QTest::newRow("border style") << QByteArray("BorderStyle") << QVariant::fromValue(qint16(0)) << QVariant(0);
        QTest::newRow("appearance") << QByteArray("Appearance") << QVariant::fromValue(qint16(1)) << QVariant(1);
        QTest::newRow("mouse pointer") << QByteArray("MousePointer") << QVariant::fromValue(qint16(11)) << QVariant(11);
    }
    void valuesAsDesignerEditsThem()
    {
        QFETCH(QByteArray, name);
        QFETCH(QVariant, stored);
        QFETCH(QVariant, shown);
        QPalette palette;
        palette.setColor(QPalette::Button, Qt::cyan);
        const QMetaObject &schedule = Schedule::staticMetaObject;
        const QMetaProperty meta = schedule.property(schedule.indexOfProperty(name));
        QCOMPARE(DesignerValues::toDesigner(meta, stored, palette), shown);
        Schedule bar;
        QVERIFY(meta.write(&bar, shown));
        QCOMPARE(DesignerValues::toDesigner(meta, meta.read(&bar), palette), shown);
    }

    // Designer's own property editor, with the plugin loaded as Designer loads it.
    void propertyEditorShowsEveryProperty()
    {
        QCoreApplication::addLibraryPath(QStringLiteral(PLUGIN_DIR "/.."));
        QDesignerComponents::initializeResources();
        std::unique_ptr<QDesignerFormEditorInterface> core(QDesignerComponents::createFormEditor(nullptr));
        QDesignerComponents::initializePlugins(core.get());
        QDesignerIntegration integration(core.get());
        std::unique_ptr<QDesignerPropertyEditorInterface> editor(
                QDesignerComponents::createPropertyEditor(core.get(), nullptr));
        core->setPropertyEditor(editor.get());
        const QStringList controls = classNames(core.get());
        QVERIFY2(controls.contains(QStringLiteral("Schedule")), qPrintable(controls.join(u' ')));

        std::unique_ptr<QDesignerFormWindowInterface> form(core->formWindowManager()->createFormWindow());
        form->setContents(QStringLiteral(R"(<ui version="4.0"><class>Form</class>
<widget class="QWidget" name="Form"><widget class="Schedule" name="bar"/></widget></ui>)"));
        auto *bar = form->mainContainer()->findChild<Schedule *>(QStringLiteral("bar"));
        QVERIFY(bar);
        editor->setObject(bar);
        QStringList shown;
        for (QTreeWidget *tree : editor->findChildren<QTreeWidget *>()) {
            for (QTreeWidgetItemIterator it(tree); *it; ++it)
                shown.append((*it)->text(0));
        }
        const QStringList expected{"BorderStyle", "Appearance", "MousePointer", "Max", "Value", "BackColor",
                                   "BkPicture", "Text", "Doevent"};
        for (const QString &name : expected)
            QVERIFY2(shown.contains(name), qPrintable(name + QStringLiteral(" not in ") + shown.join(u' ')));
        editor->setObject(nullptr);
    }

    // The widget box shows a small progress bar: fill and empty part both in view.
    void scheduleHasAnIconOfItsOwn()
    {
        QPluginLoader loader(QStringLiteral(PLUGIN_DIR "/libtessalcontrols.so"));
        auto *collection = qobject_cast<QDesignerCustomWidgetCollectionInterface *>(loader.instance());
        QVERIFY2(collection, qPrintable(loader.errorString()));
        QDesignerCustomWidgetInterface *schedule = nullptr;
        for (QDesignerCustomWidgetInterface *widget : collection->customWidgets()) {
            if (widget->name() == QLatin1String("Schedule"))
                schedule = widget;
        }
        QVERIFY(schedule);
        const QIcon icon = schedule->icon();
        const QPalette palette = QApplication::palette();
        for (const int side : {16, 32}) {
            const QImage image = icon.pixmap(side, side).toImage().convertToFormat(QImage::Format_ARGB32);
            QCOMPARE(image.size(), QSize(side, side));
            // Along the middle: border, fill, empty part, border.
            const int y = side / 2;
            QCOMPARE(QColor(image.pixel(0, y)), QColor(Qt::black));
            QCOMPARE(QColor(image.pixel(side / 4, y)), palette.color(QPalette::Highlight));
            QCOMPARE(QColor(image.pixel(side - 3, y)), palette.color(QPalette::Button));
            QCOMPARE(QColor(image.pixel(side - 1, y)), QColor(Qt::black));
            QCOMPARE(qAlpha(image.pixel(side / 2, 0)), 0);
        }
    }

private:
    static QStringList classNames(QDesignerFormEditorInterface *core)
    {
        QStringList names;
        for (QObject *plugin : core->pluginInstances()) {
            if (auto *collection = qobject_cast<QDesignerCustomWidgetCollectionInterface *>(plugin)) {
                for (QDesignerCustomWidgetInterface *widget : collection->customWidgets())
                    names.append(widget->name());
            }
        }
        return names;
    }
};

QTEST_MAIN(TestDesignerPlugin)
#include "tst_designerplugin.moc"
