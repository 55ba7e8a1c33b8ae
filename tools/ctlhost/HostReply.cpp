#include "HostReply.h"

#include <QJsonDocument>

#include <cstdio>

namespace HostReply {

void print(const QJsonObject &line)
{
    const QByteArray bytes = QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

QJsonObject ok()
{
    return QJsonObject{{QStringLiteral("ok"), true}};
}

QJsonObject ok(const QJsonValue &value)
{
    return QJsonObject{{QStringLiteral("ok"), true}, {QStringLiteral("value"), value}};
}

QJsonObject failure(const SystemError &error)
{
    return QJsonObject{{QStringLiteral("ok"), false},
                       {QStringLiteral("error"), error.number()},
                       {QStringLiteral("description"), error.description()}};
}

SystemError invalidCall(const QString &description)
{
    return SystemError(SystemError::InvalidProcedureCall, description);
}

SystemError noSuchMember(const QString &name)
{
    return SystemError(SystemError::NoSuchMember,
                       SystemError::standardText(SystemError::NoSuchMember) + QStringLiteral(": ") + name);
}

SystemError wrongArguments(const QString &command)
{
    return SystemError(SystemError::WrongArguments,
                       SystemError::standardText(SystemError::WrongArguments) + QStringLiteral(": ") + command);
}

QString textArgument(const QJsonArray &args, int index, const QString &command)
{
    if (index >= args.size() || !args.at(index).isString())
        throw wrongArguments(command);
    return args.at(index).toString();
}

double numberArgument(const QJsonArray &args, int index, const QString &command)
{
    if (index >= args.size() || !args.at(index).isDouble())
        throw wrongArguments(command);
    return args.at(index).toDouble();
}

} // namespace HostReply
