#pragma once

#include <QString>

// A recorder reports its firmware as a label such as "Ver 1.23"; the application works with
// the four-character version code "1230", whose characters compare as hexadecimal digits.

QString versionCodeFromLabel(const QString& text);
QString displayVersionFromCode(const QString& code);
bool isVersionCodeLower(const QString& a, const QString& b);
// "1.2.0" -> "1.2", "1.02.3" -> "1.2.3": the application's own version as shown to the user.
QString shortVersionString(const QString& text);
