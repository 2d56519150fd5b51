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
        <translation>No recordings yet. Click or tap the record button and play to make one.</translation>
    </message>
    <message>
        <source>TAPTO</source>
        <translation>Click or tap to name</translation>
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
        <source>OUTPUTLOST</source>
        <translation>The sound output (%1) stopped. The piano plays on through another output and goes back when it can.</translation>
    </message>
    <message>
        <source>OUTPUTLOSTSILENT</source>
        <translation>The sound output (%1) stopped and no other was found: the piano plays silently until an output opens again.</translation>
    </message>
    <message>
        <source>VOLUME</source>
        <translation>Volume</translation>
    </message>
    <message>
        <source>DELETE</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>RECORDINGS</source>
        <translation>Recordings</translation>
    </message>
    <message>
        <source>CLIWRONG</source>
        <translation>touchpiano: %1 (--help lists the options)</translation>
    </message>
    <message>
        <source>CLITWICE</source>
        <translation>--%1 is given more than once</translation>
    </message>
    <message>
        <source>CLINOTO</source>
        <translation>--export needs --to FILE</translation>
    </message>
    <message>
        <source>CLIWITHEXPORT</source>
        <translation>--%1 goes with --export N</translation>
    </message>
    <message>
        <source>CLIFORMAT</source>
        <translation>%1: the format comes from the file’s extension: .mid, .wav or .flac</translation>
    </message>
    <message>
        <source>CLINOTOPTION</source>
        <translation>%1 is not an option; --import imports files</translation>
    </message>
    <message>
        <source>CLINORECORDING</source>
        <translation>there is no recording %1; --list shows the %2 there are</translation>
    </message>
    <message>
        <source>CLINORECORDINGS</source>
        <translation>No recordings.</translation>
    </message>
    <message>
        <source>CLINONAME</source>
        <translation>(no name)</translation>
    </message>
    <message>
        <source>CLIONENOTE</source>
        <translation>%1 note</translation>
    </message>
    <message>
        <source>CLINOTES</source>
        <translation>%1 notes</translation>
    </message>
    <message>
        <source>CLINOFOLDER</source>
        <translation>the folder %1 does not exist</translation>
    </message>
    <message>
        <source>CLIEXISTS</source>
        <translation>the file is there already; --force replaces it</translation>
    </message>
    <message>
        <source>CLIEXPORTED</source>
        <translation>Exported “%1” to %2</translation>
    </message>
    <message>
        <source>CLINODISPLAY</source>
        <translation>touchpiano: there is no display to open the window on</translation>
    </message>
    <message>
        <source>MENU</source>
        <translation>Menu</translation>
    </message>
    <message>
        <source>ABOUT</source>
        <translation>About Touch Piano</translation>
    </message>
    <message>
        <source>ABOUTTEXT</source>
        <translation>&lt;p&gt;&lt;b&gt;Touch Piano %1&lt;/b&gt;&lt;/p&gt;&lt;p&gt;A touch piano for phones, tablets and Linux desktops.&lt;/p&gt;&lt;p&gt;The instrument samples are rendered from the FluidR3 General MIDI sound font by Frank Wen, under the MIT licence. The licences are in the program’s copyright file.&lt;/p&gt;</translation>
    </message>
    <message>
        <source>HELP</source>
        <translation>Keys and shortcuts</translation>
    </message>
    <message>
        <source>PREFERENCES</source>
        <translation>Preferences…</translation>
    </message>
    <message>
        <source>QUIT</source>
        <translation>Quit</translation>
    </message>
    <message>
        <source>HELPLETTERS</source>
        <translation>Letter keys</translation>
    </message>
    <message>
        <source>HELPPLAY</source>
        <translation>Play by their place on the keyboard: the lower two rows from the leftmost C on screen, the upper two an octave higher. The mouse plays like one finger.</translation>
    </message>
    <message>
        <source>HELPFINE</source>
        <translation>Tempo one beat slower or faster (also Shift with a click on − or +, or the wheel over the tempo)</translation>
    </message>
    <message>
        <source>HELPCLOSE</source>
        <translation>Close a panel</translation>
    </message>
    <message>
        <source>HELPFULLSCREEN</source>
        <translation>Full screen</translation>
    </message>
    <message>
        <source>LEFTOUT</source>
        <translation>left out %1</translation>
    </message>
    <message>
        <source>LEFTOUTRANGE</source>
        <translation>notes outside C1 to B7: %1</translation>
    </message>
    <message>
        <source>LEFTOUTDRUMS</source>
        <translation>percussion notes (channel 10): %1</translation>
    </message>
    <message>
        <source>LEFTOUTNOTES</source>
        <translation>every note after the first %1</translation>
    </message>
    <message>
        <source>LEFTOUTLENGTH</source>
        <translation>everything after %1 hours</translation>
    </message>
    <message>
        <source>IMPORTSUMMARY</source>
        <translation>%1 of %2 files were imported.</translation>
    </message>
    <message>
        <source>IMPORTMORE</source>
        <translation>… and %1 more.</translation>
    </message>
    <message>
        <source>ARCHIVEPARTLY</source>
        <translation>Recordings that could not be read: %1. The others are listed and saved; %2.</translation>
    </message>
    <message>
        <source>ARCHIVETOOLARGE</source>
        <translation>The recording was not kept: %1.</translation>
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
