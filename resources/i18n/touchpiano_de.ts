<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de">
<context>
    <name>Localizable</name>
    <message>
        <source>SAVE</source>
        <translation>Aufnahme gespeichert</translation>
    </message>
    <message>
        <source>NORECORD</source>
        <translation>Noch keine Aufnahmen. Tippe auf die Aufnahmetaste und spiele los.</translation>
    </message>
    <message>
        <source>TAPTO</source>
        <translation>Tippen zum Benennen</translation>
    </message>
    <message>
        <source>CHOOSE</source>
        <translation>Wähle aus %1 Instrumenten</translation>
    </message>
    <message>
        <source>DYNAMICS</source>
        <translation>Anschlagdynamik</translation>
    </message>
    <message>
        <source>LANG</source>
        <translation>de</translation>
    </message>
    <message>
        <source>RATE</source>
        <translation>Wenn dir das Spielen Freude macht, nimmst du dir einen Moment für eine Bewertung? Danke!</translation>
    </message>
    <message>
        <source>RATETITLE</source>
        <translation>%1 bewerten</translation>
    </message>
    <message>
        <source>RATECANCEL</source>
        <translation>Nein, danke</translation>
    </message>
    <message>
        <source>RATEBTN</source>
        <translation>%1 bewerten</translation>
    </message>
    <message>
        <source>RATELATER</source>
        <translation>Später erinnern</translation>
    </message>
    <message>
        <source>CRASHTITLE</source>
        <translation>Touch Piano wurde beim letzten Mal unerwartet beendet.</translation>
    </message>
    <message>
        <source>CRASHMSG</source>
        <translation>Den Absturzbericht an die Entwickler senden? Er enthält die Version des Programms und die Stelle, an der es stehen blieb, nichts von deinem Spiel.</translation>
    </message>
    <message>
        <source>CRASHSEND</source>
        <translation>Senden</translation>
    </message>
    <message>
        <source>CRASHDONTSEND</source>
        <translation>Nicht senden</translation>
    </message>
    <message>
        <source>CRASHALWAYS</source>
        <translation>Immer senden</translation>
    </message>
    <message>
        <source>TIPOCTAVEDOWN</source>
        <translation>Eine Oktave tiefer</translation>
    </message>
    <message>
        <source>TIPOCTAVEUP</source>
        <translation>Eine Oktave höher</translation>
    </message>
    <message>
        <source>TIPRECORD</source>
        <translation>Aufnehmen</translation>
    </message>
    <message>
        <source>TIPPLAYLIST</source>
        <translation>Aufnahmen</translation>
    </message>
    <message>
        <source>TIPSETTINGS</source>
        <translation>Instrumente</translation>
    </message>
    <message>
        <source>TIPSUSTAIN</source>
        <translation>Haltepedal</translation>
    </message>
    <message>
        <source>TIPMETRONOME</source>
        <translation>Metronom</translation>
    </message>
    <message>
        <source>TIPSLOWER</source>
        <translation>Langsamer</translation>
    </message>
    <message>
        <source>TIPFASTER</source>
        <translation>Schneller</translation>
    </message>
    <message>
        <source>TIPNEWS</source>
        <translation>Neuigkeiten</translation>
    </message>
    <message>
        <source>EXPORTMIDI</source>
        <translation>Als MIDI exportieren…</translation>
    </message>
    <message>
        <source>EXPORTAUDIO</source>
        <translation>Als Audio exportieren…</translation>
    </message>
    <message>
        <source>IMPORTMIDI</source>
        <translation>MIDI importieren…</translation>
    </message>
    <message>
        <source>EXPORTMIDITITLE</source>
        <translation>Als MIDI exportieren</translation>
    </message>
    <message>
        <source>EXPORTAUDIOTITLE</source>
        <translation>Als Audio exportieren</translation>
    </message>
    <message>
        <source>IMPORTTITLE</source>
        <translation>Eine MIDI-Datei importieren</translation>
    </message>
    <message>
        <source>EXPORTING</source>
        <translation>%1 wird berechnet…</translation>
    </message>
    <message>
        <source>EXPORTFAILED</source>
        <translation>„%1“ konnte nicht exportiert werden: %2</translation>
    </message>
    <message>
        <source>IMPORTFAILED</source>
        <translation>„%1“ konnte nicht importiert werden: %2</translation>
    </message>
    <message>
        <source>SAVEFAILED</source>
        <translation>Ihre Aufnahmen konnten nicht gespeichert werden: %1. Touch Piano behält sie und versucht es erneut.</translation>
    </message>
    <message>
        <source>ARCHIVEUNREADABLE</source>
        <translation>Die Aufnahmedatei konnte nicht gelesen werden: %1.</translation>
    </message>
    <message>
        <source>IMPORTNOTICE</source>
        <translation>„%1“ wurde importiert; %2.</translation>
    </message>
    <message>
        <source>JACKGONE</source>
        <translation>Der JACK-Server ist weg. Das Klavier spielt über die Tonausgabe des Computers weiter und kehrt zu JACK zurück, sobald wieder ein Server läuft.</translation>
    </message>
    <message>
        <source>JACKGONESILENT</source>
        <translation>Der JACK-Server ist weg, und keine andere Tonausgabe wurde gefunden: Das Klavier spielt stumm, bis wieder ein JACK-Server läuft.</translation>
    </message>
    <message>
        <source>Grand Piano</source>
        <translation>Flügel</translation>
    </message>
    <message>
        <source>Music Box</source>
        <translation>Spieluhr</translation>
    </message>
    <message>
        <source>Ahh Choir</source>
        <translation>Aah-Chor</translation>
    </message>
    <message>
        <source>Electric Piano</source>
        <translation>E-Piano</translation>
    </message>
    <message>
        <source>Accordion</source>
        <translation>Akkordeon</translation>
    </message>
    <message>
        <source>Banjo</source>
        <translation>Banjo</translation>
    </message>
    <message>
        <source>VOLUME</source>
        <translation>Lautstärke</translation>
    </message>
    <message>
        <source>LOCALSOUND</source>
        <translation>Eigener Klang</translation>
    </message>
    <message>
        <source>MIDI</source>
        <translation>MIDI…</translation>
    </message>
    <message>
        <source>MIDITITLE</source>
        <translation>MIDI-Verbindungen</translation>
    </message>
    <message>
        <source>MIDIINPUTS</source>
        <translation>Das Klavier spielen von:</translation>
    </message>
    <message>
        <source>MIDINOINPUTS</source>
        <translation>Noch keine MIDI-Eingänge. Schließ ein Keyboard an oder starte ein Programm: Es erscheint hier.</translation>
    </message>
    <message>
        <source>MIDIKEYBOARD</source>
        <translation>%1 (Keyboard)</translation>
    </message>
    <message>
        <source>MIDIPROGRAM</source>
        <translation>%1 (Programm)</translation>
    </message>
    <message>
        <source>MIDIOUT</source>
        <translation>Was du spielst, geht über den MIDI-Ausgang „Touch Piano“ (ALSA) oder „Touch Piano output:Touch Piano out“ (JACK) an andere Programme.</translation>
    </message>
    <message>
        <source>MIDIPLAYBACK</source>
        <translation>Auch abgespielte Aufnahmen senden</translation>
    </message>
    <message>
        <source>MIDICLOSE</source>
        <translation>Schließen</translation>
    </message>
</context>
</TS>
