// The first file of a damaged cabinet: written whole, or not at all and
// with nothing left behind.
#include "ExtractFirstFile.h"
#include "FuzzCheck.h"

#include <QDir>
#include <QFile>
#include <QMap>

#include <cstdlib>
#include <unistd.h>

namespace {

void writeFile(const QString &name, QByteArrayView data)
{
    QFile file(name);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    FUZZ_CHECK(file.write(data.data(), data.size()) == data.size());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    Fuzz::enterWorkFolder(QStringLiteral("fuzz_extract"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    for (const QString &name : Fuzz::snapshot().keys())
        QFile::remove(name);
    writeFile(QStringLiteral("in.cab"), QByteArrayView(data, qsizetype(size)));
    writeFile(QStringLiteral("target"), "OLD");
    const QMap<QString, QByteArray> before = Fuzz::snapshot();

    std::string error;
    const bool extracted = extractFirstFile("in.cab", "target", error);
    QMap<QString, QByteArray> after = Fuzz::snapshot();
    if (extracted) {
        FUZZ_CHECK(error.empty());
        after.insert(QStringLiteral("target"), "OLD");
    } else {
        FUZZ_CHECK(!error.empty());
    }
    FUZZ_CHECK(after == before);
    return 0;
}
