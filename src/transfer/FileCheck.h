#pragma once

#include <QString>

// The test a firmware file passes before anything is sent to the display.
namespace fileCheck {

struct Fault
{
    int number = 0;      // the system's error number
    QString description; // the system's text for it
};

// Opens the file for reading and closes it again at once. False, with the
// system's number and text, when that fails; a folder is not a file.
bool openForReading(const QString &path, Fault &fault);

} // namespace fileCheck
