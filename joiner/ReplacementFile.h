#pragma once

#include <QFile>
#include <QString>

/*!
    A new file that takes the place of \a path only when commit() succeeds.

    The data go to an unnamed (or hidden, where the file system cannot
    create unnamed files) temporary file in the folder of \a path; commit()
    renames it into place in one step, with the permissions of the file it
    replaces. Until then, and whenever writing fails, an existing file at
    \a path stays exactly as it was. A symbolic link at \a path keeps
    pointing where it did: its target is replaced. A device or a pipe at
    \a path is not replaced but written to directly.

    The data are flushed to disk before they replace an existing file, so
    a crash cannot leave the old file's name on an empty one; a file that
    replaces nothing is left to the system's writeback.

    Failures throw SystemError with the runtime's file error numbers.
*/
class ReplacementFile
{
public:
    explicit ReplacementFile(const QString &path);
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile &) = delete;
    ReplacementFile &operator=(const ReplacementFile &) = delete;

    //! Creates the temporary file.
    void open();
    //! The temporary file, open for writing at its start.
    QFile &file() { return m_file; }
    //! Puts the written data in place of the target.
    void commit();
    //! Drops the written data; the target stays as it was.
    void cancel();

private:
    QString m_target;
    QString m_hiddenName;
    QFile m_file;
    bool m_replaces = false;
    bool m_direct = false;
};
