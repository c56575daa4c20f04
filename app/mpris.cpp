// The desktop's ways in: the MPRIS2 interfaces on the session bus (media keys, playerctl, the desktop's
// sound menu) and the files a file manager names on the command line.
//
// GDBus delivers method calls and property reads in the main context, which the event loop iterates
// while it waits for window events and while a command drains them. A property read answers at once
// from the player's state; a method only notes its request and starts RemoteTimer, whose tick the
// event loop handles between two events, so a request never runs inside another command.

#include "app.h"

#include "audio/audio.h"
#include "library/library.h"
#include "platform/files.h"
#include "platform/gui.h"
#include "platform/reserve.h"
#include "ui/objects.h"
#include "ui/ui.h"

#include <gio/gio.h>

#include <algorithm>
#include <utility>

namespace {

constexpr const char *BusName = "org.mpris.MediaPlayer2.groovestone";
constexpr const char *ObjectPath = "/org/mpris/MediaPlayer2";
constexpr const char *RootInterface = "org.mpris.MediaPlayer2";
constexpr const char *PlayerInterface = "org.mpris.MediaPlayer2.Player";
constexpr const char *TrackPathBase = "/org/groovestone/GroovestoneDSD/track/";
constexpr int RemoteTickMs = 10;
constexpr size_t MaxRequests = 64;      // requests other than the transport's waiting at once
constexpr int MaxNexts = 12;            // a run holds at most twelve tracks: more skips end it all the same
constexpr int HandOverTimeoutMs = 3000; // per file; the running player may be busy with a command

constexpr const char *Introspection = R"(<node>
  <interface name="org.mpris.MediaPlayer2">
    <method name="Raise"/>
    <method name="Quit"/>
    <property name="CanQuit" type="b" access="read"/>
    <property name="CanRaise" type="b" access="read"/>
    <property name="HasTrackList" type="b" access="read"/>
    <property name="Identity" type="s" access="read"/>
    <property name="DesktopEntry" type="s" access="read"/>
    <property name="SupportedUriSchemes" type="as" access="read"/>
    <property name="SupportedMimeTypes" type="as" access="read"/>
  </interface>
  <interface name="org.mpris.MediaPlayer2.Player">
    <method name="Next"/>
    <method name="Previous"/>
    <method name="Pause"/>
    <method name="PlayPause"/>
    <method name="Stop"/>
    <method name="Play"/>
    <method name="Seek"><arg direction="in" name="Offset" type="x"/></method>
    <method name="SetPosition">
      <arg direction="in" name="TrackId" type="o"/>
      <arg direction="in" name="Position" type="x"/>
    </method>
    <method name="OpenUri"><arg direction="in" name="Uri" type="s"/></method>
    <signal name="Seeked"><arg name="Position" type="x"/></signal>
    <property name="PlaybackStatus" type="s" access="read"/>
    <property name="Rate" type="d" access="read"/>
    <property name="Metadata" type="a{sv}" access="read"/>
    <property name="Volume" type="d" access="readwrite"/>
    <property name="Position" type="x" access="read"/>
    <property name="MinimumRate" type="d" access="read"/>
    <property name="MaximumRate" type="d" access="read"/>
    <property name="CanGoNext" type="b" access="read"/>
    <property name="CanGoPrevious" type="b" access="read"/>
    <property name="CanPlay" type="b" access="read"/>
    <property name="CanPause" type="b" access="read"/>
    <property name="CanSeek" type="b" access="read"/>
    <property name="CanControl" type="b" access="read"/>
  </interface>
</node>)";

enum RemoteAction {
    RemoteRaise,
    RemoteQuit,
    RemotePlay,
    RemotePause,
    RemotePlayPause,
    RemoteNext,
    RemoteStop,
    RemoteOpen,
    RemotePrevious,
    RemoteSeek,        // by Position microseconds from the position heard
    RemoteSetPosition, // to Position microseconds of track Track
    RemoteRunPlan      // the merged transport requests noted before the request after it
};

