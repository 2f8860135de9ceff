#include "jig/ModeView.h"

#include "jig/Text.h"

namespace qj {

void ModeView::timeStamp() { log(timeLabel() + timeOfDay()); }

}  // namespace qj
