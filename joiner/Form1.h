#pragma once

#include <QWidget>

class CommonDialog;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

/*!
    The join window: a stencil file and an output file, each typed or
    picked with the one file dialog object CommonDialog1, the
    "Compressed File?" check box, and the buttons to combine and to exit.

    Children carry their design names as object names; the two labels of
    the Label1 array are "Label1_2" and "Label1_3", and each is its box's
    buddy and accessible name. Message boxes and the file dialogs run
    through ModalRunner.

    "Combine now" is the default button: Return in a box or on the check
    box combines, Return or Space on a focused button presses that button.
    Its access key is Alt+C; "Change" keeps its words and takes Alt+H.
*/
class Form1 : public QWidget
{
    Q_OBJECT

public:
    explicit Form1(QWidget *parent = nullptr);

    //! The extraction program a compressed combine runs; empty means
    //! EXTRACT beside tessal.
    void setExtractProgram(const QString &path) { m_extractProgram = path; }

    //! The window icon: one artwork drawn at 16, 32 and 48 pixels.
    static QIcon makeIcon();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void Command3_Click();
    void Command4_Click();
    void Command1_Click();
    void cmdUnsplit_Click();
    //! Shows CommonDialog1 through \a show; a chosen name lands in \a box.
    void pickFile(const QString &filter, const QString &title, void (CommonDialog::*show)(), QLineEdit *box);

    QLabel *Label1_3 = nullptr;
    QCheckBox *checkc2 = nullptr;
    QLineEdit *txtTemplateName = nullptr;
    QPushButton *Command3 = nullptr;
    QLabel *Label1_2 = nullptr;
    QLineEdit *txtOutputFile = nullptr;
    QPushButton *Command4 = nullptr;
    QPushButton *Command1 = nullptr;
    QPushButton *cmdUnsplit = nullptr;
    CommonDialog *CommonDialog1 = nullptr;
    QString m_extractProgram;
};
