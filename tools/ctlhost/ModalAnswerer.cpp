#include "ModalAnswerer.h"

#include "HostReply.h"
#include "ModalRunner.h"

#include <QAbstractButton>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QJsonArray>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

namespace {
QString withoutMnemonic(QString text)
{
    return text.remove(u'&');
}

// The button that closes a dialog as OK would.
QAbstractButton *acceptButton(QDialog *dialog)
{
    if (auto *box = qobject_cast<QMessageBox *>(dialog)) {
        if (box->defaultButton())
            return box->defaultButton();
        if (QAbstractButton *okButton = box->button(QMessageBox::Ok))
            return okButton;
        const QList<QAbstractButton *> buttons = box->buttons();
        return buttons.isEmpty() ? nullptr : buttons.first();
    }
    QList<QPushButton *> buttons;
    for (QPushButton *button : dialog->findChildren<QPushButton *>()) {
        if (button->isVisibleTo(dialog) && button->isEnabled())
            buttons.append(button);
    }
    for (QPushButton *button : std::as_const(buttons)) {
        if (button->isDefault())
            return button;
    }
    for (QDialogButtonBox *box : dialog->findChildren<QDialogButtonBox *>()) {
        for (QAbstractButton *button : box->buttons()) {
            if (box->buttonRole(button) == QDialogButtonBox::AcceptRole)
                return button;
        }
    }
    if (buttons.size() == 1)
        return buttons.first();
    for (QPushButton *button : std::as_const(buttons)) {
        const QString text = withoutMnemonic(button->text());
        if (text.startsWith(QLatin1String("OK"), Qt::CaseInsensitive) || text.startsWith(u"确定"))
            return button;
    }
    return nullptr;
}
} // namespace

ModalAnswerer::ModalAnswerer(bool keepOpen, const QString &screenshotFolder)
    : m_keepOpen(keepOpen)
    , m_screenshotFolder(screenshotFolder)
{
}

int ModalAnswerer::answer(QDialog *dialog)
{
    QPointer<QDialog> guard(dialog);
    if (!m_keepOpen)
        dialog->show();
    QJsonObject modal{{QStringLiteral("title"), dialog->windowTitle()},
                      {QStringLiteral("texts"), QJsonArray::fromStringList(ModalRunner::texts(dialog))}};
    ++m_count;
    if (!m_screenshotFolder.isEmpty()) {
        const QString path = m_screenshotFolder + QStringLiteral("/modal-%1.png").arg(m_count);
        if (QDir().mkpath(m_screenshotFolder) && dialog->grab().save(path, "PNG"))
            modal.insert(QStringLiteral("screenshot"), path);
    }
    HostReply::print(QJsonObject{{QStringLiteral("modal"), modal}});
    if (m_keepOpen)
        return dialog->exec();

    bool finished = false;
    const QMetaObject::Connection connection =
        QObject::connect(dialog, &QDialog::finished, dialog, [&finished] { finished = true; });
    if (QAbstractButton *button = acceptButton(dialog))
        button->click();
    if (guard && !finished)
        guard->accept();
    QObject::disconnect(connection);
    if (!guard)
        return QDialog::Accepted;
    guard->hide();
    return guard->result();
}
