#include "WidgetDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace platform {

void WidgetDialogs::messageBox(const QString &text, const QString &title, MsgIcon icon)
{
    QMessageBox::Icon qicon = QMessageBox::NoIcon;
    switch (icon) {
    case MsgIcon::None: qicon = QMessageBox::NoIcon; break;
    case MsgIcon::Information: qicon = QMessageBox::Information; break;
    case MsgIcon::Exclamation: qicon = QMessageBox::Warning; break;
    case MsgIcon::Critical: qicon = QMessageBox::Critical; break;
    }
    QMessageBox box(qicon, title, text, QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}

// The filter comes in the "description|pattern|description|pattern" form; Qt
// wants "description (pattern);;...". "*.*" means every file, also one without
// a dot in its name.
QString WidgetDialogs::toQtFilter(const QString &filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString &p : patterns) {
            p = p.trimmed();
            if (p == QLatin1String("*.*"))
                p = QStringLiteral("*");
        }
        out << QStringLiteral("%1 (%2)").arg(parts[i], patterns.join(QLatin1Char(' ')));
    }
    return out.join(QStringLiteral(";;"));
}

bool WidgetDialogs::openFile(const QString &title, const QString &initialDir, const QString &filter,
                             QString &fileName)
{
    QString dir = initialDir;
    // The caller may hand over the last file rather than a folder.
    if (QFileInfo(dir).isFile())
        dir = QFileInfo(dir).absolutePath();
    const QString chosen = QFileDialog::getOpenFileName(QApplication::activeWindow(), title, dir,
                                                        toQtFilter(filter));
    if (chosen.isEmpty())
        return false;
    fileName = chosen;
    return true;
}

void WidgetDialogs::install()
{
    static WidgetDialogs instance;
    setDialogs(&instance);
}

} // namespace platform
