#include "DownloadWindow.h"

#include "DownloadRow.h"

#include <algorithm>

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <QStandardPaths>
#include <QUrl>
#include <QVBoxLayout>

DownloadWindow::DownloadWindow(QWidget *parent)
    : QWidget(parent)
    , m_folder(QStandardPaths::writableLocation(QStandardPaths::DownloadLocation))
{
    setWindowTitle(tr("Downloads"));
    auto *addressesLabel = new QLabel(tr("&Addresses:"), this);
    m_addresses = new QPlainTextEdit(this);
    m_addresses->setObjectName(QStringLiteral("addresses"));
    m_addresses->setPlaceholderText(tr("Paste http:// or ftp:// addresses here, one per line"));
    m_addresses->setFixedHeight(m_addresses->fontMetrics().lineSpacing() * 4);
    // Tab leaves the box: addresses hold no tabs, and a keyboard user must get out.
    m_addresses->setTabChangesFocus(true);
    addressesLabel->setBuddy(m_addresses);
    auto *download = new QPushButton(tr("&Download"), this);
    download->setObjectName(QStringLiteral("download"));
    download->setToolTip(tr("Download the addresses (Ctrl+Return)"));
    connect(download, &QPushButton::clicked, this, [this] {
        addAddresses(m_addresses->toPlainText());
        m_addresses->clear();
    });
    auto *downloadKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Return), m_addresses);
    downloadKey->setContext(Qt::WidgetShortcut);
    connect(downloadKey, &QShortcut::activated, download, &QPushButton::click);

    auto *folderLabel = new QLabel(tr("Save &to:"), this);
    m_folderEdit = new QLineEdit(QDir::toNativeSeparators(m_folder), this);
    m_folderEdit->setObjectName(QStringLiteral("folder"));
    m_folderEdit->setReadOnly(true);
    folderLabel->setBuddy(m_folderEdit);
    auto *choose = new QPushButton(tr("&Change…"), this);
    choose->setObjectName(QStringLiteral("chooseFolder"));
    choose->setAccessibleName(tr("Change the download folder"));
    connect(choose, &QPushButton::clicked, this, &DownloadWindow::chooseFolder);

    auto *list = new QWidget;
    m_rows = new QVBoxLayout(list);
    m_rows->addStretch();
    auto *scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setWidget(list);

    auto *input = new QHBoxLayout;
    input->addWidget(m_addresses, 1);
    input->addWidget(download, 0, Qt::AlignTop);
    auto *folder = new QHBoxLayout;
    folder->addWidget(folderLabel);
    folder->addWidget(m_folderEdit, 1);
    folder->addWidget(choose);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(addressesLabel);
    layout->addLayout(input);
    layout->addLayout(folder);
    layout->addWidget(scroll, 1);
    resize(640, 400);
}

void DownloadWindow::setDownloadFolder(const QString &folder)
{
    m_folder = folder;
    m_folderEdit->setText(QDir::toNativeSeparators(folder));
}

void DownloadWindow::chooseFolder()
{
    const QString chosen = QFileDialog::getExistingDirectory(this, tr("Download folder"), m_folder);
    if (!chosen.isEmpty())
        setDownloadFolder(chosen);
}

void DownloadWindow::setParallel(int parallel)
{
    m_parallel = qMax(1, parallel);
    startNext();
}

QList<DownloadRow *> DownloadWindow::rows() const
{
    QList<DownloadRow *> rows;
    for (int i = 0; i < m_rows->count(); ++i) {
        if (auto *row = qobject_cast<DownloadRow *>(m_rows->itemAt(i)->widget()))
            rows.append(row);
    }
    return rows;
}

void DownloadWindow::addAddresses(const QString &text)
{
    for (const QString &line : text.split(u'\n')) {
        const QString address = line.trimmed();
        if (address.isEmpty())
            continue;
        auto *row = new DownloadRow(address, freeFileName(address));
        m_rows->insertWidget(m_rows->count() - 1, row);
        // Whenever a row stops (inside the control's Finish or Ended, or by
        // a pause) or goes back into the queue, the queue moves on.
        connect(row, &DownloadRow::stateChanged, this, [this](DownloadRow::State state) {
            if (state != DownloadRow::State::Running)
                startNext();
        });
        connect(row, &QObject::destroyed, this, &DownloadWindow::startNext, Qt::QueuedConnection);
    }
    startNext();
}

void DownloadWindow::startNext()
{
    const QList<DownloadRow *> all = rows();
    int running = 0;
    for (DownloadRow *row : all)
        running += row->state() == DownloadRow::State::Running;
    for (DownloadRow *row : all) {
        if (running >= m_parallel)
            break;
        if (row->state() == DownloadRow::State::Queued) {
            row->start();
            ++running;
        }
    }
}

// The address's file name in the download folder; an existing file is
// never overwritten, the new one gets a number instead.
QString DownloadWindow::freeFileName(const QString &address) const
{
    QString name = QUrl(address).fileName();
    if (name.isEmpty())
        name = QStringLiteral("download");
    const QDir folder(m_folder);
    const QFileInfo info(name);
    QString candidate = folder.filePath(name);
    for (int n = 2; QFileInfo::exists(candidate) || isTaken(candidate); ++n) {
        const QString suffix = info.suffix().isEmpty() ? QString() : u'.' + info.suffix();
        candidate = folder.filePath(QStringLiteral("%1 (%2)%3").arg(info.completeBaseName()).arg(n).arg(suffix));
    }
    return candidate;
}

bool DownloadWindow::isTaken(const QString &fileName) const
{
    const QList<DownloadRow *> all = rows();
    return std::any_of(all.begin(), all.end(), [&](DownloadRow *row) { return row->fileName() == fileName; });
}
