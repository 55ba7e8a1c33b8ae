#pragma once

#include "ControlBase.h"
#include "SystemError.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QPointer>

#include <optional>
#include <utility>

/*!
    The lines ctlhost prints and the failures a command can meet.

    A command answers {"ok": true} or {"ok": true, "value": V}; a failure
    answers {"ok": false, "error": NUMBER, "description": TEXT}. Everything
    else (events, notices, modal windows) is printed as its own line.
*/
namespace HostReply {

//! Writes one output line and flushes it.
void print(const QJsonObject &line);

QJsonObject ok();
QJsonObject ok(const QJsonValue &value);
QJsonObject failure(const SystemError &error);

SystemError invalidCall(const QString &description);
SystemError noSuchMember(const QString &name);
SystemError wrongArguments(const QString &command);

//! Argument \a index of \a command, which must be a text (a number).
QString textArgument(const QJsonArray &args, int index, const QString &command);
double numberArgument(const QJsonArray &args, int index, const QString &command);

//! Runs \a call as a host call of \a control: the failure the control kept is thrown.
template<typename Call>
void callControl(const QPointer<ControlBase> &control, Call &&call)
{
    const auto gone = [] { return invalidCall(QStringLiteral("The control is gone")); };
    if (!control)
        throw gone();
    control->takeError();
    std::forward<Call>(call)();
    if (!control)
        throw gone();
    if (std::optional<SystemError> error = control->takeError())
        throw *error;
}

} // namespace HostReply
