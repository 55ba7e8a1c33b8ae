#pragma once

#include "ModalRunner.h"
#include "PictureBox.h"
#include "PropertyBag.h"
#include "Schedule.h"
#include "Shell.h"
#include "WindowlessLabel.h"

#include <QDialog>
#include <QStringList>
#include <QWidget>

// Records what the bar asks of its host: modal windows, shell requests,
// events and property-change notices, in one ordered log.
struct HostRecorder
{
    struct Modal {
        QString title;
        QStringList texts;
    };
    struct ShellRequest {
        QString verb;
        QString target;
        QWidget *parent = nullptr;
        bool operator==(const ShellRequest &) const = default;
    };

    QList<Modal> modals;
    QList<ShellRequest> shell;
    std::function<void(QDialog *)> onModal;

    void install()
    {
        ModalRunner::setHandler([this](QDialog *dialog) {
            modals.append({dialog->windowTitle(), ModalRunner::texts(dialog)});
            if (onModal)
                onModal(dialog);
            return int(QDialog::Accepted);
        });
        Shell::setHandler([this](const QString &verb, const QString &target, QWidget *parent) {
            shell.append({verb, target, parent});
            return true;
        });
    }
    void clear()
    {
        modals.clear();
        shell.clear();
        onModal = nullptr;
    }
};

// The ordered log of a bar's Change events and property-change notices.
inline void attachLog(Schedule *bar, QStringList *log)
{
    QObject::connect(bar, &Schedule::Change, bar, [log] { log->append(QStringLiteral("Change")); });
    QObject::connect(bar, &ControlBase::propertyChanged, bar,
                     [log](const QString &name) { log->append(QStringLiteral("changed:") + name); });
}

inline ScheduleControl::PictureBox *pane(Schedule &bar, const char *name)
{
    return bar.findChild<ScheduleControl::PictureBox *>(QString::fromLatin1(name));
}

inline ScheduleControl::WindowlessLabel *label(Schedule &bar, const char *name)
{
    return bar.findChild<ScheduleControl::WindowlessLabel *>(QString::fromLatin1(name));
}

//! The number of the last host call's failure, 0 if it succeeded.
inline int errorNumber(Schedule &bar)
{
    const auto error = bar.takeError();
    return error ? error->number() : 0;
}

//! Loads \a bar from a bag holding \a values.
inline void load(Schedule &bar, const QVariantMap &values)
{
    PropertyBag bag;
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        bag.setValue(it.key(), it.value());
    bar.hostReadProperties(bag);
}
