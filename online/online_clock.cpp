#include "online/online_clock.h"

#include "foundation/main_thread.h"

OnlineClock DefaultOnlineClock() {
    return [] { return GetIdleClock(); };
}
