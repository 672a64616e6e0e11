// Built without Qt: the progress window is always the terminal line.
#include "progress/progress_dialog.h"

namespace tess::progress {
std::unique_ptr<ProgressView> MakeQtProgressView() { return nullptr; }
}  // namespace tess::progress
