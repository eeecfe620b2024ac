#include "modGeneral.h"

#include "Dialogs.h"

namespace modGeneral {

bool ShowOpenFileDialog(const QString &i_sTitle, const QString &i_sInitDir, const QString &i_sFilter,
                        QString &o_sFileName)
{
    QString chosen;
    if (!platform::dialogs().openFile(i_sTitle, i_sInitDir, i_sFilter, chosen))
        return false;
    o_sFileName = chosen;
    return true;
}

} // namespace modGeneral
