#pragma once

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>

/*!
    One ctlhost process hosting one control, driven through its standard
    input as a host script drives it. Shared by the tests of the controls.

    send() writes a command and returns its answer line; the event, change,
    modal and shell lines printed before the answer are kept in notices.
*/
class CtlHostSession
{
public:
    CtlHostSession(const QString &program, const QStringList &arguments)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process.setProcessEnvironment(env);
        process.setReadChannel(QProcess::StandardOutput);
        process.start(program, arguments);
        started = process.waitForStarted(10000);
    }

    ~CtlHostSession()
    {
        if (process.state() == QProcess::NotRunning)
            return;
        process.write("[\"quit\"]\n");
        process.closeWriteChannel();
        if (!process.waitForFinished(10000))
            process.kill();
        process.waitForFinished();
    }

    //! The answer to \a command, or an empty object when none came in 60 s.
    QJsonObject send(const QJsonArray &command) { return sendLine(QJsonDocument(command).toJson(QJsonDocument::Compact)); }

    //! As send(), for a line as it stands, malformed ones too.
    QJsonObject sendLine(const QByteArray &line)
    {
        process.write(line + '\n');
        QJsonObject next;
        while (!(next = nextLine()).isEmpty() && !next.contains(QStringLiteral("ok")))
            notices.append(next);
        return next;
    }

    //! The next line printed, or an empty object when none came in 60 s.
    QJsonObject nextLine()
    {
        while (!process.canReadLine()) {
            if (!process.waitForReadyRead(60000))
                return {};
        }
        return QJsonDocument::fromJson(process.readLine()).object();
    }

    bool ok(const QJsonArray &command) { return send(command).value(QStringLiteral("ok")).toBool(); }

    //! The value of a successful answer; undefined for a failed one.
    QJsonValue value(const QJsonArray &command)
    {
        const QJsonObject answer = send(command);
        return answer.value(QStringLiteral("ok")).toBool() ? answer.value(QStringLiteral("value"))
                                                          : QJsonValue(QJsonValue::Undefined);
    }

    //! The values under \a key ("event", "changed", "modal", "shell") of the kept notices; keeps them.
    QJsonArray noticeValues(const QString &key) const
    {
        QJsonArray values;
        for (const QJsonObject &notice : notices) {
            if (notice.contains(key))
                values.append(notice.value(key));
        }
        return values;
    }

    QProcess process;
    bool started = false;
    QList<QJsonObject> notices;
};
