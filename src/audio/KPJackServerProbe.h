#pragma once

// Whether a JACK server may be running, answered quietly and in microseconds, for whoever looks
// for one again and again (the output and the MIDI input, every 2 s). Asked to connect with no
// server there, JACK's own library writes to standard error (its metadata database among
// others) whatever error function is set, so it is asked only once the server's socket exists.
// PipeWire's JACK library has no such socket and says nothing: with it, and with a server shared
// between users, every look asks the library.
class KPJackServerProbe
{
public:
    // False when no server runs for certain; true when one is there or can only be found by
    // connecting.
    static bool mayRun();
    // Sends JACK's own error and information lines to a debug category instead of standard
    // error: a client of a server that went away reports every failed call.
    static void quietenLibrary();
};
