// The pure readers behind the FTP control: reply framing and the
// numbers that replies carry. One row per fault they once had.

#include "FtpReplies.h"
#include "FtpReplyReader.h"
#include "SystemError.h"

#include <QTest>

#include <utility>

using namespace Qt::StringLiterals;

class TestFtpParsers : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void repliesYieldCodesPortsAndSizes_data();
    void repliesYieldCodesPortsAndSizes();
    void readerCutsRepliesWhereverTextIsSplit_data();
    void readerCutsRepliesWhereverTextIsSplit();
};

void TestFtpParsers::repliesYieldCodesPortsAndSizes_data()
{
    QTest::addColumn<QByteArray>("reader"); // code, 227, 229, 150, 213 or LIST
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected"); // "none" or "error N" where it fails
    const auto row = [](const char *name, const char *reader, const QString &text, const QString &expected) {
        QTest::newRow(name) << QByteArray(reader) << text << expected;
    };
    // The code is the first three digits, whatever follows the blank.
    row("code", "code", u"226 Transfer complete."_s, u"226"_s);
    row("code, digits in the text", "code", u"550 113: No such file"_s, u"550"_s);
    row("code of a multi-line reply", "code", u"220-Welcome\r\n220 Ready."_s, u"220"_s);
    row("code alone", "code", u"230"_s, u"230"_s);
    row("code, a fourth digit", "code", u"2260 Done."_s, u"0"_s);
    row("code, two digits", "code", u"22 Done."_s, u"0"_s);
    row("code after a blank", "code", u" 226 Done."_s, u"0"_s);
    row("227", "227", u"227 Entering Passive Mode (127,0,0,1,4,1)."_s, u"127.0.0.1:1025"_s);
    row("227 without (", "227", u"227 Passive Mode 127,0,0,1,4,1)."_s, u"227 Passive Mode 127.0.0.1:1025"_s);
    row("227 without )", "227", u"227 Passive Mode (127,0,0,1,4,1."_s, u"error 5"_s);
    row("227, brackets reversed", "227", u"227 Passive Mode )127,0,0,1,4,1(."_s, u"error 5"_s);
    row("227, one comma", "227", u"227 Passive Mode (4,1)."_s, u"error 5"_s);
    row("227, port beyond 32 bits", "227", u"227 (1,99999999,1)"_s, u"error 6"_s);
    row("229", "229", u"229 Extended Passive Mode (|||6446|)"_s, u"6446"_s);
    row("229 without port", "229", u"229 Extended Passive Mode (|||x|)"_s, u"error 5"_s);
    row("229, port out of range", "229", u"229 (|||65536|)"_s, u"error 5"_s);
    row("150 past 4 GiB", "150", u"150 Opening (5368709120 bytes)."_s, u"5368709120"_s);
    row("150 without size", "150", u"150 File status okay."_s, u"none"_s);
    row("150, brackets reversed", "150", u"150 )4096 bytes("_s, u"error 5"_s);
    row("150 beyond 64 bits", "150", u"150 (1e19 bytes)"_s, u"error 6"_s);
    row("213", "213", u"213 4096"_s, u"4096"_s);
    row("213 past 4 GiB, with a word", "213", u"213 5368709120 bytes"_s, u"5368709120"_s);
    row("213 without a number", "213", u"213 unknown"_s, u"none"_s);
    row("213 beyond 63 bits", "213", u"213 99999999999999999999"_s, u"none"_s);
    row("listing past 4 GiB", "LIST", u"-rw-r--r--    1 ftp      ftp      5368709120 Dec 06 f.bin"_s, u"5368709120"_s);
    row("listing too short", "LIST", u"-rw-r--r-- 1 ftp"_s, u"none"_s);
}

void TestFtpParsers::repliesYieldCodesPortsAndSizes()
{
    QFETCH(QByteArray, reader);
    QFETCH(QString, text);
    const auto read = [&]() -> QString {
        if (reader == "227") {
            const FtpPassiveAddress address = parsePassiveReply(text);
            return address.host + u':' + QString::number(address.port);
        }
        if (reader == "229")
            return QString::number(parseExtendedPassiveReply(text));
        if (reader == "code")
            return QString::number(replyCode(text));
        const auto size = reader == "150" ? transferSizeFromReply(text)
            : reader == "213"             ? sizeFromSizeReply(text)
                                          : sizeFromListing(text);
        return size ? QString::number(*size) : u"none"_s;
    };
    try {
        QTEST(read(), "expected");
    } catch (const SystemError &error) {
        QTEST(u"error "_s + QString::number(error.number()), "expected");
    }
}

void TestFtpParsers::readerCutsRepliesWhereverTextIsSplit_data()
{
    QTest::addColumn<QByteArrayList>("pieces");
    QTest::addColumn<QByteArrayList>("expected"); // after the last piece
    QTest::addColumn<int>("readyAfterFirst");
    QTest::newRow("two in one arrival") << QByteArrayList{"150 Opening (10 bytes).\r\n226 Done.\r\n"}
                                        << QByteArrayList{"150 Opening (10 bytes).", "226 Done."} << 2;
    QTest::newRow("line end split") << QByteArrayList{"220 Ready.\r", "\n"} << QByteArrayList{"220 Ready."} << 0;
    QTest::newRow("multi-line, inner lines with other codes")
        << QByteArrayList{"211-Features:\r\n 226 x\r\n220 y\r\n", "211 End\r\n"}
        << QByteArrayList{"211-Features:\r\n 226 x\r\n220 y\r\n211 End"} << 0;
    QTest::newRow("multi-line, bare code ends it") << QByteArrayList{"230-Hello\r\n230\r\n"}
                                                   << QByteArrayList{"230-Hello\r\n230"} << 1;
    QTest::newRow("bare line feeds") << QByteArrayList{"331 Password.\n230 In.\n"}
                                     << QByteArrayList{"331 Password.", "230 In."} << 2;
    QTest::newRow("empty lines skipped") << QByteArrayList{"\r\n\r\n200 OK\r\n"} << QByteArrayList{"200 OK"} << 1;
    QTest::newRow("text without a code") << QByteArrayList{"hello\r\n"} << QByteArrayList{"hello"} << 1;
}

void TestFtpParsers::readerCutsRepliesWhereverTextIsSplit()
{
    QFETCH(QByteArrayList, pieces);
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
    QTEST(read(pieces, &ready), "expected");
    QCOMPARE(ready, readyAfterFirst);
    // Wherever the text is cut, the replies are the same.
    const QByteArray text = pieces.join();
    for (qsizetype a = 0; a <= text.size(); ++a) {
        for (qsizetype b = a; b <= text.size(); ++b)
            QTEST(read({text.left(a), text.mid(a, b - a), text.mid(b)}), "expected");
    }
}

QTEST_APPLESS_MAIN(TestFtpParsers)
#include "tst_ftpparsers.moc"
