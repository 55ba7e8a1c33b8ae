#pragma once

#include <QFile>
#include <QString>

#include <functional>

/*!
    A new content for the file at \a path that lands there only when
    commit() succeeds.

    The data go to an unnamed (or hidden, where the file system cannot
    create unnamed files) temporary file. Until commit(), and whenever
    writing fails, an existing file at \a path stays exactly as it was.
    A symbolic link at \a path keeps pointing where it did: its target is
    replaced. A device or a pipe at \a path is not replaced but written to
    directly.

    commit() renames the temporary file into place in one step, with the
    permissions of the file it replaces, where that loses nothing. Where a
    rename would change what others see of an existing file (it has other
    hard links, another owner or group, or its folder is not writable), the
    file keeps its identity instead: commit() copies the data into it and
    cuts it to their length. The temporary file then lies in the same
    folder, or in the temporary folder when that one is not writable.
    Only this copy-back writes into the existing file, so an interrupted
    or failed join before it changes nothing; a failure during it (a full
    disk, a crash) can leave the file partly rewritten.

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
    //! True when commit() writes into the existing file rather than renaming over it.
    bool writesInPlace() const { return m_inPlace; }
    //! Puts the written data in place of the target. A copy into the
    //! existing file calls \a busy after each block; it cannot be stopped.
    void commit(const std::function<void()> &busy = {});
    //! Drops the written data; the target stays as it was.
    void cancel();

private:
    int createTemporary(const QString &folder);
    void copyBack(const std::function<void()> &busy);

    QString m_target;
    QString m_hiddenName;
    QFile m_file;
    int m_targetHandle = -1;
    bool m_replaces = false;
    bool m_direct = false;
    bool m_inPlace = false;
};
