#include "Combiner.h"
#include "CommonDialog.h"
#include "Form1.h"
#include "JoinProgressDialog.h"
#include "ModalRunner.h"
#include "PieceWriter.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cerrno>
#include <signal.h>

#include "Schedule.h"

using namespace PieceWriter;

struct Box
{
    QMessageBox::Icon icon;
    QString text;
    QString title;
};

class tst_Form1 : public QObject
{
    Q_OBJECT

    QTemporaryDir m_root;
    QDir m_dir;
    QScopedPointer<Form1> m_form;
    QList<Box> m_boxes;
    std::function<int(QFileDialog *)> m_answerFileDialog;
    QByteArray m_original;
    QByteArray m_big;
    QStringList m_otherDialogs;

    template<typename T>
    T *child(const char *name) const
    {
        return m_form->findChild<T *>(QLatin1String(name));
    }
    QString path(const QString &name) const { return m_dir.filePath(name); }
    //! Fills in both boxes, sets the check box and clicks "Combine now".
    void combine(const QString &stencil, const QString &output, bool compressed)
    {
        child<QLineEdit>("txtTemplateName")->setText(stencil);
        child<QLineEdit>("txtOutputFile")->setText(output);
        child<QCheckBox>("checkc2")->setChecked(compressed);
        QTest::mouseClick(child<QPushButton>("cmdUnsplit"), Qt::LeftButton);
    }
    QStringList tempLeftovers() const
    {
        return QDir(path("tmp")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }
    bool showActive()
    {
        m_form->show();
        QApplication::setActiveWindow(m_form.data());
        return QTest::qWaitForWindowActive(m_form.data());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_root.isValid());
        m_dir = QDir(m_root.path());
        QVERIFY(m_dir.mkdir("tmp"));
        // Temporary folders of the extraction land here, where the tests can see them.
        qputenv("TMPDIR", QFile::encodeName(path("tmp")));

        m_original = pattern(200000, 5);
        QVERIFY(writeFile(path("movie.bin"), m_original));
        const QByteArray cabinet = packCabinet(path("movie.bin"), path("movie.cab"));
        QVERIFY(cabinet.size() > 1000);
        QVERIFY(splitWithStencil(path("cab.kvs"), path("cab.dat"), cabinet,
                                 {int(cabinet.size()) / 3, int(cabinet.size() - cabinet.size() / 3)}));
        // Plain data that is no cabinet, and a stencil naming one piece more than there are.
        QVERIFY(splitWithStencil(path("plain.kvs"), path("plain.dat"), "plain data", {5, 5}));
        QVERIFY(writeFile(path("gap.kvs"), stencil(QFile::encodeName(path("plain.dat")), 3, 1)));
        // Large enough to take several blocks.
        m_big = pattern(30 * 1024 * 1024 + 3, 6);
        QVERIFY(splitWithStencil(path("big.kvs"), path("big.dat"), m_big, {10 << 20, 10 << 20, (10 << 20) + 3}));

        ModalRunner::setHandler([this](QDialog *dialog) {
            if (auto *box = qobject_cast<QMessageBox *>(dialog)) {
                m_boxes.append({box->icon(), box->text(), box->windowTitle()});
                return int(QMessageBox::Ok);
            }
            if (auto *files = qobject_cast<QFileDialog *>(dialog))
                return m_answerFileDialog ? m_answerFileDialog(files) : int(QDialog::Rejected);
            m_otherDialogs.append(QString::fromLatin1(dialog->metaObject()->className()));
            return int(QDialog::Rejected);
        });
    }
    void init()
    {
        m_boxes.clear();
        m_answerFileDialog = nullptr;
        m_form.reset(new Form1);
        m_form->setExtractProgram(QStringLiteral(EXTRACT_PATH));
        QFile::remove(path("out"));
    }
    void cleanup() { m_form.reset(); }

