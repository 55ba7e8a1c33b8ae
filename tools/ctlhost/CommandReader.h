#pragma once

#include <QByteArray>
#include <QObject>

class QSocketNotifier;

/*!
    Reads standard input line by line without blocking the event loop: the
    notifier tells when input is there, and only then is it read.
*/
class CommandReader : public QObject
{
    Q_OBJECT

public:
    explicit CommandReader(int fd = 0, QObject *parent = nullptr);

Q_SIGNALS:
    void lineRead(const QByteArray &line);
    //! End of input; a last line without a line feed has been delivered.
    void finished();

private:
    void readAvailable();

    int m_fd = 0;
    QSocketNotifier *m_notifier = nullptr;
    QByteArray m_buffer;
};
