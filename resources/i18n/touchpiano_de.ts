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
        <translation>Noch keine Aufnahmen. Klicke oder tippe auf die Aufnahmetaste und spiele los.</translation>
    </message>
    <message>
        <source>TAPTO</source>
        <translation>Klicken oder tippen zum Benennen</translation>
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
        <source>OUTPUTLOST</source>
        <translation>Die Tonausgabe (%1) ist ausgefallen. Das Klavier spielt über eine andere Ausgabe weiter und kehrt zurück, sobald es geht.</translation>
    </message>
    <message>
        <source>OUTPUTLOSTSILENT</source>
        <translation>Die Tonausgabe (%1) ist ausgefallen, und keine andere wurde gefunden: Das Klavier spielt stumm, bis sich wieder eine Ausgabe öffnen lässt.</translation>
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
        <source>DELETE</source>
        <translation>Löschen</translation>
    </message>
    <message>
        <source>RECORDINGS</source>
        <translation>Aufnahmen</translation>
    </message>
    <message>
        <source>CLIWRONG</source>
        <translation>touchpiano: %1 (--help zeigt die Optionen)</translation>
    </message>
    <message>
        <source>CLITWICE</source>
        <translation>--%1 ist mehr als einmal angegeben</translation>
    </message>
    <message>
        <source>CLINOTO</source>
        <translation>--export braucht --to DATEI</translation>
    </message>
    <message>
        <source>CLIWITHEXPORT</source>
        <translation>--%1 gehört zu --export N</translation>
    </message>
    <message>
        <source>CLIFORMAT</source>
        <translation>%1: das Format folgt der Dateiendung: .mid, .wav oder .flac</translation>
    </message>
    <message>
        <source>CLINOTOPTION</source>
        <translation>%1 ist keine Option; --import importiert Dateien</translation>
    </message>
    <message>
        <source>CLINORECORDING</source>
        <translation>es gibt keine Aufnahme %1; --list zeigt die vorhandenen %2</translation>
    </message>
    <message>
        <source>CLINORECORDINGS</source>
        <translation>Keine Aufnahmen.</translation>
    </message>
    <message>
        <source>CLINONAME</source>
        <translation>(ohne Namen)</translation>
    </message>
    <message>
        <source>CLIONENOTE</source>
        <translation>%1 Note</translation>
    </message>
    <message>
        <source>CLINOTES</source>
        <translation>%1 Noten</translation>
    </message>
    <message>
        <source>CLINOFOLDER</source>
        <translation>den Ordner %1 gibt es nicht</translation>
    </message>
    <message>
        <source>CLIEXISTS</source>
        <translation>die Datei gibt es schon; --force ersetzt sie</translation>
    </message>
    <message>
        <source>CLIEXPORTED</source>
        <translation>„%1“ nach %2 exportiert</translation>
    </message>
    <message>
        <source>CLINODISPLAY</source>
        <translation>touchpiano: es gibt keinen Bildschirm, auf dem sich das Fenster öffnen könnte</translation>
    </message>
    <message>
        <source>MENU</source>
        <translation>Menü</translation>
    </message>
    <message>
        <source>ABOUT</source>
        <translation>Über Touch Piano</translation>
    </message>
    <message>
        <source>ABOUTTEXT</source>
        <translation>&lt;p&gt;&lt;b&gt;Touch Piano %1&lt;/b&gt;&lt;/p&gt;&lt;p&gt;Ein Touch-Klavier für Telefone, Tablets und Linux-Rechner.&lt;/p&gt;&lt;p&gt;Die Klänge der Instrumente sind aus der FluidR3-General-MIDI-Soundfont von Frank Wen berechnet, unter der MIT-Lizenz. Die Lizenzen stehen in der Copyright-Datei des Programms.&lt;/p&gt;</translation>
    </message>
    <message>
        <source>HELP</source>
        <translation>Tasten und Kurzbefehle</translation>
    </message>
    <message>
        <source>PREFERENCES</source>
        <translation>Einstellungen…</translation>
    </message>
    <message>
        <source>QUIT</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>HELPLETTERS</source>
        <translation>Buchstabentasten</translation>
    </message>
    <message>
        <source>HELPPLAY</source>
        <translation>Spielen nach ihrer Lage auf der Tastatur: die unteren zwei Reihen ab dem linken C auf dem Bildschirm, die oberen zwei eine Oktave höher. Die Maus spielt wie ein Finger.</translation>
    </message>
    <message>
        <source>HELPFINE</source>
        <translation>Tempo um einen Schlag langsamer oder schneller (auch Umschalt mit einem Klick auf − oder +, oder das Mausrad über dem Tempo)</translation>
    </message>
    <message>
        <source>HELPCLOSE</source>
        <translation>Eine Liste schließen</translation>
    </message>
    <message>
        <source>HELPFULLSCREEN</source>
        <translation>Vollbild</translation>
    </message>
    <message>
        <source>LEFTOUT</source>
        <translation>ausgelassen: %1</translation>
    </message>
    <message>
        <source>LEFTOUTRANGE</source>
        <translation>Noten außerhalb von C1 bis B7: %1</translation>
    </message>
    <message>
        <source>LEFTOUTDRUMS</source>
        <translation>Schlagzeugnoten (Kanal 10): %1</translation>
    </message>
    <message>
        <source>LEFTOUTNOTES</source>
        <translation>alle Noten nach den ersten %1</translation>
    </message>
    <message>
        <source>LEFTOUTLENGTH</source>
        <translation>alles nach %1 Stunden</translation>
    </message>
    <message>
        <source>IMPORTSUMMARY</source>
        <translation>%1 von %2 Dateien wurden importiert.</translation>
    </message>
    <message>
        <source>IMPORTMORE</source>
        <translation>… und %1 weitere.</translation>
    </message>
    <message>
        <source>ARCHIVEPARTLY</source>
        <translation>Nicht lesbare Aufnahmen: %1. Die übrigen bleiben in der Liste und werden gespeichert; %2.</translation>
    </message>
    <message>
        <source>ARCHIVETOOLARGE</source>
        <translation>Die Aufnahme wurde nicht behalten: %1.</translation>
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
