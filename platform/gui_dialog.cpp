// Pop-up menus (GtkMenu), message boxes (GtkMessageDialog) and the open-file dialog
// (GtkFileChooserDialog).

#include "gui_internal.h"

#include "system.h"

#include <cstdio>
#include <mutex>

namespace {

struct GuiMenu {
    GtkWidget *Menu = nullptr;        // the GtkMenu, owned (ref-sunk)
    std::map<int, GtkWidget *> Items; // item number -> GtkMenuItem, sub-menus included
    std::vector<GtkWidget *> Open;    // the menu being filled, then its open sub-menus
    int ShownWindow = -1;             // window it was last displayed for
};
std::map<int, GuiMenu> Menus; // main thread
int FilledMenuNumber = -1;    // the menu MenuItem and friends add to; main thread

std::mutex BoxHookMutex; // guards BoxHook: MessageBox may be called from any thread
MessageBoxHook BoxHook;

// The folder of the files last chosen in the open-file dialog, "" before the first choice; main
// thread.
std::string LastOpenFolder;

// Where the open-file dialog starts without a file or folder given: the folder last chosen from,
// else the user's music folder, else the home folder, the first of them that is a folder now; ""
// when none is.
std::string OpenDialogStartFolder() {
    for (const std::string &folder : {LastOpenFolder, MusicFolder(), HomeFolder()})
        if (!folder.empty() && g_file_test(folder.c_str(), G_FILE_TEST_IS_DIR)) return folder;
    return "";
}

GuiMenu *FilledMenu() {
    auto it = Menus.find(FilledMenuNumber);
    return it == Menus.end() || it->second.Open.empty() ? nullptr : &it->second;
}

void OnMenuActivate(GtkMenuItem *item, gpointer data) {
    int menu = GPOINTER_TO_INT(data);
    auto it = Menus.find(menu);
    if (it == Menus.end()) return;
    int number = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(item), "gs-item"));
    GuiPushEvent(MakeEvent(EventMenuItem, it->second.ShownWindow, number));
}

GtkMessageType MessageType(uint32_t flags) {
    switch (flags & 0xF0) {
    case MessageIconStop:
        return GTK_MESSAGE_ERROR;
    case MessageIconQuestion:
        return GTK_MESSAGE_QUESTION;
    case MessageIconWarning:
        return GTK_MESSAGE_WARNING;
    case MessageIconInformation:
        return GTK_MESSAGE_INFO;
    default:
        return GTK_MESSAGE_OTHER;
    }
}

// The window a dialog belongs to: the current window while it is shown, else none.
GtkWindow *DialogParent() {
    GuiWindow *w = GuiFindWindow(Gui.CurrentWindow);
    return w && w->Mapped ? GTK_WINDOW(w->Top) : nullptr;
}

int ShowMessageBox(const std::string &title, const std::string &text, uint32_t flags) {
    GtkWidget *d = gtk_message_dialog_new(DialogParent(), GTK_DIALOG_MODAL, MessageType(flags),
                                          GTK_BUTTONS_OK, "%s", text.c_str());
    gtk_window_set_title(GTK_WINDOW(d), title.c_str());
    gtk_window_set_keep_above(GTK_WINDOW(d), TRUE);
    gtk_window_set_position(GTK_WINDOW(d), GTK_WIN_POS_CENTER);
    gtk_dialog_run(GTK_DIALOG(d));
    gtk_widget_destroy(d);
    // The program may go on without waiting for events: take the box off the screen now.
    gdk_display_flush(gdk_display_get_default());
    return 1;
}

struct LaterBox {
    std::string Title, Text;
    uint32_t Flags;
};

gboolean ShowLaterBox(gpointer data) {
    auto *b = static_cast<LaterBox *>(data);
    ShowMessageBox(b->Title, b->Text, b->Flags);
    delete b;
    return G_SOURCE_REMOVE;
}

std::string Trim(const std::string &s) {
    size_t a = s.find_first_not_of(" \t"), b = s.find_last_not_of(" \t");
    return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

std::vector<std::string> Split(const std::string &s, char sep) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t end = s.find(sep, start);
        parts.push_back(s.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) return parts;
        start = end + 1;
    }
}

