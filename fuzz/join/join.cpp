// tessal --join on a stencil and pieces cut from the input at "<piece>":
// the first part is the stencil, part k the piece numbered FirstNumber + k - 1
// (read from the stencil here), beside it under the base name "p".
// The result is checked against a join computed here from the same bytes,
// and a failure must leave every file as it was. --check must agree with the
// join and change nothing; a joined file split again and joined comes back.
#include "CommandLine.h"
#include "FuzzCheck.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QTextStream>
#include <QtEndian>

#include <cstdlib>
#include <optional>
#include <unistd.h>

namespace {

constexpr int MaxPieces = 64;

QByteArray bytesAt(const QByteArray &data, qsizetype at, qsizetype count)
{
    QByteArray result = data.mid(at, count);
    result.append(QByteArray(count - result.size(), '\0'));
    return result;
}

struct Stencil
{
    QByteArray baseName;
    qint16 pieceCount = 0;
    qint32 firstNumber = 0;
};

Stencil readStencil(const QByteArray &data)
{
    Stencil stencil;
    const quint16 length = qFromLittleEndian<quint16>(bytesAt(data, 4, 2).constData());
    stencil.baseName = bytesAt(data, 6, length);
    stencil.pieceCount = qFromLittleEndian<qint16>(bytesAt(data, 6 + length, 2).constData());
    stencil.firstNumber = qFromLittleEndian<qint32>(bytesAt(data, 8 + length, 4).constData());
    return stencil;
}

std::optional<qint32> pieceNumber(qint32 first, int index)
{
    const qint64 number = qint64(first) + index - 1;
    if (number < INT32_MIN || number > INT32_MAX || first == INT32_MIN)
        return std::nullopt;
    return qint32(number);
}

QString pieceName(qint32 number)
{
    const qint64 magnitude = number < 0 ? -qint64(number) : qint64(number);
    return QStringLiteral("p.%1%2").arg(number < 0 ? QStringLiteral("-") : QString())
            .arg(magnitude, 3, 10, QLatin1Char('0'));
}

// The joined data, or nothing when the pieces cannot be joined.
std::optional<QByteArray> expectedJoin(const Stencil &stencil, const QList<QByteArray> &pieces)
{
    if (stencil.pieceCount < 1)
        return std::nullopt;
    QByteArray joined;
    for (int index = 1; index <= stencil.pieceCount; ++index) {
        if (!pieceNumber(stencil.firstNumber, index) || index > pieces.size())
            return std::nullopt;
        const QByteArray &piece = pieces.at(index - 1);
        if (piece.size() < 10)
            return std::nullopt;
        const qint16 dimensions = qFromLittleEndian<qint16>(bytesAt(piece, 0, 2).constData());
        const qint32 elements = qFromLittleEndian<qint32>(bytesAt(piece, 2, 4).constData());
        if ((elements != 0 && dimensions != 1) || elements < 0 || piece.size() - 10 < elements)
            return std::nullopt;
        joined += piece.mid(10, elements);
    }
    return joined;
}

//! tessal's exit code for \a arguments, its words dropped.
int run(const QStringList &arguments)
{
    QString out;
    QString err;
    QTextStream outStream(&out);
    QTextStream errStream(&err);
    return runCommandLine(arguments, outStream, errStream);
}

void writeFile(const QString &name, const QByteArray &data)
{
    QFile file(name);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    FUZZ_CHECK(file.write(data) == data.size());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    new QCoreApplication(*argc, *argv);
    Fuzz::enterWorkFolder(QStringLiteral("fuzz_join"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QList<QByteArray> parts = Fuzz::split(QByteArrayView(data, qsizetype(size)), "<piece>");
    const QByteArray stencilBytes = parts.takeFirst();
    if (parts.size() > MaxPieces)
        return 0;
    const Stencil stencil = readStencil(stencilBytes);

    for (const QString &name : Fuzz::snapshot().keys())
        QFile::remove(name);
    writeFile(QStringLiteral("s.kvs"), stencilBytes);
    writeFile(QStringLiteral("joined.out"), "OLD");
    for (int index = 1; index <= parts.size(); ++index) {
        if (const auto number = pieceNumber(stencil.firstNumber, index))
            writeFile(pieceName(*number), parts.at(index - 1));
    }
    const QMap<QString, QByteArray> before = Fuzz::snapshot();

    QString out;
    QString err;
    int code = 0;
    {
        QTextStream outStream(&out);
        QTextStream errStream(&err);
        code = runCommandLine({QStringLiteral("--join"), QStringLiteral("s.kvs"),
                               QStringLiteral("joined.out")},
                              outStream, errStream);
    }
    FUZZ_CHECK(code == 0 || code == 1);
    QMap<QString, QByteArray> after = Fuzz::snapshot();
    if (code == 1) {
        FUZZ_CHECK(!err.isEmpty());
        FUZZ_CHECK(after == before);
    }
    // A check looks at every piece named; thousands of absent ones only slow the fuzzer.
    if (stencil.pieceCount <= 2 * MaxPieces) {
        FUZZ_CHECK(run({QStringLiteral("--check"), QStringLiteral("s.kvs")}) == code);
        FUZZ_CHECK(Fuzz::snapshot() == after);
    }

    // Pieces are found only under the base name's last component, "p" here.
    bool ascii = true;
    for (char c : stencil.baseName)
        ascii = ascii && c > 0;
    const QByteArray last = stencil.baseName.mid(
            qMax(stencil.baseName.lastIndexOf('/'), stencil.baseName.lastIndexOf('\\')) + 1);
    const bool ours = ascii && last == "p";
    const std::optional<QByteArray> expected = expectedJoin(stencil, parts);
    // The system would see a name cut at the NUL; a NUL in the folder part
    // still lets the pieces be found beside the stencil.
    if (last.contains('\0'))
        FUZZ_CHECK(code == 1);
    if (ours)
        FUZZ_CHECK((code == 0) == expected.has_value());
    else if (ascii && !stencil.baseName.contains('/'))
        FUZZ_CHECK(code == 1);
    if (code == 0) {
        FUZZ_CHECK(expected.has_value());
        FUZZ_CHECK(after.value(QStringLiteral("joined.out")) == *expected);
        after.insert(QStringLiteral("joined.out"), "OLD");
        FUZZ_CHECK(after == before);

        // A few pieces at most: each is a file of its own, and files are slow to make.
        const QString size = QString::number(15 + size_t(expected->size()) % 4096);
        FUZZ_CHECK(run({QStringLiteral("--split"), QStringLiteral("joined.out"), size, QStringLiteral("r.kvs")}) == 0);
        FUZZ_CHECK(run({QStringLiteral("--join"), QStringLiteral("r.kvs"), QStringLiteral("rejoined.out")}) == 0);
        FUZZ_CHECK(Fuzz::snapshot().value(QStringLiteral("rejoined.out")) == *expected);
    }
    return 0;
}
