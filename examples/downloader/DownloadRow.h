#pragma once

#include <QString>
#include <QWidget>

class QLabel;
class QPushButton;
class Schedule;
class ZuFTPDownLoad;
class ZuHTTPdownload;

/*!
    One download: its control (ZuHTTPdownload for http://, ZuFTPDownLoad
    for ftp://), a Schedule bar showing the file name and the progress, a
    status line, and two buttons: Pause and Cancel while it downloads,
    Resume or Retry once paused or failed, Open folder and Remove once done.

    The row only starts when its window's queue says so (start()); it makes
    the file's folder if it is not there. Pausing closes the connection and
    keeps the partial file; resuming and retrying ask the server for the
    rest only (a suffix range for HTTP, REST for FTP). Errors show in the
    window's own words (ErrorText).
*/
class DownloadRow : public QWidget
{
    Q_OBJECT

public:
    enum class State { Queued, Running, Paused, Done, Failed };
    Q_ENUM(State)

    DownloadRow(const QString &address, const QString &fileName, QWidget *parent = nullptr);

    QString address() const { return m_address; }
    QString fileName() const { return m_fileName; }
    State state() const { return m_state; }
    QString status() const;
    Schedule *bar() const { return m_bar; }

public Q_SLOTS:
    void start();
    void pause();
    //! Puts a paused or failed download back into the queue.
    void resume();
    //! Stops the download, removes an unfinished file and the row.
    void cancel();
    //! Shows the folder of the file in the desktop's file manager.
    void openFolder();

Q_SIGNALS:
    void stateChanged(DownloadRow::State state);
    //! \a bytes are in the file now.
    void progressed(qint64 bytes);

private:
    void setupHttp();
    void setupFtp();
    void startHttpTransfer();
    void showProgress();
    void finished(qint64 expected);
    void fail(int number, const QString &description);
    void setState(State state, const QString &message = QString());
    qint64 bytesOnDisk() const;

    QString m_address;
    QString m_fileName;
    State m_state = State::Queued;
    qint64 m_size = 0; //!< the size the server names; 0 while unknown
    bool m_transferring = false; //!< HTTP: DownTo was called in this run

    ZuHTTPdownload *m_http = nullptr;
    ZuFTPDownLoad *m_ftp = nullptr;
    Schedule *m_bar = nullptr;
    QLabel *m_statusLabel = nullptr;
    QPushButton *m_pauseButton = nullptr;
    QPushButton *m_cancelButton = nullptr;
};
