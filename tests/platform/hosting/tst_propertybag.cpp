#include "Picture.h"
#include "PropertyBag.h"
#include "SystemError.h"

#include <QFile>
#include <QFont>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

class TestPropertyBag : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void readGivesStoredValueOrDefault();
    void writeLeavesOutDefaults_data();
    void writeLeavesOutDefaults();
    void callsRecordedInOrder();
    void roundTripThroughFileKeepsTypes_data();
    void roundTripThroughFileKeepsTypes();
    void fontRoundTrip();
    void pictureRoundTripByPath();
    void badFilesFailClearly_data();
    void badFilesFailClearly();

private:
    QTemporaryDir m_dir;
    QString m_picture;
};

void TestPropertyBag::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_picture = m_dir.filePath(QStringLiteral("p.png"));
    QImage image(2, 2, QImage::Format_RGB32);
    image.fill(Qt::yellow);
    QVERIFY(image.save(m_picture));
}

void TestPropertyBag::readGivesStoredValueOrDefault()
{
    PropertyBag bag;
    bag.setValue(QStringLiteral("Max"), QStringLiteral("30"));
    QCOMPARE(bag.ReadProperty(QStringLiteral("Max"), 100), QVariant(QStringLiteral("30")));
    QCOMPARE(bag.ReadProperty(QStringLiteral("Value"), 0), QVariant(0));
    QVERIFY(!bag.ReadProperty(QStringLiteral("MouseIcon")).isValid());
}

void TestPropertyBag::writeLeavesOutDefaults_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QVariant>("defaultValue");
    QTest::addColumn<bool>("kept");

    QTest::newRow("equal integers") << QVariant(1) << QVariant(1) << false;
    QTest::newRow("16-bit against 32-bit") << QVariant::fromValue(qint16(1)) << QVariant(1) << false;
    QTest::newRow("colour above 31 bits") << QVariant(0x8000000Fu) << QVariant(0x8000000Fu) << false;
    QTest::newRow("other integer") << QVariant(2) << QVariant(1) << true;
    QTest::newRow("text against number") << QVariant(QStringLiteral("100")) << QVariant(100) << true;
    QTest::newRow("number against text") << QVariant(0) << QVariant(QStringLiteral("0")) << true;
    QTest::newRow("equal texts") << QVariant(QStringLiteral("a")) << QVariant(QStringLiteral("a")) << false;
    QTest::newRow("empty text") << QVariant(QString()) << QVariant(QStringLiteral("")) << false;
    QTest::newRow("boolean") << QVariant(true) << QVariant(false) << true;
    QTest::newRow("no picture against none") << QVariant::fromValue(Picture()) << QVariant() << false;
    QTest::newRow("picture against none")
        << QVariant::fromValue(Picture(QPixmap(1, 1))) << QVariant() << true;
    QTest::newRow("empty against a default") << QVariant() << QVariant(0) << true;
    QTest::newRow("same font") << QVariant(QFont(QStringLiteral("Serif"), 9))
                               << QVariant(QFont(QStringLiteral("Serif"), 9)) << false;
    QTest::newRow("bold font") << QVariant(QFont(QStringLiteral("Serif"), 9, QFont::Bold))
                               << QVariant(QFont(QStringLiteral("Serif"), 9)) << true;
}

void TestPropertyBag::writeLeavesOutDefaults()
{
    QFETCH(QVariant, value);
    QFETCH(QVariant, defaultValue);
    QFETCH(bool, kept);
    PropertyBag bag;
    bag.WriteProperty(QStringLiteral("Key"), value, defaultValue);
    QCOMPARE(bag.contains(QStringLiteral("Key")), kept);
    QCOMPARE(bag.writes().size(), 1);
}

void TestPropertyBag::callsRecordedInOrder()
{
    PropertyBag bag;
    bag.WriteProperty(QStringLiteral("BackColor"), 5, 5);
    bag.WriteProperty(QStringLiteral("Max"), QStringLiteral("100"), 100);
    bag.WriteProperty(QStringLiteral("BackColor"), 6, 5);
    const QList<PropertyBag::Write> writes = bag.writes();
    QCOMPARE(writes.size(), 3);
    QCOMPARE(writes.at(0).name, QStringLiteral("BackColor"));
    QCOMPARE(writes.at(1).name, QStringLiteral("Max"));
    QCOMPARE(writes.at(1).value, QVariant(QStringLiteral("100")));
    QCOMPARE(writes.at(1).defaultValue, QVariant(100));
    QCOMPARE(writes.at(2).value, QVariant(6));
    QCOMPARE(bag.ReadProperty(QStringLiteral("BackColor"), 5), QVariant(6));

    bag.ReadProperty(QStringLiteral("Max"), 100);
    const QList<PropertyBag::Read> reads = bag.reads();
    QCOMPARE(reads.size(), 2);
    QCOMPARE(reads.at(0).name, QStringLiteral("BackColor"));
    QCOMPARE(reads.at(1).name, QStringLiteral("Max"));
    QCOMPARE(reads.at(1).defaultValue, QVariant(100));
}

