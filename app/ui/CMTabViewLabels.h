#pragma once

#include <QStringList>

// Optional interface of a tab widget whose labels are not plain tab texts (drawn labels,
// icons with captions): the localisation walk hands it its labels as a list instead of
// rewriting each tab's text.
class CMTabViewLabels {
 public:
  virtual ~CMTabViewLabels() = default;

  virtual QStringList cmTabViewGetLabels() const = 0;
  virtual void cmTabViewSetLabels(const QStringList& labels) = 0;

 protected:
  CMTabViewLabels() = default;
  CMTabViewLabels(const CMTabViewLabels&) = default;
  CMTabViewLabels& operator=(const CMTabViewLabels&) = default;
};
