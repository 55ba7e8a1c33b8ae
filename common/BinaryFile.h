#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

/*!
    A file opened for binary access by handle.

    Opening takes the lowest free handle number (1 to 511). Positions are
    1-based and every read or write advances them. Records are read and
    written field after field without gaps, integers little-endian, texts as
    a 16-bit length followed by bytes in the system code page. Bytes missing
    at the end of the file read as zero without an error.

    Failures throw SystemError with the runtime's file error numbers, as
    SystemError::fromErrno() gives them; a failed open names the file.
*/
class BinaryFile
{
public:
    enum OpenFlag {
        CreateIfMissing = 0x0, //!< a missing file is created empty
        MustExist = 0x1,       //!< a missing file fails with 53 instead
        AllowReadOnly = 0x2,   //!< falls back to reading where writing is refused
        ReadOnly = 0x4,        //!< opens for reading only; implies MustExist
    };
    Q_DECLARE_FLAGS(OpenFlags, OpenFlag)

    BinaryFile() = default;
    ~BinaryFile();
    BinaryFile(const BinaryFile &) = delete;
    BinaryFile &operator=(const BinaryFile &) = delete;

    //! Opens \a path for reading and writing (see \a flags); existing contents are kept.
    void open(const QString &path, OpenFlags flags = CreateIfMissing);
    void close();
    bool isOpen() const { return m_handle != 0; }

    //! The handle number, 0 while closed.
    int handle() const { return m_handle; }
    //! The open file with handle number \a handle, or nullptr.
    static BinaryFile *fromHandle(int handle);

    //! The 1-based position of the next read or write.
    qint64 position() const { return m_file.pos() + 1; }
    void seek(qint64 position);
    qint64 length() const { return m_file.size(); }

    qint16 readInt16();
    qint32 readInt32();
    QByteArray readBytes(qint64 count);
    QString readAnsiText();

    void writeInt16(qint16 value);
    void writeInt32(qint32 value);
    void writeBytes(QByteArrayView bytes);
    void writeAnsiText(QStringView text);

    //! Cuts or extends the file to \a size bytes; the position stays.
    void resize(qint64 size);

    //! The underlying file, unbuffered, for bulk transfers.
    QFile &file() { return m_file; }

private:
    QFile m_file;
    int m_handle = 0;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(BinaryFile::OpenFlags)
