#include "platform/widget_texts.h"

#ifdef HAVE_GTK3
#include "platform/ui_backend.h"
#endif

namespace platform::ui {

#ifdef HAVE_GTK3
namespace detail {
std::vector<std::string> gtkWidgetTexts();
}
#endif

std::vector<std::string> shownWidgetTexts() {
#ifdef HAVE_GTK3
    if (detail::gtkAvailable()) return detail::gtkWidgetTexts();
#endif
    return {};
}

}  // namespace platform::ui
