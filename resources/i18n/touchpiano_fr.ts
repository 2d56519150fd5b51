<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr">
<context>
    <name>Localizable</name>
    <message>
        <source>SAVE</source>
        <translation>Enregistrement sauvegardé</translation>
    </message>
    <message>
        <source>NORECORD</source>
        <translation>Aucun enregistrement. Cliquez ou touchez le bouton d'enregistrement et jouez.</translation>
    </message>
    <message>
        <source>TAPTO</source>
        <translation>Cliquez ou touchez pour nommer</translation>
    </message>
    <message>
        <source>CHOOSE</source>
        <translation>Choisissez parmi %1 instruments</translation>
    </message>
    <message>
        <source>DYNAMICS</source>
        <translation>Dynamique du toucher</translation>
    </message>
    <message>
        <source>LANG</source>
        <translation>fr</translation>
    </message>
    <message>
        <source>RATE</source>
        <translation>Si vous aimez jouer, prendriez-vous un instant pour le noter ? Merci de votre soutien !</translation>
    </message>
    <message>
        <source>RATETITLE</source>
        <translation>Noter %1</translation>
    </message>
    <message>
        <source>RATECANCEL</source>
        <translation>Non merci</translation>
    </message>
    <message>
        <source>RATEBTN</source>
        <translation>Noter %1</translation>
    </message>
    <message>
        <source>RATELATER</source>
        <translation>Me le rappeler plus tard</translation>
    </message>
    <message>
        <source>CRASHTITLE</source>
        <translation>Touch Piano s'est fermé de façon inattendue la dernière fois.</translation>
    </message>
    <message>
        <source>CRASHMSG</source>
        <translation>Envoyer le rapport de plantage aux développeurs ? Il contient la version du programme et l'endroit où il s'est arrêté, rien de ce que vous avez joué.</translation>
    </message>
    <message>
        <source>CRASHSEND</source>
        <translation>Envoyer</translation>
    </message>
    <message>
        <source>CRASHDONTSEND</source>
        <translation>Ne pas envoyer</translation>
    </message>
    <message>
        <source>CRASHALWAYS</source>
        <translation>Toujours envoyer</translation>
    </message>
    <message>
        <source>TIPOCTAVEDOWN</source>
        <translation>Une octave plus bas</translation>
    </message>
    <message>
        <source>TIPOCTAVEUP</source>
        <translation>Une octave plus haut</translation>
    </message>
    <message>
        <source>TIPRECORD</source>
        <translation>Enregistrer</translation>
    </message>
    <message>
        <source>TIPPLAYLIST</source>
        <translation>Enregistrements</translation>
    </message>
    <message>
        <source>TIPSETTINGS</source>
        <translation>Instruments</translation>
    </message>
    <message>
        <source>TIPSUSTAIN</source>
        <translation>Pédale de sustain</translation>
    </message>
    <message>
        <source>TIPMETRONOME</source>
        <translation>Métronome</translation>
    </message>
    <message>
        <source>TIPSLOWER</source>
        <translation>Plus lent</translation>
    </message>
    <message>
        <source>TIPFASTER</source>
        <translation>Plus rapide</translation>
    </message>
    <message>
        <source>TIPNEWS</source>
        <translation>Nouveautés</translation>
    </message>
    <message>
        <source>EXPORTMIDI</source>
        <translation>Exporter en MIDI…</translation>
    </message>
    <message>
        <source>EXPORTAUDIO</source>
        <translation>Exporter en audio…</translation>
    </message>
    <message>
        <source>IMPORTMIDI</source>
        <translation>Importer un MIDI…</translation>
    </message>
    <message>
        <source>EXPORTMIDITITLE</source>
        <translation>Exporter en MIDI</translation>
    </message>
    <message>
        <source>EXPORTAUDIOTITLE</source>
        <translation>Exporter en audio</translation>
    </message>
    <message>
        <source>IMPORTTITLE</source>
        <translation>Importer un fichier MIDI</translation>
    </message>
    <message>
        <source>EXPORTING</source>
        <translation>Rendu de %1…</translation>
    </message>
    <message>
        <source>EXPORTFAILED</source>
        <translation>« %1 » n’a pas pu être exporté : %2</translation>
    </message>
    <message>
        <source>IMPORTFAILED</source>
        <translation>« %1 » n’a pas pu être importé : %2</translation>
    </message>
    <message>
        <source>SAVEFAILED</source>
        <translation>Vos enregistrements n’ont pas pu être sauvegardés : %1. Touch Piano les garde et réessaie.</translation>
    </message>
    <message>
        <source>ARCHIVEUNREADABLE</source>
        <translation>Le fichier des enregistrements n’a pas pu être lu : %1.</translation>
    </message>
    <message>
        <source>IMPORTNOTICE</source>
        <translation>« %1 » a été importé ; %2.</translation>
    </message>
    <message>
        <source>JACKGONE</source>
        <translation>Le serveur JACK a disparu. Le piano continue sur la sortie son de l’ordinateur et revient à JACK dès qu’un serveur tourne à nouveau.</translation>
    </message>
    <message>
        <source>JACKGONESILENT</source>
        <translation>Le serveur JACK a disparu et aucune autre sortie son n’a été trouvée : le piano joue en silence jusqu’au retour d’un serveur JACK.</translation>
    </message>
    <message>
        <source>OUTPUTLOST</source>
        <translation>La sortie son (%1) s’est arrêtée. Le piano continue sur une autre sortie et y revient dès que possible.</translation>
    </message>
    <message>
        <source>OUTPUTLOSTSILENT</source>
        <translation>La sortie son (%1) s’est arrêtée et aucune autre n’a été trouvée : le piano joue en silence jusqu’à ce qu’une sortie s’ouvre à nouveau.</translation>
    </message>
    <message>
        <source>Grand Piano</source>
        <translation>Piano à queue</translation>
    </message>
    <message>
        <source>Music Box</source>
        <translation>Boîte à musique</translation>
    </message>
    <message>
        <source>Ahh Choir</source>
        <translation>Chœur Aah</translation>
    </message>
    <message>
        <source>Electric Piano</source>
        <translation>Piano électrique</translation>
    </message>
    <message>
        <source>Accordion</source>
        <translation>Accordéon</translation>
    </message>
    <message>
        <source>Banjo</source>
        <translation>Banjo</translation>
    </message>
    <message>
        <source>VOLUME</source>
        <translation>Volume</translation>
    </message>
    <message>
        <source>DELETE</source>
        <translation>Supprimer</translation>
    </message>
    <message>
        <source>RECORDINGS</source>
        <translation>Enregistrements</translation>
    </message>
    <message>
        <source>CLIWRONG</source>
        <translation>touchpiano : %1 (--help liste les options)</translation>
    </message>
    <message>
        <source>CLITWICE</source>
        <translation>--%1 est donnée plus d’une fois</translation>
    </message>
    <message>
        <source>CLINOTO</source>
        <translation>--export demande --to FICHIER</translation>
    </message>
    <message>
        <source>CLIWITHEXPORT</source>
        <translation>--%1 va avec --export N</translation>
    </message>
    <message>
        <source>CLIFORMAT</source>
        <translation>%1 : le format vient de l’extension du fichier : .mid, .wav ou .flac</translation>
    </message>
    <message>
        <source>CLINOTOPTION</source>
        <translation>%1 n’est pas une option ; --import importe des fichiers</translation>
    </message>
    <message>
        <source>CLINORECORDING</source>
        <translation>il n’y a pas d’enregistrement %1 ; --list montre les %2 qui existent</translation>
    </message>
    <message>
        <source>CLINORECORDINGS</source>
        <translation>Aucun enregistrement.</translation>
    </message>
    <message>
        <source>CLINONAME</source>
        <translation>(sans nom)</translation>
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
        <translation>le dossier %1 n’existe pas</translation>
    </message>
    <message>
        <source>CLIEXISTS</source>
        <translation>le fichier existe déjà ; --force le remplace</translation>
    </message>
    <message>
        <source>CLIEXPORTED</source>
        <translation>« %1 » exporté vers %2</translation>
    </message>
    <message>
        <source>CLINODISPLAY</source>
        <translation>touchpiano : aucun écran sur lequel ouvrir la fenêtre</translation>
    </message>
    <message>
        <source>MENU</source>
        <translation>Menu</translation>
    </message>
    <message>
        <source>ABOUT</source>
        <translation>À propos de Touch Piano</translation>
    </message>
    <message>
        <source>ABOUTTEXT</source>
        <translation>&lt;p&gt;&lt;b&gt;Touch Piano %1&lt;/b&gt;&lt;/p&gt;&lt;p&gt;Un piano tactile pour téléphones, tablettes et ordinateurs Linux.&lt;/p&gt;&lt;p&gt;Les échantillons des instruments sont tirés de la banque de sons FluidR3 General MIDI de Frank Wen, sous licence MIT. Les licences figurent dans le fichier copyright du programme.&lt;/p&gt;</translation>
    </message>
    <message>
        <source>HELP</source>
        <translation>Touches et raccourcis</translation>
    </message>
    <message>
        <source>PREFERENCES</source>
        <translation>Préférences…</translation>
    </message>
    <message>
        <source>QUIT</source>
        <translation>Quitter</translation>
    </message>
    <message>
        <source>HELPLETTERS</source>
        <translation>Touches de lettres</translation>
    </message>
    <message>
        <source>HELPPLAY</source>
        <translation>Jouent selon leur place sur le clavier : les deux rangées du bas depuis le do le plus à gauche à l’écran, les deux du haut une octave plus haut. La souris joue comme un doigt.</translation>
    </message>
    <message>
        <source>HELPFINE</source>
        <translation>Tempo d’un battement plus lent ou plus rapide (aussi Maj avec un clic sur − ou +, ou la molette sur le tempo)</translation>
    </message>
    <message>
        <source>HELPCLOSE</source>
        <translation>Fermer un panneau</translation>
    </message>
    <message>
        <source>HELPFULLSCREEN</source>
        <translation>Plein écran</translation>
    </message>
    <message>
        <source>LEFTOUT</source>
        <translation>laissé de côté : %1</translation>
    </message>
    <message>
        <source>LEFTOUTRANGE</source>
        <translation>notes hors de do1 à si7 : %1</translation>
    </message>
    <message>
        <source>LEFTOUTDRUMS</source>
        <translation>notes de percussion (canal 10) : %1</translation>
    </message>
    <message>
        <source>LEFTOUTNOTES</source>
        <translation>toutes les notes après les %1 premières</translation>
    </message>
    <message>
        <source>LEFTOUTLENGTH</source>
        <translation>tout ce qui suit les %1 premières heures</translation>
    </message>
    <message>
        <source>IMPORTSUMMARY</source>
        <translation>%1 fichiers sur %2 ont été importés.</translation>
    </message>
    <message>
        <source>IMPORTMORE</source>
        <translation>… et %1 autres.</translation>
    </message>
    <message>
        <source>ARCHIVEPARTLY</source>
        <translation>Enregistrements illisibles : %1. Les autres restent dans la liste et sont enregistrés ; %2.</translation>
    </message>
    <message>
        <source>ARCHIVETOOLARGE</source>
        <translation>L’enregistrement n’a pas été conservé : %1.</translation>
    </message>
    <message>
        <source>LOCALSOUND</source>
        <translation>Son local</translation>
    </message>
    <message>
        <source>MIDI</source>
        <translation>MIDI…</translation>
    </message>
    <message>
        <source>MIDITITLE</source>
        <translation>Connexions MIDI</translation>
    </message>
    <message>
        <source>MIDIINPUTS</source>
        <translation>Jouer du piano depuis :</translation>
    </message>
    <message>
        <source>MIDINOINPUTS</source>
        <translation>Aucune entrée MIDI pour l'instant. Branchez un clavier ou lancez un programme : il apparaîtra ici.</translation>
    </message>
    <message>
        <source>MIDIKEYBOARD</source>
        <translation>%1 (clavier)</translation>
    </message>
    <message>
        <source>MIDIPROGRAM</source>
        <translation>%1 (programme)</translation>
    </message>
    <message>
        <source>MIDIOUT</source>
        <translation>Ce que vous jouez part vers d'autres programmes par la sortie MIDI « Touch Piano » (ALSA) ou « Touch Piano output:Touch Piano out » (JACK).</translation>
    </message>
    <message>
        <source>MIDIPLAYBACK</source>
        <translation>Envoyer aussi les enregistrements lus</translation>
    </message>
    <message>
        <source>MIDICLOSE</source>
        <translation>Fermer</translation>
    </message>
</context>
</TS>
