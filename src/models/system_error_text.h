#pragma once

#include <QString>

namespace velmar {

// The operator-facing text of a system error number (errno) in the interface language: the
// common causes of a failed save have texts of their own (looked up like every message); any
// other number gives the system's own description.
QString systemErrorText(int code);

}  // namespace velmar
