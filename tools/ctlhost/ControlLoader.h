#pragma once

#include <QString>
#include <QStringList>

struct ControlClass;

/*!
    Finds the control library that offers a class and loads it.

    Candidates, in this order: every library given with addLibrary() (the
    --library option); the files and folders listed in the environment
    variable CTLHOST_LIBRARY_PATH (separated by ':'); then the suite's own
    libraries (zudownload for ZuHTTPdownload and ZuFTPDownLoad, Schedule for
    Schedule) in the installed library folder beside ctlhost (../lib), in
    ctlhost's own folder, and, for a ctlhost run from its build tree, in
    the build folders of those libraries. The first library whose
    SuiteControlClasses table names the class wins; libraries stay loaded.
*/
class ControlLoader
{
public:
    void addLibrary(const QString &path) { m_libraries.append(path); }

    //! Every library tried for \a className, in order.
    QStringList candidates(const QString &className) const;
    //! The class, or nullptr with \a error saying what was tried.
    const ControlClass *find(const QString &className, QString *error) const;

private:
    QStringList m_libraries;
};
