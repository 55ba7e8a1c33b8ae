#include "ScheduleFixture.h"

#include "PropertyBag.h"

#include <QImage>
#include <QPainter>
#include <QTest>

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

    Schedule *makeBar(int width, int height)
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

    void fillCoversValueOverMaxOfTheInnerWidth()
    {
        Schedule *bar = makeBar(204, 40); // inner 200 x 36 inside the sunken edge
        bar->setShowText(false);
        bar->setShowPercent(false);
        bar->setValue(50);
        const QImage image = shot(bar, "half");
        const int row = 3;
        for (int x = 2; x < 102; ++x)
            QCOMPARE(image.pixel(x, row), rgb(Qt::blue));
        for (int x = 102; x < 202; ++x)
            QCOMPARE(image.pixel(x, row), rgb(Qt::white));
        // The sunken two-pixel edge lies outside the inner width.
        QVERIFY(image.pixel(0, row) != rgb(Qt::blue));
        QVERIFY(image.pixel(1, row) != rgb(Qt::blue));
    }

    void flatBorderIsOnePixel()
    {
        Schedule *bar = makeBar(202, 40);
        bar->setAppearance(0);
        bar->hostResize(202 * 15, 40 * 15); // the relayout takes the thinner border in
        bar->setShowText(false);
        bar->setShowPercent(false);
        bar->setValue(50);
        const QImage image = shot(bar, "flat");
        QCOMPARE(image.pixel(0, 10), rgb(Qt::black));
        for (int x = 1; x < 101; ++x)
            QCOMPARE(image.pixel(x, 10), rgb(Qt::blue));
        QCOMPARE(image.pixel(101, 10), rgb(Qt::white));
        QCOMPARE(image.pixel(201, 10), rgb(Qt::black));
    }

    void textColourChangesExactlyAtTheFillEdge_data()
    {
        QTest::addColumn<int>("value");
        QTest::newRow("half") << 50;
        QTest::newRow("a third") << 33;
        QTest::newRow("odd edge") << 71;
    }
    void textColourChangesExactlyAtTheFillEdge()
    {
        QFETCH(int, value);
        Schedule *bar = makeBar(204, 40);
        bar->setText(QStringLiteral("MMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMM"));
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
        Schedule *bar = makeBar(204, 40);
        bar->setShowText(false);
        bar->setShowPercent(false);
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

    void backgroundPictureSitsAtTheInnerCorner()
    {
        Schedule *bar = makeBar(204, 40);
        bar->setShowText(false);
        bar->setShowPercent(false);
        QPixmap green(10, 10);
        green.fill(Qt::green);
        bar->setBkPicture(Picture(green));
        const QImage image = shot(bar, "background picture");
        QCOMPARE(image.pixel(2, 2), rgb(Qt::green));
        QCOMPARE(image.pixel(11, 11), rgb(Qt::green));
        QCOMPARE(image.pixel(12, 12), rgb(Qt::white));
    }

    void fillIsOnlyTheTop105PixelsOfATallBar()
    {
        Schedule *bar = makeBar(104, 140);
        bar->setShowText(false);
        bar->setShowPercent(false);
        bar->setValue(100);
        const QImage image = shot(bar, "tall");
        QCOMPARE(image.pixel(50, 2 + 104), rgb(Qt::blue));
        QCOMPARE(image.pixel(50, 2 + 105), rgb(Qt::white));
        QCOMPARE(image.pixel(50, 137), rgb(Qt::white));
    }

    void valueZeroHidesTheFill()
    {
        Schedule *bar = makeBar(204, 40);
        bar->setShowText(false);
        bar->setShowPercent(false);
        bar->setValue(60);
        bar->setValue(0);
        const QImage image = shot(bar, "zero");
        QCOMPARE(image.pixel(2, 10), rgb(Qt::white));
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

    void chineseTextIsDrawn()
    {
        Schedule *bar = makeBar(308, 40);
        QFont font(QStringLiteral("WenQuanYi Zen Hei"));
        font.setPixelSize(16);
        font.setStyleStrategy(QFont::NoAntialias);
        bar->setFont(font);
        bar->setText(QStringLiteral("正在下载文件"));
        bar->setValue(30);
        const QImage image = shot(bar, "chinese");
        QVERIFY(firstRowWith(image, rgb(Qt::red)) > 0);
        QVERIFY(firstRowWith(image, rgb(Qt::yellow)) > 0);
    }
};

QTEST_MAIN(SchedulePicture)
#include "tst_schedulepicture.moc"
