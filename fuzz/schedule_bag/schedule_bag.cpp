// A property bag file loaded into a Schedule bar: whatever it holds, the bar
// saves a bag that loads again into the same bag, without an error when the
// first load had none.
// The picture pic.png lies in the working folder.
#include "FuzzCheck.h"
#include "ModalRunner.h"
#include "PropertyBag.h"
#include "Schedule.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonDocument>

#include <cstdlib>
#include <unistd.h>

namespace {

QStringList errorBoxes;

QJsonObject saveAndLoad(const PropertyBag &bag, const QString &name)
{
    Schedule bar;
    PropertyBag loaded = bag;
    bar.hostReadProperties(loaded);
    PropertyBag saved;
    bar.hostWriteProperties(saved);
    FUZZ_CHECK(saved.save(name));
    return saved.toJson();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Never deleted: Qt's exit handlers need it alive.
    static QApplication *app = new QApplication(*argc, *argv);
    Q_UNUSED(app);
    Fuzz::enterWorkFolder(QStringLiteral("fuzz_schedule"));
    QImage picture(4, 3, QImage::Format_RGB32);
    picture.fill(Qt::darkGreen);
    FUZZ_CHECK(picture.save(QStringLiteral("pic.png")));
    ModalRunner::setHandler([](QDialog *dialog) {
        errorBoxes.append(ModalRunner::texts(dialog).join(u' '));
        return 1;
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    {
        QFile file(QStringLiteral("in.json"));
        FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        FUZZ_CHECK(file.write(reinterpret_cast<const char *>(data), qint64(size)) == qint64(size));
    }
    PropertyBag bag;
    try {
        bag = PropertyBag::load(QStringLiteral("in.json"));
    } catch (const SystemError &error) {
        FUZZ_CHECK(!error.description().isEmpty());
        return 0;
    }

    errorBoxes.clear();
    const QJsonObject first = saveAndLoad(bag, QStringLiteral("first.json"));
    // A bag the bar refused part of may be refused again; one it took must load cleanly.
    const bool firstTaken = errorBoxes.isEmpty();
    errorBoxes.clear();
    const QJsonObject second = saveAndLoad(PropertyBag::load(QStringLiteral("first.json")),
                                           QStringLiteral("second.json"));
    if (first != second || (firstTaken && !errorBoxes.isEmpty())) {
        std::fprintf(stderr, "%s\n", qPrintable(errorBoxes.join(u'\n')));
        std::fprintf(stderr, "%s\n%s\n", QJsonDocument(first).toJson().constData(),
                     QJsonDocument(second).toJson().constData());
        FUZZ_CHECK(first == second && (!firstTaken || errorBoxes.isEmpty()));
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}
