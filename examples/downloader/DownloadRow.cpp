#include "DownloadRow.h"

#include "ErrorText.h"

#include <PropertyBag.h>
#include <Schedule.h>
#include <ZuFTPDownLoad.h>
#include <ZuHTTPdownload.h>

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include <limits>

namespace {
// The bar counts in ints: past 2 GiB it counts fractions of the whole.
int barUnits(qint64 bytes, qint64 total)
{
    constexpr qint64 most = std::numeric_limits<int>::max();
    return total <= most ? int(bytes) : int(double(bytes) / double(total) * most);
}
}

DownloadRow::DownloadRow(const QString &address, const QString &fileName, QWidget *parent)
    : QWidget(parent)
    , m_address(address)
    , m_fileName(fileName)
{
    // Controls made at run time are loaded like the controls of a saved
    // form: one placed fresh would greet the user with its about box.
    PropertyBag saved;
    ControlBase *control = nullptr;
    if (address.startsWith(QLatin1String("http://"), Qt::CaseInsensitive)
        || address.startsWith(QLatin1String("https://"), Qt::CaseInsensitive)) {
        setupHttp();
        control = m_http;
    } else if (address.startsWith(QLatin1String("ftp://"), Qt::CaseInsensitive)) {
        setupFtp();
        control = m_ftp;
    }
    if (control) {
        control->hostReadProperties(saved);
        control->setFixedSize(control->size());
    }

    m_bar = new Schedule(this);
    m_bar->hostReadProperties(saved);
    m_bar->setDoevent(false); // the window's own event loop repaints it
    m_bar->setShowText(true);
    m_bar->setShowPercent(true);
    m_bar->setText(QFileInfo(fileName).fileName());
    m_bar->setValue(0);
    m_bar->setMinimumSize(240, 24);

    m_statusLabel = new QLabel(this);
    m_pauseButton = new QPushButton(tr("Pause"), this);
    m_pauseButton->setObjectName(QStringLiteral("pause"));
    m_cancelButton = new QPushButton(tr("Cancel"), this);
    m_cancelButton->setObjectName(QStringLiteral("cancel"));
    connect(m_pauseButton, &QPushButton::clicked, this, [this] {
        if (m_state == State::Done)
            openFolder();
        else if (m_state == State::Running || m_state == State::Queued)
            pause();
        else
            resume();
    });
    connect(m_cancelButton, &QPushButton::clicked, this, &DownloadRow::cancel);

    auto *progress = new QVBoxLayout;
    progress->addWidget(m_bar);
    progress->addWidget(m_statusLabel);
    auto *layout = new QHBoxLayout(this);
    if (control)
        layout->addWidget(control, 0, Qt::AlignTop);
    layout->addLayout(progress, 1);
    layout->addWidget(m_pauseButton, 0, Qt::AlignTop);
    layout->addWidget(m_cancelButton, 0, Qt::AlignTop);

    if (control)
        setState(State::Queued);
    else
        fail(0, tr("Only http://, https:// and ftp:// addresses can be downloaded"));
}

QString DownloadRow::status() const
{
    return m_statusLabel->text();
}

void DownloadRow::setupHttp()
{
    m_http = new ZuHTTPdownload(this);
    // GetAttrs probes the resource; its answer starts the transfer.
    connect(m_http, &ZuHTTPdownload::GetAttred, this, &DownloadRow::startHttpTransfer);
    connect(m_http, &ZuHTTPdownload::GetData, this, &DownloadRow::showProgress);
    // Finish also follows a ZUClose (a pause) at the control's next tick,
    // which may come after the next GetAttrs: only a transfer ends here.
    connect(m_http, &ZuHTTPdownload::Finish, this, [this] {
        if (m_transferring)
            finished(m_size);
    });
    connect(m_http, &ZuHTTPdownload::OnError, this, &DownloadRow::fail);
}

void DownloadRow::setupFtp()
{
    m_ftp = new ZuFTPDownLoad(this);
    connect(m_ftp, &ZuFTPDownLoad::UrlOK, this, [this](qint64 size) {
        m_size = size;
        if (size > 0)
            m_bar->setMax(barUnits(size, size));
    });
    connect(m_ftp, &ZuFTPDownLoad::GetedData, this, &DownloadRow::showProgress);
    connect(m_ftp, &ZuFTPDownLoad::Ended, this, [this] {
        m_ftp->ZUClose(); // closes the file, so its size is final
        finished(m_size);
    });
    connect(m_ftp, &ZuFTPDownLoad::OnError, this, [this](qint16 number, const QString &description) {
        // Said when the server names no size; the transfer goes on.
        if (number == 1 && description == QStringLiteral("文件大小未知"))
            return;
        fail(number, description);
    });
}

