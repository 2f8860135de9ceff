#include "jig/ModeView.h"

#include "jig/Text.h"

namespace qj {

std::string ModeView::timeNow() const { return timeOfDay(); }

}  // namespace qj
