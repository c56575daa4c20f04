// Sharing the sound card with the desktop's sound server (reserve.cpp): the device reservation
// protocol on the desktop's session bus, with the D-Bus of GIO. It needs no display; it is built into
// platform_gui only because GTK brings GIO.
//
// PipeWire, PulseAudio and JACK keep the cards open and give one up on request through the device
// reservation protocol: whoever owns org.freedesktop.ReserveDevice1.Audio<N> on the session bus may
// open card N, and answers RequestRelease(priority) at /org/freedesktop/ReserveDevice1/Audio<N>.
#pragma once

#include <cstdint>
#include <string>

// The session bus's address (DBUS_SESSION_BUS_ADDRESS, else the socket $XDG_RUNTIME_DIR/bus), empty
// when there is none. Never starts a bus: GIO alone would fall back to launching one for the X
// display. Any thread.
std::string SessionBusAddress();

// Our priority: above the desktop's sound servers (PulseAudio asks with 0, PipeWire with -20), so
// that they give the card up to us; below JACK's INT32_MAX.
constexpr int32_t SoundCardPriority = 10;

// Takes card `card` from its holder before the program opens one of its devices: owns the name
// (asking its owner to release it first, when there is one) and answers for it until ReleaseSoundCard.
// While the name is ours every RequestRelease is refused, whatever its priority: the player keeps its
// device open from the start of the main window to the end, and could not play on without it.
// True when the card is ours to open as far as the desktop is concerned: the name is ours, or there
// is no session bus (DBUS_SESSION_BUS_ADDRESS, else $XDG_RUNTIME_DIR/bus; none is started). False
// when the owner refused or did not answer; nothing is kept then. Each wait on the bus or the owner
// is bounded by 2 s. A card already held returns true at once; another card held is released first.
// application is the ApplicationName others read. Main thread (one thread at a time); the answers to
// others run on a thread of their own, so they never wait for the caller.
bool ReserveSoundCard(int card, const std::string &application);
// Gives the name back, so the sound server takes the card again; nothing when none is held. Call it
// once the device is closed. The bus gives the name back by itself when the process ends.
void ReleaseSoundCard();