void DownloadRow::start()
{
    if (m_state != State::Queued)
        return;
    setState(State::Running, tr("Connecting"));
    m_transferring = false;
    // The folder may not be there yet (a fresh ~/Downloads), or may be gone since.
    const QString folder = QFileInfo(m_fileName).absolutePath();
    if (!QDir().mkpath(folder))
        return fail(0, tr("The folder %1 cannot be created").arg(QDir::toNativeSeparators(folder)));
    if (m_http) {
        m_http->GetAttrs(m_address);
    } else {
        // REST at the bytes already in the file, written on from there.
        const qint64 have = bytesOnDisk();
        m_ftp->DownTo(m_address, m_fileName, have + 1, have > 0);
    }
}

void DownloadRow::startHttpTransfer()
{
    if (m_state != State::Running)
        return;
    m_size = m_http->Length();
    if (m_size > 0)
        m_bar->setMax(barUnits(m_size, m_size));
    const qint64 have = bytesOnDisk();
    if (have > 0 && have == m_size)
        return finished(m_size);
    m_transferring = true;
    if (have > 0 && have < m_size && m_http->Range().toString() == QLatin1String("bytes")) {
        // The last size - have + 1 bytes, written from the file's last byte on.
        m_http->DownTo(m_fileName, have, m_size - have + 1, true);
    } else {
        m_http->DownTo(m_fileName, 1, 0, false);
    }
    if (const auto error = m_http->takeError())
        fail(error->number(), error->description());
}

void DownloadRow::showProgress()
{
    if (m_state != State::Running)
        return;
    const qint64 have = m_http ? m_http->HsDown() : m_ftp->HsDown();
    if (m_size > 0)
        m_bar->setValue(barUnits(qMin(have, m_size), m_size));
    const QLocale locale;
    m_statusLabel->setText(m_size > 0 ? tr("%1 of %2").arg(locale.formattedDataSize(have), locale.formattedDataSize(m_size))
                                      : locale.formattedDataSize(have));
    emit progressed(have);
}

void DownloadRow::finished(qint64 expected)
{
    // A pause or a failure has closed the transfer already.
    if (m_state != State::Running)
        return;
    const qint64 have = bytesOnDisk();
    if (expected > 0 && have != expected)
        return fail(0, tr("The connection ended after %1 of %2 bytes").arg(have).arg(expected));
    if (have > 0) {
        m_bar->setMax(barUnits(have, have));
        m_bar->setValue(barUnits(have, have));
    }
    setState(State::Done, tr("Done, %1").arg(QLocale().formattedDataSize(have)));
}

void DownloadRow::fail(int number, const QString &description)
{
    if (m_state == State::Failed)
        return;
    if (m_http)
        m_http->ZUClose();
    if (m_ftp)
        m_ftp->ZUClose();
    const auto protocol = m_ftp ? ErrorText::Protocol::Ftp : ErrorText::Protocol::Http;
    setState(State::Failed, number ? ErrorText::describe(protocol, number, description) : description);
}

void DownloadRow::pause()
{
    if (m_state != State::Running && m_state != State::Queued)
        return;
    // Closing keeps what is in the file; HTTP still says Finish at its next tick.
    if (m_http)
        m_http->ZUClose();
    if (m_ftp)
        m_ftp->ZUClose();
    setState(State::Paused, tr("Paused at %1").arg(QLocale().formattedDataSize(bytesOnDisk())));
}

void DownloadRow::resume()
{
    if ((m_state == State::Paused || m_state == State::Failed) && (m_http || m_ftp))
        setState(State::Queued);
}

void DownloadRow::cancel()
{
    const State before = m_state;
    pause();
    if (before != State::Done)
        QFile::remove(m_fileName);
    deleteLater();
}

void DownloadRow::openFolder()
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(m_fileName).absolutePath()));
}

void DownloadRow::setState(State state, const QString &message)
{
    m_state = state;
    m_statusLabel->setText(state == State::Queued ? tr("Queued") : message);
    switch (state) {
    case State::Queued:
    case State::Running: m_pauseButton->setText(tr("Pause")); break;
    case State::Paused: m_pauseButton->setText(tr("Resume")); break;
    case State::Failed: m_pauseButton->setText(tr("Retry")); break;
    case State::Done: m_pauseButton->setText(tr("Open folder")); break;
    }
    // A finished file stays where it is; only the row goes.
    m_cancelButton->setText(state == State::Done ? tr("Remove") : tr("Cancel"));
    m_pauseButton->setEnabled(m_http || m_ftp);
    emit stateChanged(state);
}

qint64 DownloadRow::bytesOnDisk() const
{
    return QFileInfo(m_fileName).size();
}
