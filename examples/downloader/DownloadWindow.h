#pragma once

#include <QList>
#include <QWidget>

class DownloadRow;
class QLineEdit;
class QPlainTextEdit;
class QVBoxLayout;

/*!
    A download window: paste http:// or ftp:// addresses, one per line,
    and press Download (or Ctrl+Return). Each address becomes a DownloadRow;
    at most parallel() rows download at once, and whenever one stops
    (finished, failed or paused) the next queued row starts.

    Files go to downloadFolder(), the user's download folder unless chosen
    otherwise with Change…; it is made when the first file goes there.
*/
class DownloadWindow : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QString downloadFolder READ downloadFolder WRITE setDownloadFolder)
    Q_PROPERTY(int parallel READ parallel WRITE setParallel)

public:
    explicit DownloadWindow(QWidget *parent = nullptr);

    QString downloadFolder() const { return m_folder; }
    void setDownloadFolder(const QString &folder);

    int parallel() const { return m_parallel; }
    void setParallel(int parallel);

    QList<DownloadRow *> rows() const;

public Q_SLOTS:
    //! Adds a row for each line of \a text that is not empty.
    void addAddresses(const QString &text);
    //! Starts queued rows while fewer than parallel() are running.
    void startNext();
    //! Asks the user for the download folder of the rows added from now on.
    void chooseFolder();

private:
    QString freeFileName(const QString &address) const;
    bool isTaken(const QString &fileName) const;

    QString m_folder;
    int m_parallel = 2;
    QPlainTextEdit *m_addresses = nullptr;
    QLineEdit *m_folderEdit = nullptr;
    QVBoxLayout *m_rows = nullptr;
};
