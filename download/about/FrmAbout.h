#pragma once

#include <QDialog>
#include <QPixmap>

class LinkLabel;
class QLabel;
class QPushButton;

/*!
    The download library's about box, shared by both download controls.

    A fixed dialog of 4815 x 2865 twips: the component title (Label1), a
    separator, the version, the product picture (Image1), the author, and
    the author's mail address (Label5) and home page (Label7), which open
    through the shell when clicked. Command1 closes it.

    One instance at a time: showModal() creates it, shows it modally with
    the given component title, and it is unloaded when it closes.
*/
class FrmAbout : public QDialog
{
    Q_OBJECT

public:
    //! Shows the box modally, owned by \a owner, with \a componentTitle in Label1.
    static int showModal(QWidget *owner, const QString &componentTitle);
    //! The box being shown, or nullptr.
    static FrmAbout *instance();

    explicit FrmAbout(QWidget *parent = nullptr);
    ~FrmAbout() override;

    //! The title in Label1.
    void setComponentTitle(const QString &title);

    //! The 47 x 39 product picture of Image1.
    static QPixmap productPicture();

private:
    QLabel *addLabel(const char *name, const QString &text, int left, int top, int width,
                     int height);
    LinkLabel *addLink(const char *name, const QString &text, int left, int top, int width, int height);

    QLabel *m_title = nullptr;
    QPushButton *m_ok = nullptr;
};