// What the player does as seen from outside: the transport's requests are taken against it.
enum class RemoteState { Stopped, Playing, Paused };

// The net effect of the transport requests noted since the last run, in the order it runs: a stop,
// a start from idle, some skips, then the pause toggle as the last request left it. A request that
// another cancels or repeats leaves nothing of its own: Play Pause Play while playing is nothing,
// ten Stops are one, whatever came before a Stop is gone.
struct TransportPlan {
    bool Any = false;                        // a transport request was noted
    RemoteState From = RemoteState::Stopped; // the player's state when the first was noted
    RemoteState To = RemoteState::Stopped;   // the state the requests lead to
    bool Stop = false, Start = false;
    int Nexts = 0;
};

struct RemoteRequest {
    RemoteAction Action;
    std::string Path;     // RemoteOpen: the local file
    int64_t Position = 0; // RemoteSeek, RemoteSetPosition: microseconds
    int32_t Track = 0;    // RemoteSetPosition: the TrackId its object path names, 0 for another
    TransportPlan Plan{}; // RemoteRunPlan: the transport requests noted before a move in the track
};

// --- state: main thread only (the bus's worker thread never calls into this file)
GDBusConnection *Bus = nullptr; // the session bus while the main window lives; null without one
GDBusNodeInfo *Interfaces = nullptr;
guint RootRegistration = 0, PlayerRegistration = 0;
std::vector<RemoteRequest> Requests; // noted by the method handlers, run by RunRemoteRequests (bounded)
TransportPlan Plan;                  // the transport requests noted, merged
bool QuitNoted = false;              // Quit was asked: it runs before anything else
std::string AnnouncedStatus;         // PlaybackStatus as last announced
int32_t AnnouncedTrack = 0;          // TrackId of the Metadata last announced, 0 for none
double AnnouncedVolume = 1.0;        // Volume as last announced
// --- end of state

