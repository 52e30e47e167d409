#include <gtk/gtk.h>

#include <string>

#include "platform/gtk/gtk_backend.h"

namespace platform::ui::detail {

namespace {

gboolean runQueuedCallsOnce(gpointer) {
    runQueuedCalls();
    return G_SOURCE_REMOVE;
}

void wakeGtk() { g_main_context_invoke(nullptr, runQueuedCallsOnce, nullptr); }
void iterateGtk() { g_main_context_iteration(nullptr, TRUE); }

gboolean ignoreKeys(GtkWidget*, GdkEventKey* event, gpointer) {
    // Escape and Alt+F4 must not end the dialog: only the worker ends it.
    if (event->keyval == GDK_KEY_Escape) return TRUE;
    if (event->keyval == GDK_KEY_F4 && (event->state & GDK_MOD1_MASK)) return TRUE;
    return FALSE;
}

// Template sizes in dialog units (213 x 42) turned into pixels (about 320 x 68).
int px(int dialogUnits) { return dialogUnits * 3 / 2; }
int py(int dialogUnits) { return dialogUnits * 13 / 8; }

class GtkProgressView : public ProgressView {
public:
    explicit GtkProgressView(const std::string& fileName) {
        window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_window_set_decorated(GTK_WINDOW(window_), FALSE);
        gtk_window_set_deletable(GTK_WINDOW(window_), FALSE);
        gtk_window_set_resizable(GTK_WINDOW(window_), FALSE);
        gtk_window_set_default_size(GTK_WINDOW(window_), px(213), py(42));
        gtk_window_set_position(GTK_WINDOW(window_), GTK_WIN_POS_CENTER);
        gtk_window_set_keep_above(GTK_WINDOW(window_), TRUE);
        g_signal_connect(window_, "delete-event", G_CALLBACK(gtk_true), nullptr);
        g_signal_connect(window_, "key-press-event", G_CALLBACK(ignoreKeys), nullptr);

        GtkWidget* frame = gtk_frame_new(nullptr);
        GtkWidget* fixed = gtk_fixed_new();
        gtk_container_add(GTK_CONTAINER(window_), frame);
        gtk_container_add(GTK_CONTAINER(frame), fixed);

        GtkWidget* name = gtk_label_new(fileName.c_str());
        gtk_label_set_xalign(GTK_LABEL(name), 0);
        gtk_widget_set_size_request(name, px(175), py(12));
        gtk_fixed_put(GTK_FIXED(fixed), name, px(13), py(6));

        percent_ = gtk_label_new("");
        gtk_label_set_xalign(GTK_LABEL(percent_), 0);
        gtk_widget_set_size_request(percent_, px(28), py(8));
        gtk_fixed_put(GTK_FIXED(fixed), percent_, px(170), py(6));

        bar_ = gtk_progress_bar_new();
        gtk_widget_set_size_request(bar_, px(185), py(14));
        gtk_fixed_put(GTK_FIXED(fixed), bar_, px(13), py(20));

        gtk_widget_show_all(window_);
        setMainLoopHooks({wakeGtk, iterateGtk});
    }

    ~GtkProgressView() override {
        gtk_widget_destroy(window_);
        while (gtk_events_pending()) gtk_main_iteration();
    }

    void update(const std::string& percentText, int position) override {
        gtk_label_set_text(GTK_LABEL(percent_), percentText.c_str());
        // The bar keeps to its range, as the progress control does.
        int clamped = position < 0 ? 0 : position > 100 ? 100 : position;
        gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(bar_), clamped / 100.0);
    }

private:
    GtkWidget* window_;
    GtkWidget* percent_;
    GtkWidget* bar_;
};

}  // namespace

std::unique_ptr<ProgressView> gtkProgressView(const std::string& fileName) {
    return std::make_unique<GtkProgressView>(fileName);
}

}  // namespace platform::ui::detail
