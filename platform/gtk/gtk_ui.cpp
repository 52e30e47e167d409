#include <gtk/gtk.h>

#include <mutex>

#include "platform/gtk/gtk_backend.h"

namespace platform::ui::detail {

bool gtkAvailable() {
    static std::once_flag once;
    static bool available = false;
    std::call_once(once, [] {
        // The process keeps the locale it chose at start-up; GTK must not reset it.
        gtk_disable_setlocale();
        available = gtk_init_check(nullptr, nullptr);
    });
    return available;
}

void gtkMessageBox(const std::string& text, const std::string& caption) {
    GtkWidget* dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_OTHER,
                                               GTK_BUTTONS_OK, "%s", text.c_str());
    gtk_window_set_title(GTK_WINDOW(dialog), caption.c_str());
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
    gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
    // Let the window actually disappear before the caller goes on.
    while (gtk_events_pending()) gtk_main_iteration();
}

}  // namespace platform::ui::detail
