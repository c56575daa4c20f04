// The sound card reservation on the session bus (the device reservation protocol of PipeWire,
// PulseAudio and JACK), with GIO's D-Bus.
//
// A reservation has a private connection to the bus of its own, so that closing it gives the name
// back whatever else the process does on the bus, and a thread that runs the connection's object:
// it answers RequestRelease and the properties while the main thread is busy elsewhere.

#include "reserve.h"

#include <gio/gio.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace {

constexpr int WaitMs = 2000; // the bound of every wait on the bus or on the owner
constexpr int PollMs = 10;   // while queued for the name

constexpr const char *BusName = "org.freedesktop.DBus";
constexpr const char *BusPath = "/org/freedesktop/DBus";
constexpr const char *ReserveInterface = "org.freedesktop.ReserveDevice1";

// RequestName's flags and answers, as the D-Bus protocol numbers them.
constexpr guint32 ReplaceExisting = 2, DoNotQueue = 4;
constexpr guint32 PrimaryOwner = 1, InQueue = 2, Exists = 3, AlreadyOwner = 4;

constexpr const char *Introspection = R"(<node>
  <interface name="org.freedesktop.ReserveDevice1">
    <method name="RequestRelease">
      <arg name="priority" type="i" direction="in"/>
      <arg name="result" type="b" direction="out"/>
    </method>
    <property name="Priority" type="i" access="read"/>
    <property name="ApplicationName" type="s" access="read"/>
    <property name="ApplicationDeviceName" type="s" access="read"/>
  </interface>
</node>)";

struct Reservation {
    // Set before the answering thread starts and never changed: the thread reads them.
    int Card = -1;
    std::string Name;        // org.freedesktop.ReserveDevice1.Audio<N>
    std::string Path;        // /org/freedesktop/ReserveDevice1/Audio<N>
    std::string Application; // ApplicationName
    std::string Device;      // ApplicationDeviceName: "hw:<N>"

    GMainContext *Context = nullptr; // the answering thread's; it dispatches calls on our object
    GMainLoop *Loop = nullptr;
    GDBusConnection *Connection = nullptr;
    guint Object = 0; // the object's registration, 0 none
    std::thread Answering;
};

// --- main thread: the reservation held, null none. Kept out of static destructors: a process that
//     ends without ReleaseSoundCard leaves the name to the bus, which frees it with the connection.
Reservation *Held = nullptr;
// --- end of state

// Answering thread.
void AnswerCall(GDBusConnection *, const gchar *, const gchar *, const gchar *, const gchar *method,
                GVariant *, GDBusMethodInvocation *invocation, gpointer) {
    // Only RequestRelease reaches here (GDBus checks names and arguments against the interface). The
    // device stays open for the whole run: refused, whatever the priority.
    if (g_strcmp0(method, "RequestRelease") == 0)
        g_dbus_method_invocation_return_value(invocation, g_variant_new("(b)", FALSE));
}

// Answering thread.
GVariant *AnswerProperty(GDBusConnection *, const gchar *, const gchar *, const gchar *,
                         const gchar *property, GError **error, gpointer data) {
    const Reservation *r = static_cast<const Reservation *>(data);
    if (g_strcmp0(property, "Priority") == 0) return g_variant_new_int32(SoundCardPriority);
    if (g_strcmp0(property, "ApplicationName") == 0) return g_variant_new_string(r->Application.c_str());
    if (g_strcmp0(property, "ApplicationDeviceName") == 0) return g_variant_new_string(r->Device.c_str());
    g_set_error(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_PROPERTY, "No property %s", property);
    return nullptr;
}

} // namespace

