#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QWidget;

/*!
    The common file dialog object: one instance serves both the open and the
    save dialog, and its FileName keeps its value from one use to the next.

    Filter takes "description|pattern|description|pattern..." pairs.
    ShowOpen() and ShowSave() are modal (through ModalRunner::exec, so a
    test can answer the QFileDialog, named "OpenDialog" or "SaveDialog");
    they open in the folder of FileName with its name preset. A cancelled
    dialog is no error and leaves FileName as it was. The save dialog does
    not ask before choosing an existing file.
*/
class CommonDialog : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString Filter READ Filter WRITE setFilter)
    Q_PROPERTY(QString DialogTitle READ DialogTitle WRITE setDialogTitle)
    Q_PROPERTY(QString FileName READ FileName WRITE setFileName)

public:
    //! \a owner parents the object and the dialogs it shows.
    explicit CommonDialog(QWidget *owner = nullptr);

    QString Filter() const { return m_filter; }
    void setFilter(const QString &filter) { m_filter = filter; }
    QString DialogTitle() const { return m_title; }
    void setDialogTitle(const QString &title) { m_title = title; }
    QString FileName() const { return m_fileName; }
    void setFileName(const QString &fileName) { m_fileName = fileName; }

    void ShowOpen();
    void ShowSave();

    //! The file dialog's name filters for a Filter text.
    static QStringList nameFilters(const QString &filter);

private:
    void show(bool open);

    QWidget *m_owner = nullptr;
    QString m_filter;
    QString m_title;
    QString m_fileName;
};
