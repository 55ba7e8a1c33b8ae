#include "ScheduleFixture.h"

#include "PropertyBag.h"

#include <QImage>
#include <QPainter>
#include <QTest>

struct Probe
{
    QRect area;
    QRgb colour;
    bool equal = true; //!< false: no pixel of the area has the colour
};

// Screenshots of the bar read pixel by pixel. Colours are OLE values (red in
// the low byte); fonts are drawn without antialiasing so every text pixel has
// exactly the text colour.
class SchedulePicture : public QObject
{
    Q_OBJECT

private:
    static constexpr quint32 White = 0x00FFFFFF;
    static constexpr quint32 Blue = 0x00FF0000;
    static constexpr quint32 Red = 0x000000FF;
    static constexpr quint32 Yellow = 0x0000FFFF;

    HostRecorder host;
    QWidget *window = nullptr;

    //! A shown bar in plain colours; \a texts false hides both texts.
    Schedule *makeBar(int width, int height, bool texts = true)
    {
        auto *bar = new Schedule(window);
        bar->hostResize(width * 15, height * 15);
        bar->setBackColor(White);
        bar->setForeColor(Blue);
        bar->setBkFontColor(Red);
        bar->setForeFontColor(Yellow);
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(14);
        font.setBold(true);
        font.setStyleStrategy(QFont::NoAntialias);
        bar->setFont(font);
        bar->setDoevent(false);
        bar->setShowText(texts);
        bar->setShowPercent(texts);
        bar->show();
        return bar;
    }

    static QImage shot(Schedule *bar, const char *name)
    {
        const QImage image = bar->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QByteArray dir = qgetenv("SCHEDULE_SCREENSHOT_DIR");
        if (!dir.isEmpty())
            image.save(QString::fromLocal8Bit(dir) + u'/' + QLatin1String(name) + QStringLiteral(".png"));
        return image;
    }

    static QRgb rgb(Qt::GlobalColor color) { return QColor(color).rgb(); }

    // The first row, from the top, that holds a pixel of \a color; -1 if none.
    static int firstRowWith(const QImage &image, QRgb color)
    {
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (image.pixel(x, y) == color)
                    return y;
            }
        }
        return -1;
    }

