// A drag source for the drop test: a 100x100 window at (x, y) that offers its file arguments as
// text/uri-list. Usage: gui_drag_source X Y FILE... (a FILE beginning with "file:" is offered as the
// URI it is)
#include <gtk/gtk.h>

#include <cstdlib>

namespace {

char **g_files = nullptr;

void OnDragDataGet(GtkWidget *, GdkDragContext *, GtkSelectionData *sel, guint, guint, gpointer) {
    GPtrArray *uris = g_ptr_array_new_with_free_func(g_free);
    for (char **f = g_files; *f; ++f)
        g_ptr_array_add(uris, g_str_has_prefix(*f, "file:") ? g_strdup(*f)
                                                            : g_filename_to_uri(*f, nullptr, nullptr));
    g_ptr_array_add(uris, nullptr);
    gtk_selection_data_set_uris(sel, reinterpret_cast<gchar **>(uris->pdata));
    g_ptr_array_free(uris, TRUE);
}

} // namespace

int main(int argc, char **argv) {
    gdk_set_allowed_backends("x11");
    gtk_init(nullptr, nullptr);
    if (argc < 4) return 2;
    g_files = argv + 3;
    GtkWidget *win = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(win), "drag source");
    gtk_window_set_decorated(GTK_WINDOW(win), FALSE);
    gtk_window_move(GTK_WINDOW(win), std::atoi(argv[1]), std::atoi(argv[2]));
    GtkWidget *box = gtk_event_box_new();
    gtk_widget_set_size_request(box, 100, 100);
    gtk_container_add(GTK_CONTAINER(win), box);
    gtk_drag_source_set(box, GDK_BUTTON1_MASK, nullptr, 0, GDK_ACTION_COPY);
    gtk_drag_source_add_uri_targets(box);
    g_signal_connect(box, "drag-data-get", G_CALLBACK(OnDragDataGet), nullptr);
    g_signal_connect(win, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
    gtk_widget_show_all(win);
    gtk_main();
    return 0;
}
