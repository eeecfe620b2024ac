#pragma once

#include <QString>

namespace modGeneral {

// Runs the open-file dialog with a title, an initial folder and a filter in the
// "description|pattern" form. True and the chosen path in o_sFileName when a
// file was chosen; false, with o_sFileName unchanged, when the user cancelled.
bool ShowOpenFileDialog(const QString &i_sTitle, const QString &i_sInitDir, const QString &i_sFilter,
                        QString &o_sFileName);

} // namespace modGeneral
