#pragma once

#include "app/update/UpdaterUserInterface.h"

#include <QString>
#include <QStringList>

// What each wizard page shows, as lines of text: the page's messages from the string table
// and the result pages' table. The buttons are the wizard's business.
namespace TextPageText {

// The page as printed; `localMode` adds the Opening page's note that the firmware comes from
// a file on this computer.
QStringList lines(const WizardPageRequest& request, bool localMode);

// How many terminal columns `text` takes: wide East Asian characters two, combining marks
// none.
int displayWidth(const QString& text);
// The rows as lines, each column padded to its widest cell (in terminal columns), two
// spaces apart and two in from the left.
QStringList formatTable(const QList<QStringList>& rows);

// The rows of the result pages' table, the column titles first: model, current version,
// then the offered version ("---" on UpdaterNone) and, on UpdaterAvailable, the size.
QList<QStringList> tableRows(const WizardPageRequest& request);

}  // namespace TextPageText
