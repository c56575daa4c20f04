// The sound card reservation against a private session bus, with a fake sound server owning the
// card's name.

#include "environment.h"
#include "fixtures.h"
#include "platform/reserve.h"

#include <gio/gio.h>
#include <gtest/gtest.h>

#include <signal.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <thread>

namespace {

const char *const CardName = "org.freedesktop.ReserveDevice1.Audio3";
const char *const CardPath = "/org/freedesktop/ReserveDevice1/Audio3";
const char *const Interface = "org.freedesktop.ReserveDevice1";

// A dbus-daemon of the test's own, ended with the test.
struct PrivateBus {
    std::string address;
    pid_t pid = 0;

    PrivateBus() {
        FILE *out = popen(DBUS_DAEMON " --session --fork --print-address=1 --print-pid=1", "r");
        if (!out) return;
        char line[1024];
        if (std::fgets(line, sizeof line, out)) address = std::string(line, strcspn(line, "\n"));
        if (std::fgets(line, sizeof line, out)) pid = std::atoi(line);
        pclose(out);
    }
    ~PrivateBus() {
        if (pid > 0) kill(pid, SIGTERM);
    }
};

GDBusConnection *Connect(const std::string &address) {
    return g_dbus_connection_new_for_address_sync(
        address.c_str(),
        GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                             G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
}

GVariant *Call(GDBusConnection *c, const char *destination, const char *path, const char *interface,
               const char *method, GVariant *arguments, const char *type) {
    return g_dbus_connection_call_sync(c, destination, path, interface, method, arguments,
                                       G_VARIANT_TYPE(type), G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
}

// RequestName's answer: 1 owner, 2 queued, 3 taken; 0 no answer.
guint32 RequestName(GDBusConnection *c, guint32 flags) {
    GVariant *reply = Call(c, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                           "RequestName", g_variant_new("(su)", CardName, flags), "(u)");
    guint32 answer = 0;
    if (reply) g_variant_get(reply, "(u)", &answer);
    if (reply) g_variant_unref(reply);
    return answer;
}

// The unique name that owns the card's name, "" none.
std::string CardOwner(GDBusConnection *c) {
    GVariant *reply = Call(c, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                           "GetNameOwner", g_variant_new("(s)", CardName), "(s)");
    if (!reply) return "";
    const gchar *owner = nullptr;
    g_variant_get(reply, "(&s)", &owner);
    std::string result = owner;
    g_variant_unref(reply);
    return result;
}

// What the card's owner answers: RequestRelease, -1 for no answer.
int AskRelease(GDBusConnection *c, int32_t priority) {
    GVariant *reply =
        Call(c, CardName, CardPath, Interface, "RequestRelease", g_variant_new("(i)", priority), "(b)");
    if (!reply) return -1;
    gboolean released = FALSE;
    g_variant_get(reply, "(b)", &released);
    g_variant_unref(reply);
    return released ? 1 : 0;
}

// A property of the card's owner, "" when it has none.
std::string OwnerProperty(GDBusConnection *c, const char *property) {
    GVariant *reply = Call(c, CardName, CardPath, "org.freedesktop.DBus.Properties", "Get",
                           g_variant_new("(ss)", Interface, property), "(v)");
    if (!reply) return "";
    GVariant *value = nullptr;
    g_variant_get(reply, "(v)", &value);
    std::string text = g_variant_is_of_type(value, G_VARIANT_TYPE_INT32)
                           ? std::to_string(g_variant_get_int32(value))
                           : g_variant_get_string(value, nullptr);
    g_variant_unref(value);
    g_variant_unref(reply);
    return text;
}

// A sound server holding card 3, on a thread of its own. Replaceable, it lets a taker have the name at
// once, as PulseAudio and PipeWire do; else the taker waits in the queue until it has let go.
struct FakeOwner {
    enum Answer { LetGo, Refuse, Silent };

    Answer answer;
    GDBusConnection *connection = nullptr;
    GMainContext *context = g_main_context_new();
    GMainLoop *loop = g_main_loop_new(context, FALSE);
    std::thread thread;
    std::atomic<int32_t> asked{INT32_MIN};       // the priority of the last RequestRelease
    GDBusMethodInvocation *unanswered = nullptr; // Silent's: answered at the end

    FakeOwner(const std::string &address, Answer a, bool replaceable = false) : answer(a) {
        static GDBusNodeInfo *node = g_dbus_node_info_new_for_xml(
            "<node><interface name='org.freedesktop.ReserveDevice1'><method name='RequestRelease'>"
            "<arg type='i' direction='in'/><arg type='b' direction='out'/></method></interface></node>",
            nullptr);
        static const GDBusInterfaceVTable vtable = [] {
            GDBusInterfaceVTable v{};
            v.method_call = [](GDBusConnection *, const gchar *, const gchar *, const gchar *, const gchar *,
                               GVariant *arguments, GDBusMethodInvocation *invocation, gpointer data) {
                FakeOwner *self = static_cast<FakeOwner *>(data);
                int32_t priority = 0;
                g_variant_get(arguments, "(i)", &priority);
                self->asked.store(priority);
                if (self->answer == Silent) {
                    self->unanswered = invocation;
                    return;
                }
                g_dbus_method_invocation_return_value(invocation,
                                                      g_variant_new("(b)", self->answer == LetGo));
                if (self->answer != LetGo) return;
                // Closes its device, then gives the name back a little later.
                GSource *later = g_timeout_source_new(100);
                g_source_set_callback(
                    later,
                    [](gpointer owner) {
                        GVariant *reply =
                            Call(static_cast<FakeOwner *>(owner)->connection, "org.freedesktop.DBus",
                                 "/org/freedesktop/DBus", "org.freedesktop.DBus", "ReleaseName",
                                 g_variant_new("(s)", CardName), "(u)");
                        if (reply) g_variant_unref(reply);
                        return gboolean(G_SOURCE_REMOVE);
                    },
                    self, nullptr);
                g_source_attach(later, self->context);
                g_source_unref(later);
            };
            return v;
        }();
        connection = Connect(address);
        if (!connection) return;
        g_main_context_push_thread_default(context);
        g_dbus_connection_register_object(connection, CardPath, node->interfaces[0], &vtable, this, nullptr,
                                          nullptr);
        g_main_context_pop_thread_default(context);
        RequestName(connection, replaceable ? 1 | 4 : 0); // allow replacement, do not queue
        thread = std::thread([this] { g_main_loop_run(loop); });
    }
    ~FakeOwner() {
        if (thread.joinable()) {
            GSource *quit = g_idle_source_new();
            g_source_set_callback(
                quit,
                [](gpointer owner) {
                    FakeOwner *self = static_cast<FakeOwner *>(owner);
                    if (self->unanswered)
                        g_dbus_method_invocation_return_value(self->unanswered, g_variant_new("(b)", FALSE));
                    g_main_loop_quit(self->loop);
                    return gboolean(G_SOURCE_REMOVE);
                },
                this, nullptr);
            g_source_attach(quit, context);
            g_source_unref(quit);
            thread.join();
        }
        if (connection) {
            // Given back before the next owner of a test asks for it.
            GVariant *reply =
                Call(connection, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                     "ReleaseName", g_variant_new("(s)", CardName), "(u)");
            if (reply) g_variant_unref(reply);
            g_dbus_connection_close_sync(connection, nullptr, nullptr);
            g_object_unref(connection);
        }
        g_main_loop_unref(loop);
        g_main_context_unref(context);
    }
    std::string UniqueName() const { return g_dbus_connection_get_unique_name(connection); }
};

class Reservation : public ::testing::Test {
  protected:
    PrivateBus bus;
    Environment env;
    GDBusConnection *observer = nullptr;

    void SetUp() override {
        ASSERT_FALSE(bus.address.empty()) << "dbus-daemon did not start";
        env.Set("DBUS_SESSION_BUS_ADDRESS", bus.address.c_str());
        observer = Connect(bus.address);
        ASSERT_NE(observer, nullptr);
    }
    void TearDown() override {
        ReleaseSoundCard();
        if (observer) {
            g_dbus_connection_close_sync(observer, nullptr, nullptr);
            g_object_unref(observer);
        }
    }
};

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

TEST_F(Reservation, TakesTheCardFromAnOwnerThatLetsGoAndGivesItBack) {
    // Nobody holds it: ours at once, and free again after.
    ASSERT_TRUE(ReserveSoundCard(3, "Groovestone test"));
    EXPECT_NE(CardOwner(observer), "");
    ReleaseSoundCard();
    EXPECT_EQ(CardOwner(observer), "");

    for (const bool replaceable : {false, true}) {
        FakeOwner server(bus.address, FakeOwner::LetGo, replaceable);
        ASSERT_EQ(CardOwner(observer), server.UniqueName());
        ASSERT_TRUE(ReserveSoundCard(3, "Groovestone test")) << replaceable;
        EXPECT_EQ(server.asked.load(), SoundCardPriority);
        const std::string ours = CardOwner(observer);
        EXPECT_NE(ours, "");
        EXPECT_NE(ours, server.UniqueName());
        // We answer for the card now, and keep it whatever the priority.
        EXPECT_EQ(OwnerProperty(observer, "ApplicationName"), "Groovestone test");
        EXPECT_EQ(OwnerProperty(observer, "ApplicationDeviceName"), "hw:3");
        EXPECT_EQ(OwnerProperty(observer, "Priority"), std::to_string(SoundCardPriority));
        EXPECT_EQ(AskRelease(observer, INT32_MAX), 0);
        EXPECT_EQ(CardOwner(observer), ours);

        ReleaseSoundCard();
        EXPECT_EQ(CardOwner(observer), "");
        EXPECT_EQ(RequestName(server.connection, 4), 1u) << "the server takes its card back";
    }
}

TEST_F(Reservation, FailsWithoutTheNameWhenTheOwnerRefusesOrStaysSilent) {
    for (const FakeOwner::Answer answer : {FakeOwner::Refuse, FakeOwner::Silent}) {
        FakeOwner server(bus.address, answer);
        ASSERT_EQ(CardOwner(observer), server.UniqueName());
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(ReserveSoundCard(3, "Groovestone test")) << answer;
        EXPECT_LT(SecondsSince(start), 3.5) << answer;
        EXPECT_EQ(server.asked.load(), SoundCardPriority) << answer;
        EXPECT_EQ(CardOwner(observer), server.UniqueName()) << answer;
    }
}

TEST(ReservationWithoutBus, HasNothingToReserve) {
    TempFolder runtime; // holds no "bus"
    Environment env;
    env.Set("XDG_RUNTIME_DIR", runtime.path.c_str());
    for (const char *address : {static_cast<const char *>(nullptr), "unix:path=/nonexistent/bus"}) {
        env.Set("DBUS_SESSION_BUS_ADDRESS", address);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(ReserveSoundCard(3, "Groovestone test")) << (address ? address : "unset");
        EXPECT_LT(SecondsSince(start), 1.0) << (address ? address : "unset");
        ReleaseSoundCard();
    }
}