    void window()
    {
        QCOMPARE(m_form->windowTitle(), QStringLiteral("Korvel - Tessal"));
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.data()));
        const QPoint offset = m_form->geometry().center() - m_form->screen()->availableGeometry().center();
        QVERIFY2(offset.manhattanLength() <= 40, qPrintable(QStringLiteral("%1,%2").arg(offset.x()).arg(offset.y())));
        QVERIFY(m_form->grab().save(QDir(QStringLiteral(SCREENSHOT_DIR)).filePath("form1.png")));
        // Tab starts from the output's button; Alt+X closes without a word.
        QVERIFY(showActive());
        QCOMPARE(QApplication::focusWidget(), child<QWidget>("Command4"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), child<QWidget>("Command3"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_X, Qt::AltModifier);
        QTRY_VERIFY(!m_form->isVisible());
        QVERIFY(m_boxes.isEmpty());
    }

    // Return anywhere but on another button combines; the buttons take Return and Space
    // themselves; each access key belongs to one control.
    void keyboard_data()
    {
        QTest::addColumn<QString>("focus"); // the control that has the focus
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("outcome"); // combined, open, save, nothing
        const int none = Qt::NoModifier;
        QTest::newRow("Return in the stencil box") << "txtTemplateName" << int(Qt::Key_Return) << none << "combined";
        QTest::newRow("Enter in the output box") << "txtOutputFile" << int(Qt::Key_Enter) << int(Qt::KeypadModifier)
                                                 << "combined";
        QTest::newRow("Return on the check box") << "checkc2" << int(Qt::Key_Return) << none << "combined";
        QTest::newRow("Return on Combine now") << "cmdUnsplit" << int(Qt::Key_Return) << none << "combined";
        QTest::newRow("Space on Combine now") << "cmdUnsplit" << int(Qt::Key_Space) << none << "combined";
        QTest::newRow("Return on Open") << "Command3" << int(Qt::Key_Return) << none << "open";
        QTest::newRow("Return on Change") << "Command4" << int(Qt::Key_Return) << none << "save";
        QTest::newRow("Alt+C") << "txtOutputFile" << int(Qt::Key_C) << int(Qt::AltModifier) << "combined";
        QTest::newRow("Alt+H") << "txtOutputFile" << int(Qt::Key_H) << int(Qt::AltModifier) << "save";
        QTest::newRow("Alt+O") << "txtOutputFile" << int(Qt::Key_O) << int(Qt::AltModifier) << "open";
        QTest::newRow("Shift+Return in a box") << "txtTemplateName" << int(Qt::Key_Return) << int(Qt::ShiftModifier)
                                               << "nothing";
    }
    void keyboard()
    {
        QFETCH(QString, focus);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QString, outcome);
        QList<QFileDialog::AcceptMode> dialogs;
        m_answerFileDialog = [&](QFileDialog *d) {
            dialogs.append(d->acceptMode());
            return int(QDialog::Rejected);
        };
        child<QLineEdit>("txtTemplateName")->setText(path("plain.kvs"));
        child<QLineEdit>("txtOutputFile")->setText(path("out"));
        QVERIFY(showActive());
        child<QWidget>(qPrintable(focus))->setFocus();
        QCOMPARE(QApplication::focusWidget(), child<QWidget>(qPrintable(focus)));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        // An access key presses its button a moment later, as a click shown.
        const QList<QFileDialog::AcceptMode> expected = outcome == u"open" ? QList{QFileDialog::AcceptOpen}
                : outcome == u"save" ? QList{QFileDialog::AcceptSave} : QList<QFileDialog::AcceptMode>();
        if (outcome != u"nothing")
            QTRY_VERIFY(m_boxes.size() + dialogs.size() > 0);
        QCOMPARE(readFile(path("out")), outcome == u"combined" ? QByteArray("plain data") : QByteArray());
        QCOMPARE(m_boxes.size(), int(outcome == u"combined"));
        QCOMPARE(dialogs, expected);
    }

    // The boxes are named by their labels, for the keyboard (buddies) and for screen readers.
    void accessibleNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("label"); // the buddy label, none when empty
        QTest::addColumn<QString>("accessible");
        QTest::newRow("stencil box") << "txtTemplateName" << "Label1_3" << "模板文件 Stencil files(.kvs)";
        QTest::newRow("output box") << "txtOutputFile" << "Label1_2" << "结合后的文件名 Enter the file name";
        QTest::newRow("check box") << "checkc2" << "" << "被压缩的?Compressed File?";
        QTest::newRow("Change keeps its words") << "Command4" << "" << "更改 Change";
        QTest::newRow("Combine now") << "cmdUnsplit" << "" << "现在结合 Combine now";
    }
    void accessibleNames()
    {
        QFETCH(QString, name);
        QFETCH(QString, label);
        QFETCH(QString, accessible);
        QWidget *widget = child<QWidget>(qPrintable(name));
        if (!label.isEmpty())
            QCOMPARE(child<QLabel>(qPrintable(label))->buddy(), widget);
        QAccessibleInterface *face = QAccessible::queryAccessibleInterface(widget);
        QVERIFY(face);
        QCOMPARE(face->text(QAccessible::Name), accessible);
    }

    void nameFilters_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("none") << "" << QStringList();
        QTest::newRow("pattern in the description")
                << "所有文件 All files(*.*)|*.*" << QStringList{"所有文件 All files(*.*)"};
        QTest::newRow("plain description") << "Texts|*.txt" << QStringList{"Texts (*.txt)"};
        QTest::newRow("several patterns") << "Pictures|*.bmp;*.gif|All|*.*"
                                          << QStringList{"Pictures (*.bmp *.gif)", "All (*.*)"};
        QTest::newRow("description without pattern") << "Texts|*.txt|Odd" << QStringList{"Texts (*.txt)"};
    }
    void nameFilters()
    {
        QFETCH(QString, filter);
        QFETCH(QStringList, expected);
        QCOMPARE(CommonDialog::nameFilters(filter), expected);
    }

    void openAndSaveDialogs()
    {
        const QString chosen = path("plain.kvs");
        QList<QFileDialog::AcceptMode> modes;
        QStringList presets;
        int answer = QDialog::Rejected;
        m_answerFileDialog = [&](QFileDialog *d) {
            modes.append(d->acceptMode());
            presets.append(d->selectedFiles().value(0));
            if (answer == QDialog::Accepted)
                d->selectFile(chosen);
            return answer;
        };
        // Cancelled before any choice, neither dialog touches the boxes.
        child<QLineEdit>("txtTemplateName")->setText("typed.kvs");
        QTest::mouseClick(child<QPushButton>("Command3"), Qt::LeftButton);
        QTest::mouseClick(child<QPushButton>("Command4"), Qt::LeftButton);
        QCOMPARE(child<QLineEdit>("txtTemplateName")->text(), QStringLiteral("typed.kvs"));
        QVERIFY(child<QLineEdit>("txtOutputFile")->text().isEmpty());

        answer = QDialog::Accepted;
        QTest::mouseClick(child<QPushButton>("Command3"), Qt::LeftButton);
        QCOMPARE(child<QLineEdit>("txtTemplateName")->text(), chosen);
        QVERIFY(child<QLineEdit>("txtOutputFile")->text().isEmpty());
        // The save dialog starts from the name chosen in the open dialog; cancelled,
        // that name still lands in the output box.
        answer = QDialog::Rejected;
        QTest::mouseClick(child<QPushButton>("Command4"), Qt::LeftButton);
        QCOMPARE(child<QLineEdit>("txtOutputFile")->text(), chosen);
        QCOMPARE(modes, QList<QFileDialog::AcceptMode>({QFileDialog::AcceptOpen, QFileDialog::AcceptSave,
                                                        QFileDialog::AcceptOpen, QFileDialog::AcceptSave}));
        QCOMPARE(presets.at(3), chosen);
    }

    // The boxes after "Combine now", and the output then; a failed join never starts an extraction.
    void combineMessages_data()
    {
        QTest::addColumn<QString>("stencil");
        QTest::addColumn<QString>("program"); // compressed with this EXTRACT; empty: not compressed
        QTest::addColumn<QString>("text"); // %1: the test folder
        QTest::addColumn<QString>("failure"); // the reason shown after the success box; ending in "...": how it starts
        QTest::addColumn<QByteArray>("output"); // null: as it was

        const QString noStencil = QStringLiteral("Stencil file name error 模板文件文件名错误！！！");
        const QString success = QStringLiteral("Combine succeed 结合成功！！！");
        const QString extract = QStringLiteral(EXTRACT_PATH);
        const QByteArray cabinet = readFile(path("movie.cab"));
        QTest::newRow("no stencil file") << "absent.kvs" << "" << noStencil << "" << QByteArray();
        QTest::newRow("missing piece, compressed")
                << "gap.kvs" << extract << "File not found: %1/plain.dat.003 (no complete set of pieces in %1)" << ""
                << QByteArray();
        QTest::newRow("success") << "plain.kvs" << "" << success << "" << QByteArray("plain data");
        QTest::newRow("unpacked over a longer file") << "cab.kvs" << extract << success << "" << m_original;
        QTest::newRow("no EXTRACT") << "cab.kvs" << "nowhere/EXTRACT" << success << "%1/nowhere/EXTRACT not found"
                                    << cabinet;
        QTest::newRow("not a cabinet") << "plain.kvs" << extract << success
                                       << "EXTRACT: %1/out: not a cabinet, or a truncated one" << QByteArray("plain data");
        QTest::newRow("EXTRACT writes nothing") << "cab.kvs" << "/bin/true" << success << "true wrote no file" << cabinet;
        QTest::newRow("EXTRACT fails silently") << "cab.kvs" << "/bin/false" << success << "false exited with code 1"
                                                << cabinet;
        QTest::newRow("EXTRACT not a program") << "cab.kvs" << "movie.bin" << success
                                               << "cannot start %1/movie.bin: ..." << cabinet;
    }
    void combineMessages()
    {
        QFETCH(QString, stencil);
        QFETCH(QString, program);
        QFETCH(QString, text);
        QFETCH(QString, failure);
        QFETCH(QByteArray, output);
        if (!program.isEmpty())
            m_form->setExtractProgram(program.startsWith(QLatin1Char('/')) ? program : path(program));
        const QByteArray old(500000, 'o');
        QVERIFY(writeFile(path("out"), old));
        combine(stencil.isEmpty() ? stencil : path(stencil), path("out"), !program.isEmpty());
        QCOMPARE(m_boxes.size(), failure.isEmpty() ? 1 : 2);
        const bool success = text.startsWith(u"Combine succeed");
        QCOMPARE(m_boxes.at(0).icon, success ? QMessageBox::Information : QMessageBox::Critical);
        QCOMPARE(m_boxes.at(0).title, success ? QStringLiteral("提示 Tips") : QStringLiteral("错误 Error"));
        QCOMPARE(m_boxes.at(0).text, text.replace(QLatin1String("%1"), m_dir.path()));
        if (!failure.isEmpty()) {
            QCOMPARE(m_boxes.at(1).icon, QMessageBox::Critical);
            QCOMPARE(m_boxes.at(1).title, QStringLiteral("错误 Error"));
            const QString shown = m_boxes.at(1).text;
            failure = "解压缩失败 Extraction failed: " + failure.replace(QLatin1String("%1"), m_dir.path());
            QVERIFY2(failure.endsWith(u"...") ? shown.startsWith(failure.chopped(3)) : shown == failure, qPrintable(shown));
        }
        QVERIFY(readFile(path("out")) == (output.isNull() ? old : output));
        QCOMPARE(tempLeftovers(), QStringList());
    }

    // While it joins, a modal window shows the bytes and the percentage on a Schedule bar,
    // and the event loop runs; Cancel, by mouse or keyboard, leaves the previous output as
    // it was. The bar takes no focus and no keys there: they go to Cancel, the default button.
    void joinProgress_data()
    {
        QTest::addColumn<QString>("cancel"); // empty: the join runs to its end
        QTest::newRow("to the end") << "";
        QTest::newRow("clicked") << "click";
        QTest::newRow("Escape") << "Escape";
        QTest::newRow("Return") << "Return";
        QTest::newRow("Space") << "Space";
    }
    void joinProgress()
    {
        QFETCH(QString, cancel);
        QVERIFY(writeFile(path("out"), "previous"));
        const QStringList names = m_dir.entryList(QDir::Files | QDir::Hidden);
        QVERIFY(showActive());

        QList<int> values;
        QStringList texts;
        bool modal = true;
        QString focused;
        QTimer watcher;
        connect(&watcher, &QTimer::timeout, this, [&] {
            auto *dialog = m_form->findChild<JoinProgressDialog *>();
            if (!dialog || !dialog->isVisible())
                return;
            modal = modal && QApplication::activeModalWidget() == dialog;
            auto *bar = dialog->findChild<Schedule *>("Schedule1");
            const int value = bar->Value();
            if (!values.isEmpty() && values.last() == value)
                return;
            values.append(value);
            texts.append(dialog->findChild<QLabel *>("Label1")->text());
            if (values.size() != 2)
                return;
            QVERIFY(dialog->grab().save(QDir(QStringLiteral(SCREENSHOT_DIR)).filePath("joinprogress.png")));
            // The user presses keys once the window is there; the join waits meanwhile.
            QTRY_COMPARE(QApplication::activeWindow(), dialog);
            auto *button = dialog->findChild<QPushButton *>("cmdCancel");
            QVERIFY(button->isDefault());
            QCOMPARE(bar->focusPolicy(), Qt::NoFocus);
            // Tab finds nothing else to go to.
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget *focus = QApplication::focusWidget();
            focused = focus ? focus->objectName() : QString();
            if (cancel == u"click")
                QTest::mouseClick(button, Qt::LeftButton);
            else if (!cancel.isEmpty())
                QTest::keyClick(focus, cancel == u"Escape" ? Qt::Key_Escape
                                         : cancel == u"Return" ? Qt::Key_Return : Qt::Key_Space);
        });
        watcher.start(0);
        combine(path("big.kvs"), path("out"), false);
        watcher.stop();

        QVERIFY(modal);
        QCOMPARE(focused, QStringLiteral("cmdCancel"));
        // The bar is placed as a loaded control: no about box of its own.
        QCOMPARE(m_otherDialogs, QStringList());
        QVERIFY2(values.size() >= 2 && values.first() == 0 && values.at(1) > 0, qPrintable(texts.join('|')));
        QCOMPARE(texts.first(), QStringLiteral("已结合 Joined 0 bytes of 30.0 MiB"));
        QVERIFY(!m_form->findChild<JoinProgressDialog *>());
        QCOMPARE(m_boxes.size(), cancel.isEmpty() ? 1 : 0);
        if (!cancel.isEmpty()) {
            QCOMPARE(readFile(path("out")), QByteArray("previous"));
        } else {
            QCOMPARE(values.last(), 1000);
            QCOMPARE(texts.last(), QStringLiteral("已结合 Joined 30.0 MiB of 30.0 MiB"));
            QVERIFY(readFile(path("out")) == m_big);
        }
        QCOMPARE(m_dir.entryList(QDir::Files | QDir::Hidden), names);
        QVERIFY(tempLeftovers().isEmpty());
    }

    // While EXTRACT works the window answers, shows what happens and can stop it by the
    // keyboard (Cancel's click goes to the same reject() as in joinProgress): EXTRACT ends,
    // its half-written file goes, and the output keeps the joined cabinet.
    void extractionCancel()
    {
        const QString program = path("slow-extract");
        const QString pidFile = path("slow-extract.pid");
        QVERIFY(writeSlowExtract(program, pidFile));
        m_form->setExtractProgram(program);
        QVERIFY(writeFile(path("out"), "previous"));
        QVERIFY(showActive());

        int turns = 0;
        QString shown;
        QTimer watcher;
        connect(&watcher, &QTimer::timeout, this, [&] {
            auto *dialog = m_form->findChild<JoinProgressDialog *>();
            // Keys go to the active window, which the window system picks in its own time.
            if (!dialog || QApplication::activeWindow() != dialog || QFile(pidFile).size() == 0)
                return;
            // The event loop keeps turning while EXTRACT runs.
            if (++turns < 5)
                return;
            shown = dialog->findChild<QLabel *>("Label1")->text();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        });
        watcher.start(20);
        combine(path("cab.kvs"), path("out"), true);
        watcher.stop();

        QCOMPARE(shown, QStringLiteral("正在解压缩 Extracting"));
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes.at(0).text, QStringLiteral("Combine succeed 结合成功！！！"));
        QVERIFY(readFile(path("out")) == readFile(path("movie.cab")));
        const pid_t pid = readFile(pidFile).trimmed().toInt();
        QVERIFY(pid > 0);
        QCOMPARE(::kill(pid, 0), -1);
        QCOMPARE(errno, ESRCH);
        QVERIFY(!m_form->findChild<JoinProgressDialog *>());
        QCOMPARE(tempLeftovers(), QStringList());
    }
};

QTEST_MAIN(tst_Form1)
#include "tst_form1.moc"