void TestPropertyBag::roundTripThroughFileKeepsTypes_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QVariant>("loaded");

    QTest::newRow("numeric text") << QVariant(QStringLiteral("100")) << QVariant(QStringLiteral("100"));
    QTest::newRow("Chinese text") << QVariant(QString::fromUtf8("进度条")) << QVariant(QString::fromUtf8("进度条"));
    QTest::newRow("empty text") << QVariant(QStringLiteral("")) << QVariant(QStringLiteral(""));
    QTest::newRow("integer") << QVariant(30) << QVariant(30);
    QTest::newRow("negative 16-bit") << QVariant::fromValue(qint16(-3)) << QVariant(-3);
    QTest::newRow("system colour") << QVariant(0x8000000Fu) << QVariant(qint64(0x8000000F));
    QTest::newRow("large integer") << QVariant(qint64(1) << 40) << QVariant(qint64(1) << 40);
    QTest::newRow("fraction") << QVariant(0.5) << QVariant(0.5);
    QTest::newRow("true") << QVariant(true) << QVariant(true);
    QTest::newRow("false") << QVariant(false) << QVariant(false);
}

void TestPropertyBag::roundTripThroughFileKeepsTypes()
{
    QFETCH(QVariant, value);
    QFETCH(QVariant, loaded);
    const QString file = m_dir.filePath(QStringLiteral("bag.json"));
    PropertyBag bag;
    bag.WriteProperty(QStringLiteral("Key"), value, QVariant());
    QVERIFY(bag.save(file));
    const QVariant back = PropertyBag::load(file).ReadProperty(QStringLiteral("Key"), QStringLiteral("absent"));
    QCOMPARE(back.typeId(), loaded.typeId());
    QCOMPARE(back, loaded);
}

void TestPropertyBag::fontRoundTrip()
{
    QFont font(QStringLiteral("WenQuanYi Zen Hei"));
    font.setPointSizeF(10.5);
    font.setBold(true);
    font.setUnderline(true);
    const QString file = m_dir.filePath(QStringLiteral("font.json"));
    PropertyBag bag;
    bag.WriteProperty(QStringLiteral("Font"), font, QFont());
    QVERIFY(bag.save(file));
    const QFont back = PropertyBag::load(file).ReadProperty(QStringLiteral("Font")).value<QFont>();
    QCOMPARE(back.family(), font.family());
    QCOMPARE(back.pointSizeF(), 10.5);
    QVERIFY(back.bold());
    QVERIFY(back.underline());
    QVERIFY(!back.italic());
}

void TestPropertyBag::pictureRoundTripByPath()
{
    const QString file = m_dir.filePath(QStringLiteral("picture.json"));
    PropertyBag bag;
    bag.WriteProperty(QStringLiteral("BkPicture"), QVariant::fromValue(Picture::load(m_picture)));
    bag.WriteProperty(QStringLiteral("ForePicture"), QVariant::fromValue(Picture()));
    QVERIFY(bag.save(file));
    const PropertyBag back = PropertyBag::load(file);
    const Picture picture = back.ReadProperty(QStringLiteral("BkPicture")).value<Picture>();
    QCOMPARE(picture.path(), QFileInfo(m_picture).absoluteFilePath());
    QCOMPARE(picture.pixmap().size(), QSize(2, 2));
    QVERIFY(!back.contains(QStringLiteral("ForePicture")));
}

void TestPropertyBag::badFilesFailClearly_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("number");

    QTest::newRow("missing") << QByteArray() << 53;
    QTest::newRow("not JSON") << QByteArray("BackColor=5") << 13;
    QTest::newRow("cut short") << QByteArray("{\"Max\": \"10") << 13;
    QTest::newRow("array") << QByteArray("[1, 2]") << 13;
}

void TestPropertyBag::badFilesFailClearly()
{
    QFETCH(QByteArray, content);
    QFETCH(int, number);
    const QString file = m_dir.filePath(QStringLiteral("bad-%1.json").arg(QTest::currentDataTag()));
    if (!content.isEmpty()) {
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(content);
    }
    try {
        PropertyBag::load(file);
        QFAIL("no error");
    } catch (const SystemError &error) {
        QCOMPARE(error.number(), number);
        QVERIFY(error.description().contains(file));
    }
}

QTEST_MAIN(TestPropertyBag)
#include "tst_propertybag.moc"