// Windows matches file patterns without regard to case, and "*.*" takes every name.
gboolean MatchPatterns(const GtkFileFilterInfo *info, gpointer data) {
    if (!info->display_name) return FALSE;
    gchar *name = g_utf8_casefold(info->display_name, -1);
    bool hit = false;
    for (const std::string &p : *static_cast<std::vector<std::string> *>(data))
        if (p == "*" || p == "*.*" || g_pattern_match_simple(p.c_str(), name)) hit = true;
    g_free(name);
    return hit;
}

void AddFilters(GtkFileChooser *chooser, const std::string &filter) {
    std::vector<std::string> parts = Split(filter, '|');
    for (size_t i = 0; i + 1 < parts.size(); i += 2) {
        auto *patterns = new std::vector<std::string>;
        for (const std::string &p : Split(parts[i + 1], ';')) {
            std::string t = Trim(p);
            if (t.empty()) continue;
            gchar *folded = g_utf8_casefold(t.c_str(), -1);
            patterns->push_back(folded);
            g_free(folded);
        }
        GtkFileFilter *f = gtk_file_filter_new();
        gtk_file_filter_set_name(f, parts[i].c_str());
        gtk_file_filter_add_custom(f, GTK_FILE_FILTER_DISPLAY_NAME, MatchPatterns, patterns,
                                   [](gpointer p) { delete static_cast<std::vector<std::string> *>(p); });
        gtk_file_chooser_add_filter(chooser, f);
    }
}

} // namespace

// --- pop-up menus ---

bool CreatePopupMenu(int menu) {
    if (!GuiOnMainThread()) return false;
    FreeMenu(menu);
    GuiMenu &m = Menus[menu];
    m.Menu = gtk_menu_new();
    g_object_ref_sink(m.Menu);
    m.Open.push_back(m.Menu);
    FilledMenuNumber = menu;
    return true;
}

void MenuItem(int item, const std::string &text) {
    GuiMenu *m = FilledMenu();
    if (!m) return;
    GtkWidget *mi = gtk_menu_item_new_with_label(text.c_str());
    g_object_set_data(G_OBJECT(mi), "gs-item", GINT_TO_POINTER(item));
    g_signal_connect(mi, "activate", G_CALLBACK(OnMenuActivate), GINT_TO_POINTER(FilledMenuNumber));
    gtk_menu_shell_append(GTK_MENU_SHELL(m->Open.back()), mi);
    gtk_widget_show(mi);
    m->Items[item] = mi;
}

void MenuBar() {
    GuiMenu *m = FilledMenu();
    if (!m) return;
    GtkWidget *sep = gtk_separator_menu_item_new();
    gtk_menu_shell_append(GTK_MENU_SHELL(m->Open.back()), sep);
    gtk_widget_show(sep);
}

void OpenSubMenu(const std::string &text) {
    GuiMenu *m = FilledMenu();
    if (!m) return;
    GtkWidget *mi = gtk_menu_item_new_with_label(text.c_str());
    GtkWidget *sub = gtk_menu_new();
    gtk_menu_item_set_submenu(GTK_MENU_ITEM(mi), sub);
    gtk_menu_shell_append(GTK_MENU_SHELL(m->Open.back()), mi);
    gtk_widget_show(mi);
    m->Open.push_back(sub);
}

void CloseSubMenu() {
    GuiMenu *m = FilledMenu();
    if (m && m->Open.size() > 1) m->Open.pop_back();
}

void SetMenuItemText(int menu, int item, const std::string &text) {
    auto it = Menus.find(menu);
    if (it == Menus.end()) return;
    auto mi = it->second.Items.find(item);
    if (mi != it->second.Items.end()) gtk_menu_item_set_label(GTK_MENU_ITEM(mi->second), text.c_str());
}

void DisableMenuItem(int menu, int item, bool disable) {
    auto it = Menus.find(menu);
    if (it == Menus.end()) return;
    auto mi = it->second.Items.find(item);
    if (mi != it->second.Items.end()) gtk_widget_set_sensitive(mi->second, !disable);
}

