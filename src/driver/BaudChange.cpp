#include "BaudChange.h"

#include "CKDX.h"
#include "ResultCode.h"

namespace baudChange {

bool mayHaveSwitched(qint32 setResult)
{
    return setResult == kdx::OK || setResult == kdx::Nack;
}

qint32 confirm(CKDX &kdx, qint32 setResult)
{
    if (setResult != kdx::Nack)
        return setResult;
    // A display still at the old settings does not understand a frame sent at
    // the new ones, so any version at all means it switched.
    QString version;
    return kdx.GetVersion(version) == kdx::OK ? kdx::OK : setResult;
}

} // namespace baudChange
