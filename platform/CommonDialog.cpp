#include "CommonDialog.h"

#include "ModalRunner.h"

#include <QFileDialog>
#include <QFileInfo>

CommonDialog::CommonDialog(QWidget *owner)
    : QObject(owner)
    , m_owner(owner)
{
}

QStringList CommonDialog::nameFilters(const QString &filter)
{
    QStringList result;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString &description = parts.at(i);
        const QString pattern = QString(parts.at(i + 1)).replace(QLatin1Char(';'), QLatin1Char(' '));
        // The file dialog reads the patterns from the parentheses at the end.
        if (description.endsWith(QLatin1Char('(') + pattern + QLatin1Char(')')))
            result.append(description);
        else
            result.append(description + QLatin1String(" (") + pattern + QLatin1Char(')'));
    }
    return result;
}

void CommonDialog::ShowOpen()
{
    show(true);
}

void CommonDialog::ShowSave()
{
    show(false);
}

void CommonDialog::show(bool open)
{
    QFileDialog dialog(m_owner, m_title);
    dialog.setObjectName(open ? QStringLiteral("OpenDialog") : QStringLiteral("SaveDialog"));
    dialog.setAcceptMode(open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    const QStringList filters = nameFilters(m_filter);
    if (!filters.isEmpty())
        dialog.setNameFilters(filters);
    if (!m_fileName.isEmpty()) {
        const QFileInfo info(m_fileName);
        if (info.absoluteDir().exists())
            dialog.setDirectory(info.absolutePath());
        dialog.selectFile(info.fileName());
    }
    if (ModalRunner::exec(&dialog) != QDialog::Accepted)
        return;
    const QStringList chosen = dialog.selectedFiles();
    if (!chosen.isEmpty() && !chosen.first().isEmpty())
        m_fileName = chosen.first();
}
