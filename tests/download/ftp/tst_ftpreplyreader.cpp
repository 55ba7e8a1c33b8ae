// Cutting control-connection text into complete replies.

#include "FtpReplyReader.h"

#include <QTest>

#include <utility>

class TestFtpReplyReader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void replies_data();
    void replies();
};

void TestFtpReplyReader::replies_data()
{
    QTest::addColumn<QByteArrayList>("pieces");
    QTest::addColumn<QByteArrayList>("expected"); // after the last piece
    QTest::addColumn<int>("readyAfterFirst");

    QTest::newRow("one line") << QByteArrayList{"220 Ready.\r\n"} << QByteArrayList{"220 Ready."} << 1;
    QTest::newRow("two in one arrival")
        << QByteArrayList{"150 Opening (10 bytes).\r\n226 Done.\r\n"}
        << QByteArrayList{"150 Opening (10 bytes).", "226 Done."} << 2;
    QTest::newRow("partial line waits") << QByteArrayList{"220 Rea", "dy.\r\n"} << QByteArrayList{"220 Ready."} << 0;
    QTest::newRow("line end split") << QByteArrayList{"220 Ready.\r", "\n"} << QByteArrayList{"220 Ready."} << 0;
    QTest::newRow("multi-line")
        << QByteArrayList{"220-Welcome\r\n", "220-more\r\n220 Ready.\r\n"}
        << QByteArrayList{"220-Welcome\r\n220-more\r\n220 Ready."} << 0;
    QTest::newRow("multi-line, inner lines with other codes")
        << QByteArrayList{"211-Features:\r\n 226 x\r\n220 y\r\n211 End\r\n"}
        << QByteArrayList{"211-Features:\r\n 226 x\r\n220 y\r\n211 End"} << 1;
    QTest::newRow("multi-line, bare code ends it")
        << QByteArrayList{"230-Hello\r\n230\r\n"} << QByteArrayList{"230-Hello\r\n230"} << 1;
    QTest::newRow("bare line feeds") << QByteArrayList{"331 Password.\n230 In.\n"}
                                     << QByteArrayList{"331 Password.", "230 In."} << 2;
    QTest::newRow("empty lines skipped") << QByteArrayList{"\r\n\r\n200 OK\r\n"} << QByteArrayList{"200 OK"} << 1;
    QTest::newRow("text without a code is one reply")
        << QByteArrayList{"hello\r\n"} << QByteArrayList{"hello"} << 1;
    QTest::newRow("a session")
        << QByteArrayList{"220-Welcome\r\n220 Ready.\r\n331 Password.\r\n150 Opening (4096 bytes)\r\n226 Done.\r\n"}
        << QByteArrayList{"220-Welcome\r\n220 Ready.", "331 Password.", "150 Opening (4096 bytes)", "226 Done."} << 4;
    QTest::newRow("code and hyphen needs the same code to end")
        << QByteArrayList{"150-a\r\n226 b\r\n", "150 c\r\n"} << QByteArrayList{"150-a\r\n226 b\r\n150 c"} << 0;
}

void TestFtpReplyReader::replies()
{
    QFETCH(QByteArrayList, pieces);
    QFETCH(QByteArrayList, expected);
    QFETCH(int, readyAfterFirst);
    const auto read = [](const QByteArrayList &pieces, int *readyAfterFirst = nullptr) {
        FtpReplyReader reader;
        QByteArrayList got;
        for (const QByteArray &piece : pieces) {
            reader.append(piece);
            while (const auto reply = reader.takeReply())
                got.append(*reply);
            if (readyAfterFirst)
                *std::exchange(readyAfterFirst, nullptr) = int(got.size());
        }
        return reader.pendingBytes() == 0 ? got : QByteArrayList{"bytes left over"};
    };
    int ready = -1;
    QCOMPARE(read(pieces, &ready), expected);
    QCOMPARE(ready, readyAfterFirst);
    // Wherever the text is cut, the replies are the same.
    const QByteArray text = pieces.join();
    for (qsizetype a = 0; a <= text.size(); ++a) {
        for (qsizetype b = a; b <= text.size(); ++b)
            QCOMPARE(read({text.left(a), text.mid(a, b - a), text.mid(b)}), expected);
    }
}

QTEST_APPLESS_MAIN(TestFtpReplyReader)
#include "tst_ftpreplyreader.moc"
