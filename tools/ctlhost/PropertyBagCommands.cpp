#include "PropertyBagCommands.h"

#include "ControlBase.h"
#include "ControlMembers.h"
#include "HostReply.h"
#include "HostValues.h"
#include "Picture.h"
#include "PropertyBag.h"

using namespace HostReply;

PropertyBagCommands::PropertyBagCommands(ControlBase *control, const ControlMembers &members)
    : m_control(control)
    , m_members(members)
{
}

void PropertyBagCommands::ensureInitialised()
{
    if (std::exchange(m_initialised, true))
        return;
    callControl(m_control, [&] { m_control->hostInitProperties(); });
}

QJsonObject PropertyBagCommands::load(const QJsonArray &args)
{
    if (args.size() != 1 || !(args.at(0).isObject() || args.at(0).isString()))
        throw wrongArguments(QStringLiteral("load"));
    if (m_initialised)
        throw invalidCall(QStringLiteral("The control has been initialised already"));
    PropertyBag bag;
    if (args.at(0).isString()) {
        bag = PropertyBag::load(args.at(0).toString());
    } else {
        const QJsonObject saved = args.at(0).toObject();
        for (auto it = saved.begin(); it != saved.end(); ++it) {
            // A property's own type says whether a text is a picture's path.
            const QMetaProperty property = m_members.findProperty(it.key());
            const int type = property.isValid() ? property.metaType().id() : QMetaType::UnknownType;
            if (type == qMetaTypeId<Picture>() || (type == QMetaType::QFont && it.value().isObject()))
                bag.setValue(it.key(), HostValues::fromJson(it.value(), property.metaType()));
            else
                bag.setValue(it.key(), PropertyBag::fromJsonValue(it.value()));
        }
    }
    m_initialised = true;
    callControl(m_control, [&] { m_control->hostReadProperties(bag); });
    return ok();
}

QJsonObject PropertyBagCommands::save(const QJsonArray &args)
{
    if (args.size() > 1 || (args.size() == 1 && !args.at(0).isString()))
        throw wrongArguments(QStringLiteral("save"));
    PropertyBag bag;
    callControl(m_control, [&] { m_control->hostWriteProperties(bag); });
    QJsonArray writes;
    for (const PropertyBag::Write &write : bag.writes())
        writes.append(QJsonArray{write.name, HostValues::toJson(write.value),
                                 HostValues::toJson(write.defaultValue)});
    if (args.size() == 1 && !bag.save(args.at(0).toString()))
        throw SystemError(SystemError::PathFileAccessError,
                          QStringLiteral("Path/File access error: %1").arg(args.at(0).toString()));
    return ok(writes);
}
