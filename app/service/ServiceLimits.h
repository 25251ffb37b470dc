#pragma once

#include <QtGlobal>

// Bounds on what the service client holds in memory, so that a faulty or hostile server
// gives an error rather than exhausting memory.
namespace ServiceLimits {

// An update-information answer, local or from the server.
inline constexpr qint64 kMaxAnswerSize = qint64{1} << 20;
// A firmware package.
inline constexpr qint64 kMaxPackageSize = qint64{1} << 30;

}  // namespace ServiceLimits
