#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class CKDX;

// kdxctl epson SUB [ARG...]: the EPSON-style command set of a display that has
// been switched to it (kdxctl switch epson).
using EpsonAction = std::function<qint32(CKDX &)>;

// The driver call for the arguments after "epson"; false, with what is wrong
// in problem, when they are not a command of the set (nothing is opened then).
bool parseEpsonCommand(const QStringList &args, EpsonAction &action, QString &problem);

// The help of the usage text, lines separated by '\n'.
extern const char *const kEpsonHelp;