// A connection of our own to the session bus, null without one. Unlike GIO's shared connection, it
// leaves the player running should the bus go away.
GDBusConnection *ConnectSessionBus() {
    const std::string address = SessionBusAddress();
    if (address.empty()) return nullptr;
    return g_dbus_connection_new_for_address_sync(
        address.c_str(),
        GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                             G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
}

// D-Bus strings must be UTF-8; file names need not be.
GVariant *Utf8Variant(const std::string &text) {
    gchar *valid = g_utf8_make_valid(text.c_str(), gssize(text.size()));
    GVariant *v = g_variant_new_string(valid);
    g_free(valid);
    return v;
}

GVariant *FileUriVariant(const std::string &path) {
    gchar *uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
    GVariant *v = g_variant_new_string(uri ? uri : "");
    g_free(uri);
    return v;
}

bool Stopped() {
    return PlaybackIdle();
}

const char *PlaybackStatus() {
    return Stopped() ? "Stopped" : PlaybackPaused() ? "Paused" : "Playing";
}

// Microseconds of `bytes` of the run's output (eight bytes per frame of both channels).
int64_t Microseconds(int64_t bytes) {
    const int32_t frequency = RunFrequency();
    return frequency > 0 ? int64_t(double(bytes) / 8.0 / frequency * 1e6) : 0;
}

// The track heard, or a record with TrackId 0 while nothing plays.
TrackRecord TrackHeard() {
    if (Stopped()) return {};
    return TakeNowPlaying().Track;
}

// The record carries no path: the list entry of the same identity has it. Empty when the entry has
// left the lists meanwhile.
std::string PathOfTrack(int32_t id) {
    const EntryPlace place = FindEntry(id);
    return place.List == 0 ? std::string() : ListOf(place.List).Entries[place.Index].Path;
}

GVariant *Metadata(const TrackRecord &track) {
    GVariantBuilder b;
    g_variant_builder_init(&b, G_VARIANT_TYPE("a{sv}"));
    if (track.TrackId != 0) {
        const std::string object = TrackPathBase + std::to_string(track.TrackId);
        g_variant_builder_add(&b, "{sv}", "mpris:trackid", g_variant_new_object_path(object.c_str()));
        g_variant_builder_add(&b, "{sv}", "mpris:length", g_variant_new_int64(Microseconds(track.End)));
        // The tags' fields where they name them; the file and folder names otherwise.
        const ShownTags &tags = TagsOfTrack(track.TrackId);
        const TrackTags &t = tags.Tags;
        g_variant_builder_add(&b, "{sv}", "xesam:title",
                              Utf8Variant(t.Title.empty() ? track.Title : t.Title));
        g_variant_builder_add(&b, "{sv}", "xesam:album",
                              Utf8Variant(t.Album.empty() ? track.Album : t.Album));
        if (!t.Artist.empty()) {
            GVariantBuilder artists;
            g_variant_builder_init(&artists, G_VARIANT_TYPE("as"));
            g_variant_builder_add_value(&artists, Utf8Variant(t.Artist));
            g_variant_builder_add(&b, "{sv}", "xesam:artist", g_variant_builder_end(&artists));
        }
        if (t.TrackNumber > 0 && t.TrackNumber <= INT32_MAX)
            g_variant_builder_add(&b, "{sv}", "xesam:trackNumber",
                                  g_variant_new_int32(int32_t(t.TrackNumber)));
        const std::string path = PathOfTrack(track.TrackId);
        if (!path.empty()) g_variant_builder_add(&b, "{sv}", "xesam:url", FileUriVariant(path));
        // The picture file the label shows first: the track's own, the album's, else the tags'.
        const std::string &cover = !track.SecondCoverPath.empty() ? track.SecondCoverPath
                                   : !track.CoverPath.empty()     ? track.CoverPath
                                                                  : tags.CoverFile;
        if (!cover.empty()) g_variant_builder_add(&b, "{sv}", "mpris:artUrl", FileUriVariant(cover));
    }
    return g_variant_builder_end(&b);
}

GVariant *StringArray(std::initializer_list<const char *> items) {
    GVariantBuilder b;
    g_variant_builder_init(&b, G_VARIANT_TYPE("as"));
    for (const char *item : items) g_variant_builder_add(&b, "s", item);
    return g_variant_builder_end(&b);
}

GVariant *GetProperty(GDBusConnection *, const gchar *, const gchar *, const gchar *interface,
                      const gchar *property, GError **error, gpointer) {
    const std::string name = property;
    if (g_str_equal(interface, RootInterface)) {
        if (name == "CanQuit" || name == "CanRaise") return g_variant_new_boolean(TRUE);
        if (name == "HasTrackList") return g_variant_new_boolean(FALSE);
        if (name == "Identity") return g_variant_new_string("Groovestone DSD");
        if (name == "DesktopEntry") return g_variant_new_string("org.groovestone.GroovestoneDSD");
        if (name == "SupportedUriSchemes") return StringArray({"file"});
        if (name == "SupportedMimeTypes")
            return StringArray({"audio/x-dsf", "audio/x-dff", "audio/x-wavpack"});
    } else {
        if (name == "PlaybackStatus") return g_variant_new_string(PlaybackStatus());
        if (name == "Metadata") return Metadata(TrackHeard());
        if (name == "Position") return g_variant_new_int64(Stopped() ? 0 : Microseconds(NowPlayingPlayed()));
        if (name == "Rate" || name == "MinimumRate" || name == "MaximumRate")
            return g_variant_new_double(1.0);
        if (name == "Volume") return g_variant_new_double(OutputVolume());
        if (name == "CanGoNext" || name == "CanGoPrevious" || name == "CanPlay" || name == "CanPause" ||
            name == "CanSeek" || name == "CanControl")
            return g_variant_new_boolean(TRUE);
    }
    g_set_error(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_PROPERTY, "No property %s", property);
    return nullptr;
}

// The TrackId that a track's object path (TrackPathBase and the number) names; 0 for any other path.
int32_t TrackIdOfObject(const std::string &object) {
    const std::string base = TrackPathBase;
    if (object.compare(0, base.size(), base) != 0 || object.size() == base.size() ||
        object.size() > base.size() + 9)
        return 0;
    int32_t id = 0;
    for (size_t i = base.size(); i < object.size(); ++i) {
        if (object[i] < '0' || object[i] > '9') return 0;
        id = id * 10 + (object[i] - '0');
    }
    return id;
}

// Seek and SetPosition: positions outside the track heard are ignored, except that a Seek past its
// end goes to the next track and one before its start to the start.
void SeekRemote(const RemoteRequest &request) {
    if (Stopped()) return;
    const TrackRecord track = TrackHeard();
    bool moved = false;
    if (request.Action == RemoteSeek) {
        // Any offset beyond the track's length does what one just beyond it does.
        const int64_t length = Microseconds(track.End);
        const int64_t target =
            Microseconds(NowPlayingPlayed()) + std::clamp<int64_t>(request.Position, -length - 1, length + 1);
        moved = SeekTrackHeard(target <= 0 ? 0 : SeekOffsetOf(target));
    } else if (request.Track == track.TrackId && request.Position >= 0 &&
               request.Position <= Microseconds(track.End)) {
        moved = SeekTrackHeard(SeekOffsetOf(request.Position));
    }
    if (moved) AnnounceSeek();
}

RemoteState CurrentState() {
    return Stopped() ? RemoteState::Stopped : PlaybackPaused() ? RemoteState::Paused : RemoteState::Playing;
}

// Merges one transport request into Plan, taking it against the state the requests before it lead
// to. The player runs them in the plan's order, which is the order they can come in: a Stop undoes
// everything before it, a start can only come from Stopped, skips only while a list plays, and the
// pause toggle is what the last request left.
void MergeTransport(RemoteAction action) {
    if (!Plan.Any) Plan = {true, CurrentState(), CurrentState()};
    const RemoteState at = Plan.To;
    switch (action) {
    case RemoteStop:
        // A start still waiting is dropped with the rest: only a player playing before needs one.
        Plan.Stop = Plan.From != RemoteState::Stopped;
        Plan.Start = false;
        Plan.Nexts = 0;
        Plan.From = Plan.To = RemoteState::Stopped;
        if (!Plan.Stop) Plan.Any = false;
        break;
    case RemotePlay:
    case RemotePlayPause:
        if (at == RemoteState::Stopped) {
            Plan.Start = true;
            Plan.To = RemoteState::Playing;
        } else if (at == RemoteState::Paused) {
            Plan.To = RemoteState::Playing;
        } else if (action == RemotePlayPause) {
            Plan.To = RemoteState::Paused;
        }
        break;
    case RemotePause:
        if (at == RemoteState::Playing) Plan.To = RemoteState::Paused;
        break;
    case RemoteNext:
        // A skip plays on, unpaused; more skips than a run holds end it all the same.
        if (at != RemoteState::Stopped) {
            Plan.Nexts = std::min(Plan.Nexts + 1, MaxNexts);
            Plan.To = RemoteState::Playing;
        }
        break;
    default:
        break;
    }
}

// Previous, Seek and SetPosition act on the track heard, so they run after the transport requests
// noted before them. A move right after another merges with it: two Seeks are one by their sum, a
// SetPosition replaces what came before it; the list of waiting requests stays bounded.
void NoteMove(RemoteRequest request) {
    if (Plan.Any) {
        RemoteRequest run{RemoteRunPlan, {}};
        run.Plan = Plan;
        Plan = {};
        Requests.push_back(std::move(run));
    }
    if (!Requests.empty() && request.Action != RemotePrevious) {
        RemoteRequest &last = Requests.back();
        if (request.Action == RemoteSetPosition &&
            (last.Action == RemoteSeek || last.Action == RemoteSetPosition)) {
            last = std::move(request);
            return;
        }
        if (request.Action == RemoteSeek && (last.Action == RemoteSeek || last.Action == RemoteSetPosition)) {
            // Beyond a track's length a Seek does what one just beyond it does: the sum cannot overflow.
            constexpr int64_t Bound = int64_t(1) << 60;
            last.Position = std::clamp<int64_t>(last.Position, -Bound, Bound) +
                            std::clamp<int64_t>(request.Position, -Bound, Bound);
            if (last.Action == RemoteSetPosition) last.Position = std::max<int64_t>(last.Position, 0);
            return;
        }
    }
    if (Requests.size() < MaxRequests) Requests.push_back(std::move(request));
}

// Volume is the one property written from outside: the gain of an output that converts to PCM. A
// device that plays DSD bit-perfect has none; there it stays 1.0 and a write is refused.
gboolean SetProperty(GDBusConnection *, const gchar *, const gchar *, const gchar *interface,
                     const gchar *property, GVariant *value, GError **error, gpointer) {
    if (g_str_equal(interface, PlayerInterface) && g_str_equal(property, "Volume") &&
        g_variant_is_of_type(value, G_VARIANT_TYPE_DOUBLE) && SetOutputVolume(g_variant_get_double(value))) {
        AnnounceMprisChanges();
        return TRUE;
    }
    g_set_error(error, G_DBUS_ERROR, G_DBUS_ERROR_PROPERTY_READ_ONLY,
                "%s is fixed while the device plays DSD bit-perfect", property);
    return FALSE;
}

void Note(RemoteRequest request) {
    switch (request.Action) {
    case RemoteQuit:
        QuitNoted = true;
        break;
    case RemoteStop:
    case RemotePlay:
    case RemotePause:
    case RemotePlayPause:
    case RemoteNext:
        MergeTransport(request.Action);
        break;
    case RemoteRaise:
        if (std::any_of(Requests.begin(), Requests.end(),
                        [](const RemoteRequest &r) { return r.Action == RemoteRaise; }))
            return;
        Requests.push_back(std::move(request));
        break;
    case RemoteOpen:
        Requests.push_back(std::move(request));
        break;
    case RemotePrevious:
    case RemoteSeek:
    case RemoteSetPosition:
        NoteMove(std::move(request));
        break;
    case RemoteRunPlan:
        break;
    }
    AddWindowTimer(MainWindow, RemoteTimer, RemoteTickMs);
}

void CallMethod(GDBusConnection *, const gchar *, const gchar *, const gchar *, const gchar *method,
                GVariant *parameters, GDBusMethodInvocation *invocation, gpointer) {
    static const std::pair<const char *, RemoteAction> Actions[] = {
        {"Raise", RemoteRaise},         {"Quit", RemoteQuit}, {"Play", RemotePlay}, {"Pause", RemotePause},
        {"PlayPause", RemotePlayPause}, {"Next", RemoteNext}, {"Stop", RemoteStop},
    };
    for (auto [name, action] : Actions)
        if (g_str_equal(method, name)) Note({action, {}});
    if (g_str_equal(method, "Previous")) Note({RemotePrevious, {}});
    if (g_str_equal(method, "OpenUri")) {
        if (Requests.size() >= MaxRequests) {
            g_dbus_method_invocation_return_error_literal(
                invocation, G_DBUS_ERROR, G_DBUS_ERROR_LIMITS_EXCEEDED, "Too many files waiting to be added");
            return;
        }
        const gchar *uri = nullptr;
        g_variant_get(parameters, "(&s)", &uri);
        std::string path = LocalPathOfUri(uri);
        if (path.empty()) {
            // The URI is not repeated: it may be any length.
            g_dbus_method_invocation_return_error_literal(
                invocation, G_DBUS_ERROR, G_DBUS_ERROR_NOT_SUPPORTED, "Only local files open here");
            return;
        }
        Note({RemoteOpen, std::move(path)});
    }
    if (g_str_equal(method, "Seek")) {
        gint64 offset = 0;
        g_variant_get(parameters, "(x)", &offset);
        Note({RemoteSeek, {}, offset});
    }
    if (g_str_equal(method, "SetPosition")) {
        const gchar *object = nullptr;
        gint64 position = 0;
        g_variant_get(parameters, "(&ox)", &object, &position);
        Note({RemoteSetPosition, {}, position, TrackIdOfObject(object)});
    }
    g_dbus_method_invocation_return_value(invocation, nullptr);
}

const GDBusInterfaceVTable Handlers = {CallMethod, GetProperty, SetProperty, {}};

// Quit, and the close button pressed while requests ran (noted by their waits), come first.
void CloseIfAsked() {
    if (QuitNoted || CloseRequested) CloseSequence();
}

// The merged transport requests, against the player as it is now (keys may have moved it since).
void RunTransportPlan(const TransportPlan &plan) {
    if (!plan.Any) return;
    if (plan.Stop) RunCommand(CmdStop);
    CloseIfAsked();
    if (plan.Start && Stopped()) RunCommand(CmdPlay);
    for (int i = 0; i < plan.Nexts && !Stopped(); ++i) {
        CloseIfAsked();
        RunCommand(CmdNext);
    }
    CloseIfAsked();
    if (Stopped()) return;
    const bool pause = plan.To == RemoteState::Paused;
    if (pause != PlaybackPaused()) TogglePause();
}

void RunRequest(const RemoteRequest &request) {
    switch (request.Action) {
    case RemoteRaise:
        ActivateWindow(MainWindow);
        break;
    case RemoteOpen:
        AddOutsideFiles({request.Path});
        break;
    case RemotePrevious:
        if (!Stopped()) {
            TransportPrevious();
            if (!Stopped()) AnnounceSeek();
        }
        break;
    case RemoteSeek:
    case RemoteSetPosition:
        SeekRemote(request);
        break;
    case RemoteRunPlan:
        RunTransportPlan(request.Plan);
        break;
    default:
        break;
    }
}

} // namespace

