#include "mod_Init.h"

qint32 g_KDXType = 0;
