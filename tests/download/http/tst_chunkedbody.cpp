#include "ChunkedBody.h"
#include "HttpResponseHead.h"

#include <QTest>

class TestChunkedBody : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decodes_data();
    void decodes();
    void head_data();
    void head();
};

void TestChunkedBody::decodes_data()
{
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("status");
    const int running = int(ChunkedBody::Status::Running);
    const int complete = int(ChunkedBody::Status::Complete);
    const int malformed = int(ChunkedBody::Status::Malformed);
    QTest::newRow("two chunks") << QByteArray("5\r\nhello\r\n6\r\n world\r\n0\r\n\r\n") << QByteArray("hello world")
                                << complete;
    QTest::newRow("hex sizes") << QByteArray("A\r\n0123456789\r\nb\r\nabcdefghijk\r\n0\r\n\r\n")
                               << QByteArray("0123456789abcdefghijk") << complete;
    QTest::newRow("extensions") << QByteArray("3;name=value\r\nabc\r\n0;last\r\n\r\n") << QByteArray("abc") << complete;
    QTest::newRow("trailers") << QByteArray("3\r\nabc\r\n0\r\nX-Sum: 1\r\nY: 2\r\n\r\n") << QByteArray("abc")
                              << complete;
    QTest::newRow("data holding CR LF") << QByteArray("4\r\n\r\n\r\n\r\n0\r\n\r\n") << QByteArray("\r\n\r\n") << complete;
    QTest::newRow("unfinished") << QByteArray("5\r\nhel") << QByteArray("hel") << running;
    QTest::newRow("no last chunk") << QByteArray("5\r\nhello\r\n") << QByteArray("hello") << running;
    QTest::newRow("not a size") << QByteArray("zz\r\nhello\r\n") << QByteArray() << malformed;
    QTest::newRow("missing CR LF after data") << QByteArray("2\r\nabc\r\n") << QByteArray("ab") << malformed;
    QTest::newRow("size too large") << QByteArray("1234567890abcdef0\r\n") << QByteArray() << malformed;
    QTest::newRow("empty size") << QByteArray("\r\n") << QByteArray() << malformed;
}

void TestChunkedBody::decodes()
{
    QFETCH(QByteArray, wire);
    QFETCH(QByteArray, data);
    QFETCH(int, status);
    // In one piece and byte by byte, the same result.
    ChunkedBody whole;
    QByteArray out;
    QCOMPARE(int(whole.feed(wire, out)), status);
    QCOMPARE(out, data);

    ChunkedBody pieces;
    QByteArray out2;
    for (char c : std::as_const(wire))
        pieces.feed(QByteArrayView(&c, 1), out2);
    QCOMPARE(int(pieces.status()), status);
    QCOMPARE(out2, data);
}

void TestChunkedBody::head_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<bool>("success");
    QTest::addColumn<double>("status");
    QTest::addColumn<qint64>("length");
    QTest::addColumn<bool>("chunked");
    QTest::addColumn<qint64>("rangeStart");
    const auto row = [](const char *tag, const QByteArray &header, bool success, double status, qint64 length = -1,
                        bool chunked = false, qint64 rangeStart = -1) {
        QTest::newRow(tag) << header << success << status << length << chunked << rangeStart;
    };
    row("200", "HTTP/1.1 200 OK\r\nContent-Length: 12\r\n\r\n", true, 200, 12);
    row("206", "HTTP/1.1 206 Partial\r\ncontent-range: bytes 100-199/200\r\n\r\n", true, 206, -1, false, 100);
    row("chunked wins over length", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nTransfer-Encoding: chunked\r\n\r\n", true,
        200, -1, true);
    row("length not a number", "HTTP/1.0 200 OK\r\nContent-Length: 5x\r\n\r\n", true, 200);
    row("404", "HTTP/1.1 404 Not Found\r\n\r\n", false, 404);
    row("no status line", "Content-Length: 5\r\n\r\n", false, 0);
}

void TestChunkedBody::head()
{
    QFETCH(QByteArray, header);
    QFETCH(bool, success);
    QFETCH(double, status);
    QFETCH(qint64, length);
    QFETCH(bool, chunked);
    QFETCH(qint64, rangeStart);
    QCOMPARE(HttpResponseHead::headerLength(header + "body"), header.size());
    QCOMPARE(HttpResponseHead::headerLength(header.chopped(1)), 0);
    const HttpResponseHead head = HttpResponseHead::parse(header);
    QCOMPARE(head.isSuccess(), success);
    QCOMPARE(head.status, status);
    QCOMPARE(head.contentLength, length);
    QCOMPARE(head.chunked, chunked);
    QCOMPARE(head.rangeStart, rangeStart);
}

QTEST_MAIN(TestChunkedBody)
#include "tst_chunkedbody.moc"
