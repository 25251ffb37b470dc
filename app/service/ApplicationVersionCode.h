#pragma once

#include <QString>
#include <QVariant>

// The application's version as the update request carries it: eight digits, the first four
// 0, then one digit per dotted piece of the short version ("1.2.3" -> "00001230"). A piece
// that is not a number from 0 to 9 counts as 0.
QString applicationVersionCode();
// From a "CFBundleShortVersionString" value; anything but a string gives "00000000".
QString applicationVersionCode(const QVariant& shortVersion);
