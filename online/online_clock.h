// The clock the datagram endpoint and the online client read for every time stamp: seconds
// as a double. By default the idle clock of the main thread, which advances as the program
// runs its idle work; tests hand in a clock they move themselves.
#pragma once

#include <functional>

using OnlineClock = std::function<double()>;

OnlineClock DefaultOnlineClock();