std::vector<std::string> LocalPathsOfArguments(int count, char **arguments) {
    std::vector<std::string> paths;
    for (int i = 0; i < count; ++i) {
        // A URI only as a local file's; GIO would take a file:// URI of any host for the local file.
        if (gchar *scheme = g_uri_parse_scheme(arguments[i])) {
            g_free(scheme);
            if (std::string path = LocalPathOfUri(arguments[i]); !path.empty())
                paths.push_back(std::move(path));
            continue;
        }
        // Relative names against the current folder.
        GFile *file = g_file_new_for_commandline_arg(arguments[i]);
        if (char *path = g_file_get_path(file)) {
            if (PathFitsSystem(path)) paths.emplace_back(path);
            g_free(path);
        }
        g_object_unref(file);
    }
    return paths;
}

bool ClaimMprisName() {
    if (Bus) return true;
    Bus = ConnectSessionBus();
    if (!Bus) return true;
    // Asked for at once and never queued for: two starts at the same moment get one answer each,
    // and only one of them the name.
    constexpr guint32 DoNotQueue = 4, PrimaryOwner = 1, AlreadyOwner = 4;
    GVariant *reply = g_dbus_connection_call_sync(
        Bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
        g_variant_new("(su)", BusName, DoNotQueue), G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, -1,
        nullptr, nullptr);
    guint32 result = 0;
    if (reply) {
        g_variant_get(reply, "(u)", &result);
        g_variant_unref(reply);
    }
    // A bus that refuses to answer counts as none: the process names have decided already.
    const bool ours = result == PrimaryOwner || result == AlreadyOwner;
    if (!ours) {
        g_object_unref(Bus);
        Bus = nullptr;
    }
    return ours || !reply;
}

