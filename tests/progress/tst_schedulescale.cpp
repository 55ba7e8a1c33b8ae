#include "ScheduleFixture.h"

#include <QImage>
#include <QTest>

// The bar's edges at the scale the test runs at (QT_SCALE_FACTOR 1, 1.5
// or 2): every device pixel of the outermost columns and rows is painted
// in the colour of the border or of what lies inside, read from a grab.
class ScheduleScale : public QObject
{
    Q_OBJECT

private:
    static constexpr quint32 White = 0x00FFFFFF;
    static constexpr quint32 Blue = 0x00FF0000;
    QWidget *canvas = nullptr;
    qreal scale = 1;

    struct Edge
    {
        enum Side { Left, Top, Right, Bottom } side;
        QRgb colour;
    };

    static QRgb rgb(const QColor &color) { return color.rgb(); }

    //! A shown bar, white with a blue fill, \a width x 40, at \a value of 100, read from a grab.
    QImage shot(int borderStyle, int appearance, int width, int value)
    {
        auto *bar = new Schedule(canvas);
        load(*bar, {});
        bar->setDoevent(false);
        bar->setBackColor(White);
        bar->setForeColor(Blue);
        bar->setBorderStyle(qint16(borderStyle));
        bar->setAppearance(qint16(appearance));
        bar->hostResize(width * 15, 40 * 15);
        bar->setValue(value);
        bar->show();
        return bar->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }

private Q_SLOTS:
    void initTestCase()
    {
        canvas = new QWidget;
        canvas->resize(300, 100);
        canvas->show();
        QVERIFY(QTest::qWaitForWindowExposed(canvas));
        scale = canvas->devicePixelRatioF();
        const QByteArray asked = qgetenv("QT_SCALE_FACTOR");
        if (!asked.isEmpty())
            QCOMPARE(scale, asked.toDouble());
    }
    void cleanupTestCase() { delete canvas; }
    void cleanup() { qDeleteAll(canvas->findChildren<Schedule *>(Qt::FindDirectChildrenOnly)); }

    void outermostDevicePixelsArePainted_data()
    {
        QTest::addColumn<int>("borderStyle");
        QTest::addColumn<int>("appearance");
        QTest::addColumn<int>("value");
        QTest::addColumn<QList<Edge>>("edges");
        const QPalette palette = QApplication::palette();
        const QRgb black = rgb(Qt::black), blue = rgb(Qt::blue), white = rgb(Qt::white);
        const QRgb light = rgb(palette.color(QPalette::Light));
        const auto all = [](QRgb colour) {
            return QList<Edge>{{Edge::Left, colour}, {Edge::Top, colour}, {Edge::Right, colour}, {Edge::Bottom, colour}};
        };
        QTest::newRow("flat border") << 1 << 0 << 50 << all(black);
        QTest::newRow("sunken edge, light side") << 1 << 1 << 50
                                                 << QList<Edge>{{Edge::Right, light}, {Edge::Bottom, light}};
        QTest::newRow("no border, full") << 0 << 1 << 100 << all(blue);
        QTest::newRow("no border, empty") << 0 << 1 << 0 << all(white);
    }
    void outermostDevicePixelsArePainted()
    {
        QFETCH(int, borderStyle);
        QFETCH(int, appearance);
        QFETCH(int, value);
        QFETCH(QList<Edge>, edges);
        const QImage image = shot(borderStyle, appearance, 204, value);
        QCOMPARE(image.size(), (QSizeF(204, 40) * scale).toSize());
        for (const Edge &edge : edges) {
            const bool column = edge.side == Edge::Left || edge.side == Edge::Right;
            const int at = edge.side == Edge::Left || edge.side == Edge::Top ? 0
                         : (column ? image.width() : image.height()) - 1;
            const int length = column ? image.height() : image.width();
            for (int i = 0; i < length; ++i) {
                const QPoint p = column ? QPoint(at, i) : QPoint(i, at);
                QVERIFY2(image.pixel(p) == edge.colour,
                         qPrintable(QStringLiteral("%1,%2 is %3").arg(p.x()).arg(p.y())
                                        .arg(image.pixel(p), 8, 16)));
            }
        }
    }

    // Half of 200 pixels: the fill ends on the device pixel that the
    // logical edge falls on, with no gap and no overlap.
    void fillEndsOnTheDevicePixelOfItsEdge()
    {
        const QImage image = shot(0, 1, 200, 50);
        const int edge = qRound(100 * scale);
        for (int y = 0; y < image.height(); ++y) {
            QCOMPARE(image.pixel(edge - 1, y), rgb(Qt::blue));
            QCOMPARE(image.pixel(edge, y), rgb(Qt::white));
        }
    }
};

QTEST_MAIN(ScheduleScale)
#include "tst_schedulescale.moc"
