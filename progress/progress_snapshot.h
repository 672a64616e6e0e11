#pragma once
// What the progress window of this process shows, for the front-end's status display and
// for tests.
#include <string>

#include "platform/export.h"

namespace tess::progress {

struct ProgressSnapshot {
    bool exists = false;  // a window object lives in this process
    bool visible = false;
    std::string caption;
    int iconId = 0;  // 0: none loaded
    std::string mainText, subText;
    int mainUpper = 0, mainPosition = 0;
    int subUpper = 0, subPosition = 0;
};

// The state of this process's window; exists is false when it has none.
TESS_EXPORT ProgressSnapshot CurrentProgress();

}  // namespace tess::progress