void OwnMprisName() {
    if (!Bus) return;
    Interfaces = g_dbus_node_info_new_for_xml(Introspection, nullptr);
    RootRegistration = g_dbus_connection_register_object(Bus, ObjectPath, Interfaces->interfaces[0],
                                                         &Handlers, nullptr, nullptr, nullptr);
    PlayerRegistration = g_dbus_connection_register_object(Bus, ObjectPath, Interfaces->interfaces[1],
                                                           &Handlers, nullptr, nullptr, nullptr);
    AnnouncedStatus = PlaybackStatus();
    AnnouncedTrack = 0;
    AnnouncedVolume = OutputVolume();
}

void ReleaseMprisName() {
    Requests.clear();
    Plan = {};
    if (!Bus) return;
    if (RootRegistration) g_dbus_connection_unregister_object(Bus, RootRegistration);
    if (PlayerRegistration) g_dbus_connection_unregister_object(Bus, PlayerRegistration);
    RootRegistration = PlayerRegistration = 0;
    // Closing the connection gives the name back, before the process ends.
    g_dbus_connection_close_sync(Bus, nullptr, nullptr);
    g_object_unref(Bus);
    Bus = nullptr;
    if (Interfaces) g_dbus_node_info_unref(Interfaces);
    Interfaces = nullptr;
}

