#pragma once
// What the product log's header describes, gathered when the session starts: this
// machine, the product's registry values, the conduit registration and the registered
// external sync components.
#include "datamgr/product_log.h"

namespace tess::datamgr {

tess::datamgr::LogHeaderInfo GatherLogHeader();

}  // namespace tess::datamgr
