#include "ControlMembers.h"

#include "ControlBase.h"
#include "HostReply.h"
#include "HostValues.h"

#include <vector>

using namespace HostReply;

ControlMembers::ControlMembers(ControlBase *control)
    : m_control(control)
{
}

QJsonObject ControlMembers::get(const QJsonArray &args) const
{
    if (args.size() != 1 || !args.at(0).isString())
        throw wrongArguments(QStringLiteral("get"));
    const QString name = args.at(0).toString();
    const QMetaProperty property = findProperty(name);
    if (!property.isValid() || !property.isReadable())
        throw noSuchMember(name);
    QVariant value;
    callControl(m_control, [&] { value = property.read(m_control); });
    return ok(HostValues::toJson(value));
}

QJsonObject ControlMembers::set(const QJsonArray &args) const
{
    if (args.size() != 2 || !args.at(0).isString())
        throw wrongArguments(QStringLiteral("set"));
    const QString name = args.at(0).toString();
    const QMetaProperty property = findProperty(name);
    if (!property.isValid())
        throw noSuchMember(name);
    if (!property.isWritable())
        throw SystemError(SystemError::ReadOnlyProperty,
                          SystemError::standardText(SystemError::ReadOnlyProperty) + QStringLiteral(": ") + name);
    const QVariant value = HostValues::fromJson(args.at(1), property.metaType());
    callControl(m_control, [&] { property.write(m_control, value); });
    return ok();
}

QJsonObject ControlMembers::call(const QJsonArray &args) const
{
    if (args.isEmpty() || !args.at(0).isString())
        throw wrongArguments(QStringLiteral("call"));
    const QString name = args.at(0).toString();
    const QList<QMetaMethod> methods = findMethods(name);
    if (methods.isEmpty())
        throw noSuchMember(name);
    const int count = int(args.size()) - 1;
    QMetaMethod method;
    for (const QMetaMethod &candidate : methods) {
        if (candidate.parameterCount() == count) {
            method = candidate;
            break;
        }
    }
    if (!method.isValid())
        throw wrongArguments(name);

    // Every parameter in storage of its exact type; a QVariant parameter is the variant itself.
    std::vector<QVariant> values(size_t(count) + 1);
    std::vector<void *> argv(size_t(count) + 1, nullptr);
    for (int i = 0; i < count; ++i) {
        QMetaType type = method.parameterMetaType(i);
        if (!type.isValid()) {
            QByteArray typeName = method.parameterTypeName(i);
            if (typeName.endsWith('&'))
                typeName.chop(1);
            type = QMetaType::fromName(typeName);
        }
        QVariant &value = values[size_t(i) + 1];
        value = HostValues::fromJson(args.at(i + 1), type);
        if (type.id() == QMetaType::QVariant) {
            argv[size_t(i) + 1] = &value;
            continue;
        }
        if (value.metaType() != type && !value.convert(type))
            throw SystemError(SystemError::TypeMismatch);
        argv[size_t(i) + 1] = value.data();
    }
    const QMetaType returnType = method.returnMetaType();
    QVariant &result = values[0];
    if (returnType.id() == QMetaType::QVariant) {
        argv[0] = &result;
    } else if (returnType.isValid() && returnType.id() != QMetaType::Void) {
        result = QVariant(returnType);
        argv[0] = result.data();
    }
    callControl(m_control, [&] {
        QMetaObject::metacall(m_control, QMetaObject::InvokeMetaMethod, method.methodIndex(), argv.data());
    });
    return ok(HostValues::toJson(result));
}

QMetaProperty ControlMembers::findProperty(const QString &hostName) const
{
    const QMetaObject *meta = m_control->metaObject();
    const QByteArray member = ControlBase::memberForHostName(meta, hostName);
    const int first = ControlBase::staticMetaObject.propertyCount();
    for (int i = first; i < meta->propertyCount(); ++i) {
        if (member == meta->property(i).name())
            return meta->property(i);
    }
    // Host names are not case sensitive.
    for (int i = first; i < meta->propertyCount(); ++i) {
        if (QString::fromLatin1(member).compare(QLatin1String(meta->property(i).name()), Qt::CaseInsensitive) == 0)
            return meta->property(i);
    }
    return QMetaProperty();
}

QList<QMetaMethod> ControlMembers::findMethods(const QString &hostName) const
{
    const QMetaObject *meta = m_control->metaObject();
    const QByteArray member = ControlBase::memberForHostName(meta, hostName);
    QList<QMetaMethod> exact;
    QList<QMetaMethod> caseless;
    for (int i = ControlBase::staticMetaObject.methodCount(); i < meta->methodCount(); ++i) {
        const QMetaMethod method = meta->method(i);
        if (method.methodType() == QMetaMethod::Signal || method.access() != QMetaMethod::Public)
            continue;
        if (method.name() == member)
            exact.append(method);
        else if (QString::fromLatin1(method.name()).compare(QString::fromLatin1(member), Qt::CaseInsensitive) == 0)
            caseless.append(method);
    }
    return exact.isEmpty() ? caseless : exact;
}
