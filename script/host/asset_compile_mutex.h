// The process-wide compile mutex: every asset validation and compilation holds it, since the
// validator's templates, error handler and data manager and the compiler's state are shared
// and not re-entrant. It is recursive: a validation job holds it while its steps take it again.
#pragma once

#include <mutex>

std::recursive_mutex& AssetCompileMutex();
