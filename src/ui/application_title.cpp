#include "ui/application_title.h"

#include <QCoreApplication>

namespace spurfix::ui {

QString ApplicationTitleFor(const QString& executablePath) {
    QString name = executablePath.mid(executablePath.lastIndexOf(QLatin1Char('/')) + 1);
    name.truncate(name.indexOf(QLatin1Char('.')) < 0 ? name.size()
                                                     : name.indexOf(QLatin1Char('.')));
    return name.left(1) + name.mid(1).toLower();
}

QString ApplicationTitle() {
    const QStringList arguments = QCoreApplication::arguments();
    return ApplicationTitleFor(arguments.isEmpty() ? QCoreApplication::applicationFilePath()
                                                   : arguments.constFirst());
}

}  // namespace spurfix::ui
