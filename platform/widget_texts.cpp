#include "platform/widget_texts.h"

#include "platform/ui_backend.h"

namespace platform::ui {

std::vector<std::string> shownWidgetTexts() { return detail::backendWidgetTexts(); }

}  // namespace platform::ui
