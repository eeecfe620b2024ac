#pragma once

#include <QtGlobal>

// The display-type selector: which model the main window serves. mod_Init::Main sets 11
// (KDXB) at start-up; only the main window's hidden display-type list changes it.
extern qint32 g_KDXType;
