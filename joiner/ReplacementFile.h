#pragma once

#include <QFile>
#include <QString>

#include <functional>

/*!
    A new content for the file at \a path that lands there only when
    commit() succeeds.

    The data go to an unnamed temporary file, or where the file system
    cannot create unnamed files, to a hidden one named
    ".NAME.tessal-PID-XXXXXX". Until commit(), and whenever writing fails,
    an existing file at \a path stays exactly as it was. A symbolic link
    at \a path keeps pointing where it did: its target is replaced. A
    device or a pipe at \a path is not replaced but written to directly.

    commit() renames the temporary file into place in one step, with the
    permissions of the file it replaces, where that loses nothing. Where a
    rename would change what others see of an existing file (it has other
    hard links, another owner or group, or its folder is not writable), the
    file keeps its identity instead: commit() copies the data into it and
    cuts it to their length. The temporary file then lies in the same
    folder, or in the temporary folder when that one is not writable.

    prepare() does everything that can fail for want of space before the
    existing file changes: it flushes the data to disk before a rename, and
    reserves the new length in the existing file before a copy into it
    (where the file system cannot reserve space, it checks the free space
    instead). After prepare() only the copy-back writes into the existing
    file; a hard kill during it can leave the file partly rewritten.

    A hidden temporary file left behind by a process that is gone (killed
    between naming the file and renaming it) is removed by the next
    ReplacementFile that creates one in the same folder.

    Failures throw SystemError as SystemError::fromErrno() maps them,
    naming the file.
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
    //! The target as errors name it.
    QString shownName() const;
    //! True when commit() writes into the existing file rather than renaming over it.
    bool writesInPlace() const { return m_inPlace; }
    //! Makes sure the written data can take the target's place (see above);
    //! the target is still as it was.
    void prepare();
    //! Puts the written data in place of the target, preparing them first
    //! if need be. A copy into the existing file calls \a busy after each
    //! block; it cannot be stopped.
    void commit(const std::function<void()> &busy = {});
    //! Drops the written data; the target stays as it was.
    void cancel();

    //! The marker in the names of hidden temporary files.
    static constexpr QLatin1StringView HiddenMarker{".tessal-"};

private:
    int createTemporary(const QString &folder);
    void reserveInTarget(qint64 size);
    void copyBack(const std::function<void()> &busy);
    [[noreturn]] void fail(int error) const;

    QString m_target;
    QString m_hiddenName;
    QFile m_file;
    int m_targetHandle = -1;
    bool m_replaces = false;
    bool m_direct = false;
    bool m_inPlace = false;
    bool m_prepared = false;
};