void DisplayPopupMenu(int menu, int win) {
    auto it = Menus.find(menu);
    GuiWindow *w = GuiFindWindow(win);
    if (it == Menus.end() || !w || !gtk_widget_get_window(w->Area)) return;
    it->second.ShownWindow = win;
    // At the pointer as it is now; the last press on the window serves as the trigger that GTK
    // takes the grab's time and device from (the program shows menus after polling, when GTK has no
    // current event of its own).
    GdkWindow *gdk = gtk_widget_get_window(w->Area);
    GdkDevice *pointer = gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_display_get_default()));
    int x = 0, y = 0;
    gdk_window_get_device_position(gdk, pointer, &x, &y, nullptr);
    GdkRectangle at{x, y, 1, 1};
    gtk_menu_popup_at_rect(GTK_MENU(it->second.Menu), gdk, &at, GDK_GRAVITY_SOUTH_EAST,
                           GDK_GRAVITY_NORTH_WEST, w->LastPress);
}

void FreeMenu(int menu) {
    auto it = Menus.find(menu);
    if (it == Menus.end()) return;
    gtk_widget_destroy(it->second.Menu);
    g_object_unref(it->second.Menu);
    Menus.erase(it);
    if (FilledMenuNumber == menu) FilledMenuNumber = -1;
}

bool IsMenu(int menu) {
    return Menus.count(menu) != 0;
}

void GuiFreeAllMenus() {
    while (!Menus.empty()) FreeMenu(Menus.begin()->first);
}

// --- message boxes ---

int MessageBox(const std::string &title, const std::string &text, uint32_t flags) {
    MessageBoxHook hook;
    {
        std::lock_guard lock(BoxHookMutex);
        hook = BoxHook;
    }
    if (hook) return hook(title, text, flags);
    if (!Gui.Ready) {
        std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
        return 1;
    }
    if (!GuiOnMainThread()) {
        g_idle_add(ShowLaterBox, new LaterBox{title, text, flags});
        return 1;
    }
    return ShowMessageBox(title, text, flags);
}

void SetMessageBoxHook(MessageBoxHook hook) {
    std::lock_guard lock(BoxHookMutex);
    BoxHook = std::move(hook);
}

// --- open-file dialog ---

std::vector<std::string> OpenFileDialog(const std::string &title, const std::string &default_file,
                                        const std::string &filter, bool multiple) {
    std::vector<std::string> chosen;
    if (!GuiOnMainThread()) return chosen;
    GtkWidget *d =
        gtk_file_chooser_dialog_new(title.c_str(), DialogParent(), GTK_FILE_CHOOSER_ACTION_OPEN, "_Cancel",
                                    GTK_RESPONSE_CANCEL, "_Open", GTK_RESPONSE_ACCEPT, nullptr);
    GtkFileChooser *fc = GTK_FILE_CHOOSER(d);
    gtk_file_chooser_set_select_multiple(fc, multiple);
    gtk_file_chooser_set_local_only(fc, TRUE);
    AddFilters(fc, filter);
    // Without a place to start, GTK would show its list of recent files rather than a folder.
    if (default_file.empty() || default_file.find_first_of("*?") != std::string::npos) {
        const std::string folder = OpenDialogStartFolder();
        if (!folder.empty()) gtk_file_chooser_set_current_folder(fc, folder.c_str());
    } else if (g_file_test(default_file.c_str(), G_FILE_TEST_IS_DIR)) {
        gtk_file_chooser_set_current_folder(fc, default_file.c_str());
    } else {
        gtk_file_chooser_set_filename(fc, default_file.c_str());
    }
    if (gtk_dialog_run(GTK_DIALOG(d)) == GTK_RESPONSE_ACCEPT) {
        GSList *files = gtk_file_chooser_get_filenames(fc);
        for (GSList *f = files; f; f = f->next) {
            chosen.emplace_back(static_cast<char *>(f->data));
            g_free(f->data);
        }
        g_slist_free(files);
    }
    if (!chosen.empty()) {
        gchar *folder = g_path_get_dirname(chosen.front().c_str());
        LastOpenFolder = folder;
        g_free(folder);
    }
    gtk_widget_destroy(d);
    gdk_display_flush(gdk_display_get_default());
    return chosen;
}
