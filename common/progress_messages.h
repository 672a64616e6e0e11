#pragma once
// The private messages of the engine's progress dialog. The hosts that read long listings
// (Extended MAPI, Simple MAPI, Notes) send kProgressSetStepCount (wParam: the steps that
// follow) and kProgressAdvanceStep (one step) to the window handle in their logon record.

namespace tess {

enum : unsigned {
    kProgressSetOverallCount = 0x800,
    kProgressAdvanceOverall = 0x801,
    kProgressSetStepCount = 0x802,
    kProgressSetText = 0x803,
    kProgressAdvanceStep = 0x804,
    kProgressSaveStep = 0x805,
    kProgressRestoreStep = 0x806,
    kProgressClose = 0x807,
};

}  // namespace tess
