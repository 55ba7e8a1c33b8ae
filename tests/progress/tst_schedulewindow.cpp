#include "ScheduleFixture.h"

#include <QDialog>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QPainter>
#include <QPointer>
#include <QSet>
#include <QSignalSpy>
#include <QTest>

struct PaintCounter : QObject
{
    int paints = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

struct Probe
{
    QRect area;
    QRgb colour;
    bool equal = true; //!< false: no pixel of the area has the colour
};

// The bar in a shown window: mouse and key input forwarded as events, the
// about box and the author members, and screenshots read pixel by pixel.
// Colours are OLE values (red in the low byte); fonts are drawn without
// antialiasing so every text pixel has exactly the text colour.
class ScheduleWindow : public QObject
{
    Q_OBJECT

private:
    static constexpr quint32 White = 0x00FFFFFF;
    static constexpr quint32 Blue = 0x00FF0000;
    static constexpr quint32 Red = 0x000000FF;
    static constexpr quint32 Yellow = 0x0000FFFF;

    HostRecorder host;
    QWidget *window = nullptr; //!< holds the loaded bar the input tests share
    Schedule *bar = nullptr;
    QWidget *canvas = nullptr; //!< holds the bars of the picture tests, one each

    static constexpr QPoint BarAt{10, 10};

    static QVariantList mouseArgs(qint16 button, qint16 shift, float x, float y)
    {
        return {QVariant::fromValue(button), QVariant::fromValue(shift), QVariant::fromValue(x),
                QVariant::fromValue(y)};
    }

    //! The mail then the homepage request, both from \a parent.
    QList<HostRecorder::ShellRequest> authorRequests(QWidget *parent) const
    {
        return {{"open", "mailto:" + bar->Mailbox(), parent}, {"open", bar->Homepage(), parent}};
    }

    //! A shown bar in plain colours; \a texts false hides both texts.
    Schedule *makeBar(int width, int height, bool texts = true)
    {
        auto *bar = new Schedule(canvas);
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

    static QImage shot(Schedule *bar) { return bar->grab().toImage().convertToFormat(QImage::Format_RGB32); }

    static QRgb rgb(Qt::GlobalColor color) { return QColor(color).rgb(); }

    //! Where \a text in \a font puts ink, relative to its baseline.
    static QRect inkOf(const QFont &font, const QString &text)
    {
        QImage image(400, 200, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setFont(font);
        painter.setPen(Qt::red);
        painter.drawText(QPoint(0, 100), text);
        painter.end();
        return ink(image, image.rect()).translated(0, -100);
    }
    //! The bounding box of the pixels of \a area that are not white.
    static QRect ink(const QImage &image, const QRect &area)
    {
        QRect box;
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int x = area.left(); x <= area.right(); ++x) {
                if (image.pixel(x, y) != rgb(Qt::white))
                    box |= QRect(x, y, 1, 1);
            }
        }
        return box;
    }

private Q_SLOTS:
    void initTestCase()
    {
        host.install();
        canvas = new QWidget;
        canvas->resize(400, 200);
        canvas->show();
        QVERIFY(QTest::qWaitForWindowExposed(canvas));
        // Shown last, the input window is the active one.
        window = new QWidget;
        window->resize(400, 200);
        bar = new Schedule(window);
        load(*bar, {}); // a loaded bar: no about box on show
        bar->move(BarAt);
        bar->hostResize(204 * 15, 40 * 15);
        bar->setValue(50); // fill over bar x 2..101
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QVERIFY(host.modals.isEmpty());
    }
    void cleanupTestCase()
    {
        delete window;
        delete canvas;
    }
    void init() { host.clear(); }
    void cleanup() { qDeleteAll(canvas->findChildren<Schedule *>(Qt::FindDirectChildrenOnly)); }

