#include <gtk/gtk.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/gtk/gtk_backend.h"

namespace platform::ui::detail {

namespace {

void describe(GtkWidget* widget, std::vector<std::string>& lines) {
    if (!gtk_widget_get_visible(widget)) return;
    if (GTK_IS_LABEL(widget)) {
        lines.push_back(std::string("label ") + gtk_label_get_text(GTK_LABEL(widget)));
    } else if (GTK_IS_PROGRESS_BAR(widget)) {
        char text[32];
        std::snprintf(text, sizeof text, "bar %.2f",
                      gtk_progress_bar_get_fraction(GTK_PROGRESS_BAR(widget)));
        lines.push_back(text);
    }
    if (GTK_IS_CONTAINER(widget)) {
        GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
        for (GList* c = children; c; c = c->next) describe(GTK_WIDGET(c->data), lines);
        g_list_free(children);
    }
}

}  // namespace

std::vector<std::string> gtkWidgetTexts() {
    std::vector<std::string> lines;
    GList* windows = gtk_window_list_toplevels();
    for (GList* w = windows; w; w = w->next) {
        GtkWidget* window = GTK_WIDGET(w->data);
        if (!gtk_widget_get_mapped(window)) continue;
        int x = 0, y = 0, width = 0, height = 0;
        gtk_window_get_position(GTK_WINDOW(window), &x, &y);
        gtk_window_get_size(GTK_WINDOW(window), &width, &height);
        char text[96];
        std::snprintf(text, sizeof text, "window %d %d %d %d", x, y, width, height);
        lines.push_back(text);
        describe(window, lines);
    }
    g_list_free(windows);
    return lines;
}

}  // namespace platform::ui::detail