// Without a bus there is no sound server to ask.
std::string SessionBusAddress() {
    if (const char *address = std::getenv("DBUS_SESSION_BUS_ADDRESS"); address && *address) return address;
    const char *runtime = std::getenv("XDG_RUNTIME_DIR");
    if (!runtime || !*runtime) return "";
    const std::string socket = std::string(runtime) + "/bus";
    struct stat st;
    if (stat(socket.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode)) return "";
    gchar *escaped = g_dbus_address_escape_value(socket.c_str());
    std::string address = std::string("unix:path=") + escaped;
    g_free(escaped);
    return address;
}

namespace {

// A private connection to the bus, within WaitMs: connecting and authenticating run on GIO's
// threads while context turns, and are cancelled at the bound. Null when the bus cannot be reached.
GDBusConnection *Connect(const std::string &address, GMainContext *context) {
    struct Pending {
        GDBusConnection *connection = nullptr;
        bool done = false, late = false;
    } pending;
    GCancellable *cancel = g_cancellable_new();
    g_dbus_connection_new_for_address(
        address.c_str(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, cancel,
        [](GObject *, GAsyncResult *result, gpointer data) {
            Pending *p = static_cast<Pending *>(data);
            p->connection = g_dbus_connection_new_for_address_finish(result, nullptr);
            p->done = true;
        },
        &pending);
    GSource *timer = g_timeout_source_new(WaitMs);
    g_source_set_callback(
        timer,
        [](gpointer data) {
            static_cast<Pending *>(data)->late = true;
            return gboolean(G_SOURCE_REMOVE);
        },
        &pending, nullptr);
    g_source_attach(timer, context);
    while (!pending.done && !pending.late) g_main_context_iteration(context, TRUE);
    g_cancellable_cancel(cancel);
    // A cancelled connection still reports, and pending lives until it has.
    while (!pending.done) g_main_context_iteration(context, TRUE);
    g_source_destroy(timer);
    g_source_unref(timer);
    g_object_unref(cancel);
    return pending.connection;
}

// A call with its reply of type `type`, within WaitMs; null on an error or no answer in time.
GVariant *Call(GDBusConnection *connection, const char *destination, const char *path, const char *interface,
               const char *method, GVariant *arguments, const char *type) {
    return g_dbus_connection_call_sync(connection, destination, path, interface, method, arguments,
                                       G_VARIANT_TYPE(type), G_DBUS_CALL_FLAGS_NO_AUTO_START, WaitMs, nullptr,
                                       nullptr);
}

// RequestName's answer, 0 when the bus did not give one.
guint32 RequestName(const Reservation &r, guint32 flags) {
    GVariant *reply = Call(r.Connection, BusName, BusPath, BusName, "RequestName",
                           g_variant_new("(su)", r.Name.c_str(), flags), "(u)");
    guint32 answer = 0;
    if (reply) {
        g_variant_get(reply, "(u)", &answer);
        g_variant_unref(reply);
    }
    return answer;
}

bool OwnsName(const Reservation &r) {
    GVariant *reply = Call(r.Connection, BusName, BusPath, BusName, "GetNameOwner",
                           g_variant_new("(s)", r.Name.c_str()), "(s)");
    if (!reply) return false; // nobody owns it
    const gchar *owner = nullptr;
    g_variant_get(reply, "(&s)", &owner);
    const bool ours = g_strcmp0(owner, g_dbus_connection_get_unique_name(r.Connection)) == 0;
    g_variant_unref(reply);
    return ours;
}

// Asks the owner to let go; true when it agreed.
bool AskOwnerToRelease(const Reservation &r) {
    GVariant *reply = Call(r.Connection, r.Name.c_str(), r.Path.c_str(), ReserveInterface, "RequestRelease",
                           g_variant_new("(i)", SoundCardPriority), "(b)");
    gboolean released = FALSE;
    if (reply) {
        g_variant_get(reply, "(b)", &released);
        g_variant_unref(reply);
    }
    return released;
}

// The name, taken over from an owner that has agreed to let go. Where it does not allow replacement
// we wait in the queue until it has given the name back, at most WaitMs; leaving the queue at the
// bound.
bool TakeOver(const Reservation &r) {
    const guint32 answer = RequestName(r, ReplaceExisting);
    if (answer == PrimaryOwner || answer == AlreadyOwner) return true;
    if (answer != InQueue) return false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(WaitMs);
    while (std::chrono::steady_clock::now() < deadline) {
        if (OwnsName(r)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(PollMs));
    }
    return false;
}

// Ends a reservation: gives the name back (leaving the queue where we wait in it), stops answering,
// closes the connection.
void Drop(Reservation *r) {
    if (r->Connection) {
        GVariant *reply = Call(r->Connection, BusName, BusPath, BusName, "ReleaseName",
                               g_variant_new("(s)", r->Name.c_str()), "(u)");
        if (reply) g_variant_unref(reply);
        if (r->Object) g_dbus_connection_unregister_object(r->Connection, r->Object);
    }
    if (r->Answering.joinable()) {
        // Quit from inside the loop: a quit before the loop runs would be lost.
        GSource *quit = g_idle_source_new();
        g_source_set_callback(
            quit,
            [](gpointer loop) {
                g_main_loop_quit(static_cast<GMainLoop *>(loop));
                return gboolean(G_SOURCE_REMOVE);
            },
            r->Loop, nullptr);
        g_source_attach(quit, r->Context);
        g_source_unref(quit);
        r->Answering.join();
    }
    if (r->Connection) {
        g_dbus_connection_close_sync(r->Connection, nullptr, nullptr);
        g_object_unref(r->Connection);
    }
    if (r->Loop) g_main_loop_unref(r->Loop);
    if (r->Context) g_main_context_unref(r->Context);
    delete r;
}

} // namespace

bool ReserveSoundCard(int card, const std::string &application) {
    if (Held && Held->Card == card) return true;
    ReleaseSoundCard();
    if (card < 0) return true;
    const std::string address = SessionBusAddress();
    if (address.empty()) return true;

    Reservation *r = new Reservation;
    r->Card = card;
    r->Name = "org.freedesktop.ReserveDevice1.Audio" + std::to_string(card);
    r->Path = "/org/freedesktop/ReserveDevice1/Audio" + std::to_string(card);
    r->Application = application;
    r->Device = "hw:" + std::to_string(card);
    r->Context = g_main_context_new();
    r->Loop = g_main_loop_new(r->Context, FALSE);

    // Connected and registered with our context as the thread's default: GIO hands the connection's
    // completion and the calls on our object to that context.
    g_main_context_push_thread_default(r->Context);
    r->Connection = Connect(address, r->Context);
    if (r->Connection) {
        static GDBusNodeInfo *node = g_dbus_node_info_new_for_xml(Introspection, nullptr);
        static const GDBusInterfaceVTable answers = [] {
            GDBusInterfaceVTable v{};
            v.method_call = AnswerCall;
            v.get_property = AnswerProperty;
            return v;
        }();
        r->Object = g_dbus_connection_register_object(r->Connection, r->Path.c_str(), node->interfaces[0],
                                                      &answers, r, nullptr, nullptr);
    }
    g_main_context_pop_thread_default(r->Context);
    // No bus to reach: no sound server on it either.
    if (!r->Connection) {
        Drop(r);
        return true;
    }
    if (!r->Object) {
        Drop(r);
        return false;
    }
    r->Answering = std::thread([loop = r->Loop] { g_main_loop_run(loop); });

    bool owned = false;
    switch (RequestName(*r, DoNotQueue)) {
    case PrimaryOwner:
    case AlreadyOwner:
        owned = true;
        break;
    case Exists:
        owned = AskOwnerToRelease(*r) && TakeOver(*r);
        break;
    default:
        break;
    }
    if (!owned) {
        Drop(r);
        return false;
    }
    Held = r;
    return true;
}

void ReleaseSoundCard() {
    if (!Held) return;
    Reservation *r = Held;
    Held = nullptr;
    Drop(r);
}