    void pressAndReleaseRaiseMouseDownAndUp_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QPoint>("at");
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<QVariantList>("args"); // empty: no event
        QTest::newRow("empty part, left") << QString() << QPoint(150, 20) << Qt::LeftButton
                                          << mouseArgs(1, 0, 148, 18);
        QTest::newRow("fill, left") << QString() << QPoint(50, 20) << Qt::LeftButton << mouseArgs(1, 0, 48, 18);
        // A press on a text label reaches the pane below it.
        QTest::newRow("text over the fill") << QString(30, u'M') << QPoint(20, 20) << Qt::LeftButton << mouseArgs(1, 0, 18, 18);
        QTest::newRow("other buttons raise nothing") << QString() << QPoint(30, 30) << Qt::BackButton
                                                     << QVariantList();
    }
    void pressAndReleaseRaiseMouseDownAndUp()
    {
        QFETCH(QString, text);
        QFETCH(QPoint, at);
        QFETCH(Qt::MouseButton, button);
        QFETCH(QVariantList, args);
        bar->setText(text);
        window->setFocus();
        QSignalSpy downs(bar, &Schedule::MouseDown);
        QSignalSpy ups(bar, &Schedule::MouseUp);
        const QList<QVariantList> raised = args.isEmpty() ? QList<QVariantList>() : QList<QVariantList>{args};
        QTest::mouseMove(window->windowHandle(), BarAt + at);
        QTest::mousePress(window->windowHandle(), button, {}, BarAt + at);
        QCOMPARE(QList<QVariantList>(downs), raised);
        QVERIFY(ups.isEmpty());
        QTest::mouseRelease(window->windowHandle(), button, {}, BarAt + at);
        QCOMPARE(QList<QVariantList>(ups), raised);
        QCOMPARE(QList<QVariantList>(downs), raised);
        if (button == Qt::LeftButton) // a click gives the bar the keyboard
            QTRY_VERIFY(bar->hasFocus());
    }

