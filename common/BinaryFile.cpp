#include "BinaryFile.h"

#include "CodePage.h"
#include "SystemError.h"

#include <QDir>
#include <QFileInfo>
#include <QtEndian>

#include <array>

namespace {

constexpr int MaxHandles = 511;
std::array<BinaryFile *, MaxHandles + 1> g_handles {};

int takeFreeHandle(BinaryFile *file)
{
    for (int h = 1; h <= MaxHandles; ++h) {
        if (!g_handles[h]) {
            g_handles[h] = file;
            return h;
        }
    }
    throw SystemError(SystemError::TooManyFiles);
}

} // namespace

BinaryFile::~BinaryFile()
{
    close();
}

int BinaryFile::openErrorNumber(const QString &path)
{
    if (path.isEmpty())
        return SystemError::BadFileNameOrNumber;
    const QFileInfo info(path);
    if (!info.absoluteDir().exists())
        return SystemError::PathNotFound;
    if (!info.exists())
        return SystemError::FileNotFound;
    return SystemError::PathFileAccessError;
}

void BinaryFile::open(const QString &path, OpenFlags flags)
{
    if (isOpen())
        throw SystemError(SystemError::FileAlreadyOpen);
    if (path.isEmpty())
        throw SystemError(SystemError::BadFileNameOrNumber);
    const QFileInfo info(path);
    if (info.isDir())
        throw SystemError(SystemError::PathFileAccessError);
    const bool mustExist = flags.testAnyFlags(MustExist | ReadOnly);
    const auto openError = [&] {
        const int number = openErrorNumber(path);
        if (number == SystemError::FileNotFound)
            return SystemError(number, QStringLiteral("File not found: %1").arg(path));
        return SystemError(number);
    };
    if (mustExist && !info.exists())
        throw openError();

    m_file.setFileName(path);
    const QIODevice::OpenMode existing = mustExist ? QIODevice::ExistingOnly : QIODevice::NotOpen;
    bool ok = false;
    if (!(flags & ReadOnly))
        ok = m_file.open(QIODevice::ReadWrite | existing);
    if (!ok && flags.testAnyFlags(AllowReadOnly | ReadOnly) && info.exists())
        ok = m_file.open(QIODevice::ReadOnly | existing);
    if (!ok)
        throw openError();
    m_handle = takeFreeHandle(this);
}

void BinaryFile::close()
{
    if (!m_handle)
        return;
    m_file.close();
    g_handles[m_handle] = nullptr;
    m_handle = 0;
}

BinaryFile *BinaryFile::fromHandle(int handle)
{
    return handle >= 1 && handle <= MaxHandles ? g_handles[handle] : nullptr;
}

void BinaryFile::seek(qint64 position)
{
    if (!isOpen())
        throw SystemError(SystemError::BadFileNameOrNumber);
    if (position < 1)
        throw SystemError(SystemError::BadFileNameOrNumber);
    if (!m_file.seek(position - 1))
        throw SystemError(SystemError::DeviceIOError);
}

QByteArray BinaryFile::readBytes(qint64 count)
{
    if (!isOpen())
        throw SystemError(SystemError::BadFileNameOrNumber);
    if (count < 0)
        throw SystemError(SystemError::InvalidProcedureCall);
    QByteArray bytes(count, '\0');
    qint64 done = 0;
    while (done < count) {
        const qint64 n = m_file.read(bytes.data() + done, count - done);
        if (n < 0)
            throw SystemError(SystemError::DeviceIOError);
        if (n == 0)
            break;
        done += n;
    }
    // Reading past the end still advances the position, as the record read does.
    if (done < count)
        m_file.seek(m_file.pos() + (count - done));
    return bytes;
}

qint16 BinaryFile::readInt16()
{
    const QByteArray b = readBytes(2);
    return qFromLittleEndian<qint16>(b.constData());
}

qint32 BinaryFile::readInt32()
{
    const QByteArray b = readBytes(4);
    return qFromLittleEndian<qint32>(b.constData());
}

QString BinaryFile::readAnsiText()
{
    const quint16 length = static_cast<quint16>(readInt16());
    return CodePage::toUnicode(readBytes(length));
}

void BinaryFile::writeBytes(QByteArrayView bytes)
{
    if (!isOpen())
        throw SystemError(SystemError::BadFileNameOrNumber);
    if (!m_file.isWritable())
        throw SystemError(SystemError::PermissionDenied);
    if (m_file.write(bytes.data(), bytes.size()) != bytes.size())
        throw SystemError(SystemError::DeviceIOError);
}

void BinaryFile::writeInt16(qint16 value)
{
    char b[2];
    qToLittleEndian(value, b);
    writeBytes(QByteArrayView(b, 2));
}

void BinaryFile::writeInt32(qint32 value)
{
    char b[4];
    qToLittleEndian(value, b);
    writeBytes(QByteArrayView(b, 4));
}

void BinaryFile::writeAnsiText(QStringView text)
{
    const QByteArray bytes = CodePage::fromUnicode(text);
    if (bytes.size() > 0xFFFF)
        throw SystemError(SystemError::Overflow);
    writeInt16(static_cast<qint16>(static_cast<quint16>(bytes.size())));
    writeBytes(bytes);
}
