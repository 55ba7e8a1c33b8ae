#pragma once

#include <QJsonObject>
#include <QObject>
#include <QQueue>
#include <QSet>
#include <QTimer>

#include <functional>

class QEventLoop;

/*!
    Runs command lines one at a time, in the order read, and prints each
    answer.

    Commands run from whichever event loop turns: the host's own, or one
    that a control runs while it waits (for a server's reply, say), as a
    host window's handlers run there. Lines that arrive while a command
    runs (a yield inside a call, a modal window kept open) wait until it
    returns, so every answer comes in command order.

    wait() and pump() do not block: their answer comes from the event loop
    when the event is raised or the time is up, and the commands after them
    run once it has been given. A wait is satisfied by an event raised after
    the previous answer (while idle, or during the wait itself); an event
    raised during an earlier command does not count, since it was printed
    before that command's answer.
*/
class CommandQueue : public QObject
{
    Q_OBJECT

public:
    //! Runs one line and returns its answer, or an empty object when wait() or pump() answers later.
    using Executor = std::function<QJsonObject(const QByteArray &line)>;

    explicit CommandQueue(Executor execute, QObject *parent = nullptr);

    //! Runs commands until quit() or the end of input.
    void run();

    void enqueue(const QByteArray &line);
    //! No more lines will come: finish once the queue is done.
    void endOfInput();
    //! Finish once the running command has returned.
    void quit();

    //! Answers at once when \a event was raised since the last answer, else when it is or after \a timeoutMs.
    QJsonObject wait(const QString &event, double timeoutMs);
    //! Answers after \a ms.
    QJsonObject pump(double ms);
    //! Notes that \a event was raised; it satisfies a running wait for it.
    void eventRaised(const QString &event);

Q_SIGNALS:
    //! The queue is done: unload what may hold an event loop of its own.
    void finishing();

private:
    void schedule();
    void runQueue();
    void finish();
    void answer(const QJsonObject &answer);
    void startPending(double ms, const QJsonObject &answerAtEnd);
    void finishPending(const QJsonObject &answer);

    Executor m_execute;
    QQueue<QByteArray> m_lines;
    bool m_inputEnded = false;
    bool m_quit = false;
    bool m_running = false; // a command is being executed
    bool m_pending = false; // a wait or pump has not answered yet
    bool m_finished = false;
    QEventLoop *m_loop = nullptr;

    QSet<QString> m_raisedSinceAnswer;
    QString m_waitingFor;
    QTimer m_pendingTimer;
};