private Q_SLOTS:
    void initTestCase()
    {
        host.install();
        window = new QWidget;
        window->resize(400, 200);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
    }
    void cleanupTestCase() { delete window; }
    void init() { host.clear(); }
    void cleanup() { qDeleteAll(window->findChildren<Schedule *>(Qt::FindDirectChildrenOnly)); }

    void fillAndBorders_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("appearance");
        QTest::addColumn<QList<int>>("values");
        QTest::addColumn<bool>("greenPicture"); // a 10 x 10 background picture
        QTest::addColumn<QList<Probe>>("probes");
        const QRgb blue = rgb(Qt::blue), white = rgb(Qt::white), black = rgb(Qt::black), green = rgb(Qt::green);
        // Inner 200 x 36 inside the sunken two-pixel edge, which the fill leaves alone.
        QTest::newRow("half") << QSize(204, 40) << 1 << QList<int>{50} << false
                              << QList<Probe>{{{2, 3, 100, 1}, blue}, {{102, 3, 100, 1}, white}, {{0, 3, 2, 1}, blue, false}};
        // The relayout on resizing takes the thinner flat border in.
        QTest::newRow("flat border is one pixel")
                << QSize(202, 40) << 0 << QList<int>{50} << false
                << QList<Probe>{{{0, 10, 1, 1}, black}, {{1, 10, 100, 1}, blue}, {{101, 10, 1, 1}, white}, {{201, 10, 1, 1}, black}};
        QTest::newRow("tall bar fills only the top 105 pixels")
                << QSize(104, 140) << 1 << QList<int>{100} << false
                << QList<Probe>{{{50, 2, 1, 105}, blue}, {{50, 107, 1, 31}, white}};
        QTest::newRow("zero hides the fill") << QSize(204, 40) << 1 << QList<int>{60, 0} << false
                                             << QList<Probe>{{{2, 2, 200, 36}, white}};
        QTest::newRow("background picture at the inner corner")
                << QSize(204, 40) << 1 << QList<int>{} << true
                << QList<Probe>{{{2, 2, 10, 10}, green}, {{12, 12, 1, 1}, white}};
    }
    void fillAndBorders()
    {
        QFETCH(QSize, size);
        QFETCH(int, appearance);
        QFETCH(QList<int>, values);
        QFETCH(bool, greenPicture);
        QFETCH(QList<Probe>, probes);
        Schedule *bar = makeBar(size.width(), size.height(), false);
        bar->setAppearance(qint16(appearance));
        bar->hostResize(size.width() * 15, size.height() * 15);
        if (greenPicture) {
            QPixmap green(10, 10);
            green.fill(Qt::green);
            bar->setBkPicture(Picture(green));
        }
        for (int value : values)
            bar->setValue(value);
        const QImage image = shot(bar, QTest::currentDataTag());
        for (const Probe &probe : probes) {
            for (int y = probe.area.top(); y <= probe.area.bottom(); ++y) {
                for (int x = probe.area.left(); x <= probe.area.right(); ++x)
                    QVERIFY2((image.pixel(x, y) == probe.colour) == probe.equal,
                             qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));
            }
        }
    }

    void textColourChangesExactlyAtTheFillEdge_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("family"); // empty: the bar's bold DejaVu Sans
        const QString wide(32, u'M');
        QTest::newRow("half") << 50 << wide << QString();
        QTest::newRow("a third") << 33 << wide << QString();
        QTest::newRow("odd edge") << 71 << wide << QString();
        QTest::newRow("chinese") << 30 << QStringLiteral("正在下载文件正在下载文件") << "WenQuanYi Zen Hei";
    }
    void textColourChangesExactlyAtTheFillEdge()
    {
        QFETCH(int, value);
        QFETCH(QString, text);
        QFETCH(QString, family);
        Schedule *bar = makeBar(204, 40);
        if (!family.isEmpty()) {
            QFont font(family);
            font.setPixelSize(16);
            font.setStyleStrategy(QFont::NoAntialias);
            bar->setFont(font);
        }
        bar->setText(text);
        bar->setValue(value);
        const int edge = 2 + value * 2;
        const QImage image = shot(bar, "edge");
        int yellowNearEdge = 0;
        int redNearEdge = 0;
        for (int y = 2; y < 38; ++y) {
            for (int x = 2; x < 202; ++x) {
                const QRgb pixel = image.pixel(x, y);
                if (x < edge) {
                    QVERIFY2(pixel == rgb(Qt::blue) || pixel == rgb(Qt::yellow),
                             qPrintable(QStringLiteral("fill side %1,%2").arg(x).arg(y)));
                    yellowNearEdge += (x >= edge - 6 && pixel == rgb(Qt::yellow));
                } else {
                    QVERIFY2(pixel == rgb(Qt::white) || pixel == rgb(Qt::red),
                             qPrintable(QStringLiteral("empty side %1,%2").arg(x).arg(y)));
                    redNearEdge += (x < edge + 6 && pixel == rgb(Qt::red));
                }
            }
        }
        QVERIFY(yellowNearEdge > 0);
        QVERIFY(redNearEdge > 0);
    }

    void borderStyleZeroPutsTheTextTwoPixelsLower()
    {
        Schedule *bar = makeBar(204, 41);
        bar->setText(QStringLiteral("MMMM"));
        bar->setShowPercent(false);
        const int framed = firstRowWith(shot(bar, "framed"), rgb(Qt::red));
        bar->setBorderStyle(0);
        const int bare = firstRowWith(shot(bar, "bare"), rgb(Qt::red));
        QVERIFY(framed > 0);
        QCOMPARE(bare - framed, 2);
        bar->setShowText(false);
        bar->setShowPercent(true);
        bar->setValue(0);
        const int percentBare = firstRowWith(shot(bar, "percent bare"), rgb(Qt::red));
        bar->setBorderStyle(1);
        const int percentFramed = firstRowWith(shot(bar, "percent framed"), rgb(Qt::red));
        QCOMPARE(percentBare - percentFramed, 2);
    }

    void fillPictureIsUncoveredFromTheLeft()
    {
        Schedule *bar = makeBar(204, 40, false);
        QImage stripes(200, 36, QImage::Format_RGB32);
        for (int x = 0; x < 200; ++x) {
            for (int y = 0; y < 36; ++y)
                stripes.setPixel(x, y, qRgb(x, 100, 255 - x));
        }
        bar->setForePicture(Picture(QPixmap::fromImage(stripes)));
        for (const int value : {25, 75}) {
            bar->setValue(value);
            const QImage image = shot(bar, "picture");
            const int fill = value * 2;
            for (int x = 0; x < fill; ++x)
                QCOMPARE(image.pixel(2 + x, 10), qRgb(x, 100, 255 - x));
            QCOMPARE(image.pixel(2 + fill, 10), rgb(Qt::white));
        }
    }

    void systemColoursComeFromThePalette()
    {
        auto *bar = new Schedule(window);
        bar->hostResize(204 * 15, 40 * 15);
        bar->setShowText(false);
        bar->setShowPercent(false);
        bar->setValue(50);
        bar->show();
        const QImage image = shot(bar, "system colours");
        const QPalette palette = bar->palette();
        QCOMPARE(image.pixel(150, 10), palette.color(QPalette::Button).rgb());
        QCOMPARE(image.pixel(50, 10), palette.color(QPalette::Highlight).rgb());
    }
};

QTEST_MAIN(SchedulePicture)
#include "tst_schedulepicture.moc"
