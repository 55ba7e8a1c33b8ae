// Assigns Value many times on a shown bar, with and without the yield, and
// does the same with a QProgressBar repainted at once after each setValue.

#include "ModalRunner.h"
#include "PropertyBag.h"
#include "Schedule.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProgressBar>
#include <QTextStream>
#include <QVBoxLayout>

#include <utility>

namespace {

// Counts the paint events that reach the watched widgets.
class PaintCounter : public QObject
{
public:
    int count = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++count;
        return false;
    }
};

template<typename Assign>
double assignmentsPerSecond(int count, Assign &&assign)
{
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < count; ++i)
        assign(i % 101);
    QApplication::processEvents();
    return count / (timer.nsecsElapsed() / 1e9);
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int count = argc > 1 ? QByteArray(argv[1]).toInt() : 100000;
    ModalRunner::setHandler([](QDialog *) { return 0; });

    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    auto *bar = new Schedule;
    auto *reference = new QProgressBar;
    reference->setRange(0, 100);
    bar->setFixedSize(308, 131);
    reference->setFixedSize(308, 131);
    layout->addWidget(bar);
    layout->addWidget(reference);
    PropertyBag saved;
    bar->hostWriteProperties(saved);
    bar->hostReadProperties(saved); // as a host loads a stored form: no about box
    window.show();
    QApplication::processEvents();

    // The inner area of the background pane is where the bar's picture is painted.
    PaintCounter barPaints;
    QWidget *background = bar->findChild<QWidget *>(QStringLiteral("Pc1"));
    background->findChild<QWidget *>()->installEventFilter(&barPaints);
    PaintCounter referencePaints;
    reference->installEventFilter(&referencePaints);

    bar->setDoevent(false);
    const double repaintRate = assignmentsPerSecond(count, [&](int v) { bar->setValue(v); });
    const int repaintPaints = std::exchange(barPaints.count, 0);
    bar->setDoevent(true);
    const double yieldRate = assignmentsPerSecond(count, [&](int v) { bar->setValue(v); });
    const int yieldPaints = barPaints.count;
    const double referenceRate = assignmentsPerSecond(count, [&](int v) {
        reference->setValue(v);
        reference->repaint();
    });

    QTextStream out(stdout);
    out << "assignments: " << count << " each\n";
    out << "Schedule, Doevent false: " << qRound64(repaintRate) << " per second ("
        << repaintPaints << " paints of the background pane)\n";
    out << "Schedule, Doevent true:  " << qRound64(yieldRate) << " per second ("
        << yieldPaints << " paints of the background pane)\n";
    out << "QProgressBar setValue + repaint: " << qRound64(referenceRate) << " per second ("
        << referencePaints.count << " paints)\n";
    out << "ratio Doevent false / QProgressBar: " << QString::number(repaintRate / referenceRate, 'f', 2)
        << " (target >= 0.50)\n";
    out << "ratio Doevent true / QProgressBar:  " << QString::number(yieldRate / referenceRate, 'f', 2) << "\n";
    return 0;
}
