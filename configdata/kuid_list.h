// KUIDBlockList: KUID lists kept in blocks of 128 KUIDs; a new block is filled with null KUIDs.
#pragma once

#include "configdata/kuid.h"
#include "foundation/blocklist.h"

using KUIDBlockList = BlockList<KUID, 128>;