void RunRemoteRequests() {
    // Requests that come while these run are noted for the next tick.
    RemoveWindowTimer(MainWindow, RemoteTimer);
    CloseIfAsked();
    std::vector<RemoteRequest> due;
    due.swap(Requests);
    // A burst of OpenUri calls (a second start hands its files over one call each) is one batch.
    FileBatch batch;
    for (const RemoteRequest &request : due) {
        RunRequest(request);
        AnnounceMprisChanges();
        CloseIfAsked();
    }
    const TransportPlan plan = Plan;
    Plan = {};
    RunTransportPlan(plan);
    AnnounceMprisChanges();
}

void AnnounceMprisChanges() {
    if (!Bus) return;
    const std::string status = PlaybackStatus();
    const TrackRecord track = TrackHeard();
    const double volume = OutputVolume();
    if (status == AnnouncedStatus && track.TrackId == AnnouncedTrack && volume == AnnouncedVolume) return;
    GVariantBuilder changed;
    g_variant_builder_init(&changed, G_VARIANT_TYPE("a{sv}"));
    if (status != AnnouncedStatus)
        g_variant_builder_add(&changed, "{sv}", "PlaybackStatus", g_variant_new_string(status.c_str()));
    if (track.TrackId != AnnouncedTrack) g_variant_builder_add(&changed, "{sv}", "Metadata", Metadata(track));
    if (volume != AnnouncedVolume)
        g_variant_builder_add(&changed, "{sv}", "Volume", g_variant_new_double(volume));
    AnnouncedStatus = status;
    AnnouncedTrack = track.TrackId;
    AnnouncedVolume = volume;
    g_dbus_connection_emit_signal(
        Bus, nullptr, ObjectPath, "org.freedesktop.DBus.Properties", "PropertiesChanged",
        g_variant_new("(sa{sv}@as)", PlayerInterface, &changed, g_variant_new_strv(nullptr, 0)), nullptr);
}

void AnnounceSeek() {
    if (!Bus || Stopped()) return;
    g_dbus_connection_emit_signal(Bus, nullptr, ObjectPath, PlayerInterface, "Seeked",
                                  g_variant_new("(x)", Microseconds(NowPlayingPlayed())), nullptr);
}

void HandFilesToRunningPlayer(const std::vector<std::string> &paths) {
    if (paths.empty()) return;
    GDBusConnection *bus = ConnectSessionBus();
    if (!bus) return;
    for (const std::string &path : paths) {
        gchar *uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
        if (!uri) continue;
        GVariant *reply = g_dbus_connection_call_sync(
            bus, BusName, ObjectPath, PlayerInterface, "OpenUri", g_variant_new("(s)", uri), nullptr,
            G_DBUS_CALL_FLAGS_NO_AUTO_START, HandOverTimeoutMs, nullptr, nullptr);
        g_free(uri);
        // No player on the bus: the rest would fail the same way.
        if (!reply) break;
        g_variant_unref(reply);
    }
    g_object_unref(bus);
}
