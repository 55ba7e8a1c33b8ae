// Assigns Value many times on a shown bar, with and without the yield, and
// focused, and does the same with a QProgressBar repainted at once after
// each setValue; several rounds of each, taking turns.

#include "ModalRunner.h"
#include "PropertyBag.h"
#include "Schedule.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProgressBar>
#include <QTextStream>
#include <QVBoxLayout>

#include <algorithm>

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

// Rates of several rounds: the median, and the lowest and highest as the spread.
struct Rates
{
    QList<double> rounds;
    double median() const
    {
        QList<double> sorted = rounds;
        std::sort(sorted.begin(), sorted.end());
        return sorted.at(sorted.size() / 2);
    }
    QString text() const
    {
        const auto [low, high] = std::minmax_element(rounds.begin(), rounds.end());
        return QStringLiteral("%1 per second (median of %2; %3 to %4)")
            .arg(qRound64(median())).arg(rounds.size()).arg(qRound64(*low)).arg(qRound64(*high));
    }
};

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int count = argc > 1 ? QByteArray(argv[1]).toInt() : 100000;
    const int rounds = argc > 2 ? QByteArray(argv[2]).toInt() : 5;
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

    // The cases take turns in each round, so a change of the machine's load hits them alike.
    Rates repaint, yield, focused, referenceRates;
    int repaintPaints = 0, yieldPaints = 0;
    for (int round = 0; round < rounds; ++round) {
        bar->setDoevent(false);
        barPaints.count = 0;
        repaint.rounds.append(assignmentsPerSecond(count, [&](int v) { bar->setValue(v); }));
        repaintPaints = barPaints.count;
        bar->setDoevent(true);
        barPaints.count = 0;
        yield.rounds.append(assignmentsPerSecond(count, [&](int v) { bar->setValue(v); }));
        yieldPaints = barPaints.count;
        // With the keyboard focus the focus mark is painted over the bar too.
        bar->setDoevent(false);
        bar->setFocus();
        QApplication::processEvents();
        if (!bar->hasFocus())
            qFatal("the bar did not take the focus");
        focused.rounds.append(assignmentsPerSecond(count, [&](int v) { bar->setValue(v); }));
        bar->clearFocus();
        referencePaints.count = 0;
        referenceRates.rounds.append(assignmentsPerSecond(count, [&](int v) {
            reference->setValue(v);
            reference->repaint();
        }));
    }

    QTextStream out(stdout);
    out << "assignments: " << count << " per round, " << rounds << " rounds\n";
    out << "Schedule, Doevent false: " << repaint.text() << ", " << repaintPaints
        << " paints of the background pane a round\n";
    out << "Schedule, Doevent true:  " << yield.text() << ", " << yieldPaints
        << " paints of the background pane a round\n";
    out << "Schedule focused, Doevent false: " << focused.text() << "\n";
    out << "QProgressBar setValue + repaint: " << referenceRates.text() << ", " << referencePaints.count
        << " paints a round\n";
    const auto ratio = [&](const Rates &rates) {
        return QString::number(rates.median() / referenceRates.median(), 'f', 2);
    };
    out << "ratio Doevent false / QProgressBar: " << ratio(repaint) << " (target >= 0.50)\n";
    out << "ratio Doevent true / QProgressBar:  " << ratio(yield) << "\n";
    out << "ratio focused, Doevent false / QProgressBar: " << ratio(focused) << " (target >= 0.50)\n";
    return 0;
}
