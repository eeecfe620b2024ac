#include "KDXType.h"

qint32 g_KDXType = 0;
