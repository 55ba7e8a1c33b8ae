#pragma once

#include "ModalRunner.h"
#include "Schedule.h"
#include "Shell.h"

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
inline QStringList *attachLog(Schedule *bar, QStringList *log)
{
    QObject::connect(bar, &Schedule::Change, bar, [log] { log->append(QStringLiteral("Change")); });
    QObject::connect(bar, &ControlBase::propertyChanged, bar,
                     [log](const QString &name) { log->append(QStringLiteral("changed:") + name); });
    return log;
}
