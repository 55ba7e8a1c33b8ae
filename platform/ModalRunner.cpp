#include "ModalRunner.h"

#include <QAbstractButton>
#include <QDialog>
#include <QLabel>
#include <QPointer>

static ModalRunner::Handler &handler()
{
    static ModalRunner::Handler h;
    return h;
}

int ModalRunner::exec(QDialog *dialog)
{
    if (const Handler &h = handler())
        return h(dialog);
    return dialog->exec();
}

int ModalRunner::messageBox(QWidget *parent, QMessageBox::Icon icon, const QString &text,
                            const QString &title)
{
    // On the heap: the parent may be destroyed while the box is open, taking the box with it.
    QPointer<QMessageBox> box = new QMessageBox(icon, title, text, QMessageBox::Ok, parent);
    const int result = exec(box);
    delete box.data();
    return result;
}

ModalRunner::Handler ModalRunner::setHandler(Handler h)
{
    return std::exchange(handler(), std::move(h));
}

QStringList ModalRunner::texts(const QDialog *dialog)
{
    QStringList result;
    const QList<QWidget *> children = dialog->findChildren<QWidget *>();
    for (const QWidget *w : children) {
        if (!w->isVisibleTo(dialog))
            continue;
        if (const auto *label = qobject_cast<const QLabel *>(w)) {
            if (!label->text().isEmpty())
                result.append(label->text());
        } else if (const auto *button = qobject_cast<const QAbstractButton *>(w)) {
            if (!button->text().isEmpty())
                result.append(button->text());
        }
    }
    return result;
}