    void keysGiveVirtualKeyCodes_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("shiftDown");
        QTest::addColumn<int>("shiftUp");
        QTest::addColumn<int>("repeats"); // auto-repeated presses before the release
        const Qt::KeyboardModifiers none, shift(Qt::ShiftModifier);
        QTest::newRow("a") << int(Qt::Key_A) << none << 0x41 << 0 << 0 << 0;
        QTest::newRow("shift a") << int(Qt::Key_A) << shift << 0x41 << 1 << 1 << 0;
        QTest::newRow("shifted 1") << int(Qt::Key_Exclam) << shift << 0x31 << 1 << 1 << 0;
        QTest::newRow("ctrl alt delete") << int(Qt::Key_Delete) << (Qt::ControlModifier | Qt::AltModifier) << 0x2E << 6 << 6 << 0;
        QTest::newRow("shift itself") << int(Qt::Key_Shift) << none << 0x10 << 1 << 0 << 0;
        QTest::newRow("ctrl itself") << int(Qt::Key_Control) << none << 0x11 << 2 << 0 << 0;
        QTest::newRow("auto repeat repeats only the press") << int(Qt::Key_B) << none << 0x42 << 0 << 0 << 2;
    }
    void keysGiveVirtualKeyCodes()
    {
        QFETCH(int, key);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QFETCH(int, code);
        QFETCH(int, shiftDown);
        QFETCH(int, shiftUp);
        QFETCH(int, repeats);
        QSignalSpy downs(bar, &Schedule::KeyDown);
        QSignalSpy ups(bar, &Schedule::KeyUp);
        const int last = 2 * repeats + 1;
        for (int i = 0; i <= last; ++i) {
            QKeyEvent event(i % 2 ? QEvent::KeyRelease : QEvent::KeyPress, key, modifiers, QString(), i > 0 && i < last);
            QApplication::sendEvent(bar, &event);
        }
        const auto raised = [code](int shift, int times) {
            return QList<QVariantList>(times, {QVariant::fromValue(qint16(code)), QVariant::fromValue(qint16(shift))});
        };
        QCOMPARE(QList<QVariantList>(downs), raised(shiftDown, 1 + repeats));
        QCOMPARE(QList<QVariantList>(ups), raised(shiftUp, 1));
    }

    void aboutBoxIsOneAtATime()
    {
        int nested = 0;
        QPointer<QDialog> seen;
        QDialog *box = nullptr;
        host.onModal = [&](QDialog *dialog) {
            seen = box = dialog;
            QVERIFY(!dialog->parentWidget());
            QTest::mouseClick(dialog->findChild<QLabel *>(QStringLiteral("Label5")), Qt::LeftButton);
            QTest::mouseClick(dialog->findChild<QLabel *>(QStringLiteral("Label7")), Qt::LeftButton);
            bar->About();
            const auto error = bar->takeError();
            nested = error ? error->number() : 0;
            // A new bar shown meanwhile skips its box and still counts it as shown.
            auto *fresh = new Schedule(window);
            fresh->show();
            QVERIFY(fresh->aboutShown());
            delete fresh;
        };
        bar->About();
        QCOMPARE(nested, 400);
        QCOMPARE(host.modals.size(), 1);
        QCOMPARE(host.modals.first().title, QStringLiteral("关于"));
        QCOMPARE(host.modals.first().texts, (QStringList{"进度条控件", "版  本:1.0", "作  者:Tolvar", "E-mail:", bar->Mailbox(),
                                                         "主  页:", bar->Homepage(), "确定(&T)"}));
        QCOMPARE(host.shell, authorRequests(box));
        QVERIFY(!seen); // unloaded once closed
        host.onModal = nullptr;
        bar->About(); // the box can be shown again afterwards
        QVERIFY(!bar->takeError());
        QCOMPARE(host.modals.size(), 2);

        // A new bar shows the box once, on its first show.
        auto *fresh = new Schedule(window);
        QVERIFY(!fresh->aboutShown());
        fresh->show();
        QCOMPARE(host.modals.size(), 3);
        QCOMPARE(host.modals.last().texts, host.modals.first().texts);
        QVERIFY(fresh->aboutShown());
        fresh->hide();
        fresh->show();
        QCOMPARE(host.modals.size(), 3);
        delete fresh;
    }

    void authorLinksGoToTheShellWithoutError()
    {
        QCOMPARE(bar->WriteLetter(), QVariant());
        QCOMPARE(bar->VisitHomepage(), QVariant());
        QCOMPARE(host.shell, authorRequests(bar));
        QVERIFY(!bar->takeError());
        // A shell that cannot take the request is not an error.
        Shell::Handler recorder = Shell::setHandler([](const QString &, const QString &, QWidget *) { return false; });
        bar->VisitHomepage();
        Shell::setHandler(recorder);
        QVERIFY(!bar->takeError());
    }

    void windowHandleIsTheNativeWindowOfTheBar()
    {
        QCOMPARE(quint32(bar->hwnd()), quint32(window->winId()));
        QVERIFY(!bar->testAttribute(Qt::WA_NativeWindow));
    }

    void fillAndBordersPaintTheExpectedPixels_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QVariantMap>("set");
        QTest::addColumn<QList<int>>("values");
        QTest::addColumn<QList<Probe>>("probes");
        const QRgb blue = rgb(Qt::blue), white = rgb(Qt::white), black = rgb(Qt::black), green = rgb(Qt::green);
        QPixmap pixmap(10, 10);
        pixmap.fill(Qt::green);
        const QVariant picture = QVariant::fromValue(Picture(pixmap));
        // Inner 200 x 36 inside the sunken two-pixel edge, which the fill leaves alone.
        QTest::newRow("half") << QSize(204, 40) << QVariantMap() << QList<int>{50}
                              << QList<Probe>{{{2, 3, 100, 1}, blue}, {{102, 3, 100, 1}, white}, {{0, 3, 2, 1}, blue, false}};
        // The relayout on resizing takes the thinner flat border in.
        QTest::newRow("flat border is one pixel")
                << QSize(202, 40) << QVariantMap{{"Appearance", QVariant::fromValue(qint16(0))}} << QList<int>{50}
                << QList<Probe>{{{0, 10, 1, 1}, black}, {{1, 10, 100, 1}, blue}, {{101, 10, 1, 1}, white}, {{201, 10, 1, 1}, black}};
        QTest::newRow("tall bar fills only the top 105 pixels")
                << QSize(104, 140) << QVariantMap() << QList<int>{100}
                << QList<Probe>{{{50, 2, 1, 105}, blue}, {{50, 107, 1, 31}, white}};
        QTest::newRow("background picture at the inner corner")
                << QSize(204, 40) << QVariantMap{{"BkPicture", picture}} << QList<int>{}
                << QList<Probe>{{{2, 2, 10, 10}, green}, {{12, 12, 1, 1}, white}};
        QTest::newRow("fill picture uncovered from the left")
                << QSize(204, 40) << QVariantMap{{"ForePicture", picture}} << QList<int>{3, 50}
                << QList<Probe>{{{2, 2, 10, 10}, green}, {{12, 2, 90, 1}, blue}, {{102, 2, 1, 1}, white}};
        const QPalette palette = QApplication::palette();
        QTest::newRow("system colours come from the palette")
                << QSize(204, 40) << QVariantMap{{"BackColor", 0x8000000Fu}, {"ForeColor", 0x80000002u}} << QList<int>{50}
                << QList<Probe>{{{150, 10, 1, 1}, palette.color(QPalette::Button).rgb()},
                                {{50, 10, 1, 1}, palette.color(QPalette::Highlight).rgb()}};
    }
    void fillAndBordersPaintTheExpectedPixels()
    {
        QFETCH(QSize, size);
        QFETCH(QVariantMap, set);
        QFETCH(QList<int>, values);
        QFETCH(QList<Probe>, probes);
        Schedule *bar = makeBar(size.width(), size.height(), false);
        for (auto it = set.cbegin(); it != set.cend(); ++it)
            QVERIFY(bar->setProperty(it.key().toLatin1(), it.value()));
        bar->hostResize(size.width() * 15, size.height() * 15);
        for (int value : values)
            bar->setValue(value);
        const QImage image = shot(bar);
        for (const Probe &probe : probes) {
            for (int y = probe.area.top(); y <= probe.area.bottom(); ++y) {
                for (int x = probe.area.left(); x <= probe.area.right(); ++x)
                    QVERIFY2((image.pixel(x, y) == probe.colour) == probe.equal,
                             qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));
            }
        }
    }

    // Without the yield the host gets no chance to paint: the bar repaints
    // at once, its opaque inner area included.
    void withoutTheYieldTheInnerAreaRepaintsAtOnce()
    {
        Schedule *bar = makeBar(204, 40, false);
        QWidget *inner = pane(*bar, "Pc1")->inner();
        PaintCounter counter;
        inner->installEventFilter(&counter);
        QTRY_VERIFY(counter.paints > 0);
        counter.paints = 0;
        bar->setValue(30);
        QVERIFY(counter.paints > 0);
    }

    void textColourChangesExactlyAtTheFillEdge_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("family"); // empty: the bar's bold DejaVu Sans
        const QString wide(32, u'M');
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
        const QImage image = shot(bar);
        QSet<QRgb> fillSide, emptySide;
        for (int y = 2; y < 38; ++y) {
            for (int x = 2; x < 202; ++x)
                (x < edge ? fillSide : emptySide).insert(image.pixel(x, y));
        }
        QCOMPARE(fillSide, (QSet<QRgb>{rgb(Qt::blue), rgb(Qt::yellow)}));
        QCOMPARE(emptySide, (QSet<QRgb>{rgb(Qt::white), rgb(Qt::red)}));
    }

    // Chinese glyphs come from a fallback font with a taller line than the
    // primary font: the text keeps its descenders and shares the baseline
    // of the percentage.
    void mixedTextInTheDefaultFontIsWholeAndLevel()
    {
        auto *bar = new Schedule(canvas);
        bar->hostResize(380 * 15, 40 * 15);
        bar->setBackColor(White);
        bar->setBkFontColor(Red);
        bar->setDoevent(false);
        bar->setText(QStringLiteral("gjpq 下载中"));
        bar->show();
        const QImage image = shot(bar);

        const QRect text = inkOf(bar->Font(), bar->Text());
        const QRect percent = inkOf(bar->Font(), QStringLiteral("0%"));
        const QRect textArea(2, 2, text.right() + 2, 36);
        const QRect percentArea(160, 2, 60, 36);
        const QRect drawnText = ink(image, textArea);
        const QRect drawnPercent = ink(image, percentArea);
        QVERIFY(!drawnText.isEmpty() && !drawnPercent.isEmpty());
        QCOMPARE(drawnText.height(), text.height());
        QCOMPARE(drawnText.top() - text.top(), drawnPercent.top() - percent.top());
    }

    void borderStyleZeroPutsTheTextTwoPixelsLower()
    {
        Schedule *bar = makeBar(204, 41);
        const auto inkTop = [bar] { return ink(shot(bar), QRect(2, 2, 200, 37)).top(); };
        bar->setText(QStringLiteral("MMMM"));
        bar->setShowPercent(false);
        const int framed = inkTop();
        bar->setBorderStyle(0);
        QVERIFY(framed > 0);
        QCOMPARE(inkTop() - framed, 2);
        bar->setShowText(false);
        bar->setShowPercent(true);
        const int percentBare = inkTop();
        bar->setBorderStyle(1);
        QCOMPARE(percentBare - inkTop(), 2);
    }

    // Focused, the bar shows a ring of dots in two colours just inside its
    // border, over the fill as over the empty part; unfocused it is as before.
    void focusShowsAMark()
    {
        window->activateWindow();
        QTRY_VERIFY(window->isActiveWindow());
        bar->setText(QString());
        bar->clearFocus();
        const QImage plain = shot(bar);
        bar->setFocus();
        QTRY_VERIFY(bar->hasFocus());
        const QImage marked = shot(bar);
        const QRect ring = pane(*bar, "Pc1")->inner()->geometry();
        const QPalette palette = bar->palette();
        const QSet<QRgb> dots{palette.color(QPalette::WindowText).rgb(), palette.color(QPalette::Window).rgb()};
        QSet<QRgb> seen;
        for (int y = 0; y < plain.height(); ++y) {
            for (int x = 0; x < plain.width(); ++x) {
                const bool onRing = ring.contains(x, y) && !ring.adjusted(1, 1, -1, -1).contains(x, y);
                if (onRing)
                    seen.insert(marked.pixel(x, y));
                else
                    QVERIFY2(marked.pixel(x, y) == plain.pixel(x, y), qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));
            }
        }
        QCOMPARE(seen, dots);
        bar->clearFocus();
        QCOMPARE(shot(bar), plain);
    }

    // Focused in a dialog, the bar raises KeyDown for Escape and Return
    // and the dialog still answers them.
    void dialogKeysReachTheWindow_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("result");
        QTest::newRow("escape cancels") << int(Qt::Key_Escape) << Qt::KeyboardModifiers() << 0x1B << int(QDialog::Rejected);
        QTest::newRow("return presses the default button") << int(Qt::Key_Return) << Qt::KeyboardModifiers() << 0x0D
                                                           << int(QDialog::Accepted);
        QTest::newRow("keypad enter too") << int(Qt::Key_Enter) << Qt::KeyboardModifiers(Qt::KeypadModifier) << 0x0D
                                          << int(QDialog::Accepted);
        QTest::newRow("space stays with the bar") << int(Qt::Key_Space) << Qt::KeyboardModifiers() << 0x20 << -1;
    }
    void dialogKeysReachTheWindow()
    {
        QFETCH(int, key);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QFETCH(int, code);
        QFETCH(int, result);
        QDialog dialog;
        auto *dialogBar = new Schedule(&dialog);
        load(*dialogBar, {});
        auto *ok = new QPushButton(QStringLiteral("OK"), &dialog);
        ok->setDefault(true);
        connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
        auto *layout = new QVBoxLayout(&dialog);
        layout->addWidget(dialogBar);
        layout->addWidget(ok);
        dialog.setResult(-1);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        dialog.activateWindow();
        dialogBar->setFocus();
        QTRY_VERIFY(dialogBar->hasFocus());
        QSignalSpy downs(dialogBar, &Schedule::KeyDown);
        QTest::keyClick(dialogBar, Qt::Key(key), modifiers);
        QCOMPARE(downs.size(), 1);
        QCOMPARE(downs.first().first().value<qint16>(), qint16(code));
        QCOMPARE(dialog.result(), result);
        QCOMPARE(dialog.isVisible(), result == -1);
    }
};

QTEST_MAIN(ScheduleWindow)
#include "tst_schedulewindow.moc"
