<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>Localizable</name>
    <message>
        <source>SAVE</source>
        <translation>Recording saved</translation>
    </message>
    <message>
        <source>NORECORD</source>
        <translation>No recordings yet. Tap the record button and play to make one.</translation>
    </message>
    <message>
        <source>TAPTO</source>
        <translation>Tap to name</translation>
    </message>
    <message>
        <source>CHOOSE</source>
        <translation>Choose from %1 instruments</translation>
    </message>
    <message>
        <source>DYNAMICS</source>
        <translation>Touch dynamics</translation>
    </message>
    <message>
        <source>LANG</source>
        <translation>en</translation>
    </message>
    <message>
        <source>RATE</source>
        <translation>If you enjoy playing, would you take a moment to rate it? Thanks for your support!</translation>
    </message>
    <message>
        <source>RATETITLE</source>
        <translation>Rate %1</translation>
    </message>
    <message>
        <source>RATECANCEL</source>
        <translation>No, thanks</translation>
    </message>
    <message>
        <source>RATEBTN</source>
        <translation>Rate %1</translation>
    </message>
    <message>
        <source>RATELATER</source>
        <translation>Remind me later</translation>
    </message>
    <message>
        <source>CRASHTITLE</source>
        <translation>Touch Piano quit unexpectedly last time.</translation>
    </message>
    <message>
        <source>CRASHMSG</source>
        <translation>Send the crash report to the developers? It holds the program's version and where it stopped, nothing you played.</translation>
    </message>
    <message>
        <source>CRASHSEND</source>
        <translation>Send</translation>
    </message>
    <message>
        <source>CRASHDONTSEND</source>
        <translation>Don't send</translation>
    </message>
    <message>
        <source>CRASHALWAYS</source>
        <translation>Always send</translation>
    </message>
    <message>
        <source>TIPOCTAVEDOWN</source>
        <translation>One octave down</translation>
    </message>
    <message>
        <source>TIPOCTAVEUP</source>
        <translation>One octave up</translation>
    </message>
    <message>
        <source>TIPRECORD</source>
        <translation>Record</translation>
    </message>
    <message>
        <source>TIPPLAYLIST</source>
        <translation>Recordings</translation>
    </message>
    <message>
        <source>TIPSETTINGS</source>
        <translation>Instruments</translation>
    </message>
    <message>
        <source>TIPSUSTAIN</source>
        <translation>Sustain pedal</translation>
    </message>
    <message>
        <source>TIPMETRONOME</source>
        <translation>Metronome</translation>
    </message>
    <message>
        <source>TIPSLOWER</source>
        <translation>Slower</translation>
    </message>
    <message>
        <source>TIPFASTER</source>
        <translation>Faster</translation>
    </message>
    <message>
        <source>TIPNEWS</source>
        <translation>News</translation>
    </message>
    <message>
        <source>EXPORTMIDI</source>
        <translation>Export as MIDI…</translation>
    </message>
    <message>
        <source>EXPORTAUDIO</source>
        <translation>Export as audio…</translation>
    </message>
    <message>
        <source>IMPORTMIDI</source>
        <translation>Import MIDI…</translation>
    </message>
    <message>
        <source>EXPORTMIDITITLE</source>
        <translation>Export as MIDI</translation>
    </message>
    <message>
        <source>EXPORTAUDIOTITLE</source>
        <translation>Export as audio</translation>
    </message>
    <message>
        <source>IMPORTTITLE</source>
        <translation>Import a MIDI file</translation>
    </message>
    <message>
        <source>EXPORTING</source>
        <translation>Rendering %1…</translation>
    </message>
    <message>
        <source>EXPORTFAILED</source>
        <translation>“%1” could not be exported: %2</translation>
    </message>
    <message>
        <source>IMPORTFAILED</source>
        <translation>“%1” could not be imported: %2</translation>
    </message>
    <message>
        <source>SAVEFAILED</source>
        <translation>Your recordings could not be saved: %1. Touch Piano keeps them and tries again.</translation>
    </message>
    <message>
        <source>ARCHIVEUNREADABLE</source>
        <translation>The recordings file could not be read: %1.</translation>
    </message>
    <message>
        <source>IMPORTNOTICE</source>
        <translation>“%1” was imported; %2.</translation>
    </message>
    <message>
        <source>JACKGONE</source>
        <translation>The JACK server went away. The piano plays on through the computer’s sound output and goes back to JACK when a server runs again.</translation>
    </message>
    <message>
        <source>JACKGONESILENT</source>
        <translation>The JACK server went away and no other sound output was found: the piano plays silently until a JACK server runs again.</translation>
    </message>
    <message>
        <source>VOLUME</source>
        <translation>Volume</translation>
    </message>
    <message>
        <source>LOCALSOUND</source>
        <translation>Local sound</translation>
    </message>
    <message>
        <source>MIDI</source>
        <translation>MIDI…</translation>
    </message>
    <message>
        <source>MIDITITLE</source>
        <translation>MIDI connections</translation>
    </message>
    <message>
        <source>MIDIINPUTS</source>
        <translation>Play the piano from:</translation>
    </message>
    <message>
        <source>MIDINOINPUTS</source>
        <translation>No MIDI inputs yet. Plug in a keyboard or start a program: it shows here.</translation>
    </message>
    <message>
        <source>MIDIKEYBOARD</source>
        <translation>%1 (keyboard)</translation>
    </message>
    <message>
        <source>MIDIPROGRAM</source>
        <translation>%1 (program)</translation>
    </message>
    <message>
        <source>MIDIOUT</source>
        <translation>What you play goes out to other programs through the MIDI output “Touch Piano” (ALSA) or “Touch Piano output:Touch Piano out” (JACK).</translation>
    </message>
    <message>
        <source>MIDIPLAYBACK</source>
        <translation>Send recordings played back too</translation>
    </message>
    <message>
        <source>MIDICLOSE</source>
        <translation>Close</translation>
    </message>
</context>
</TS>
