<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>BarKeyboard</name>
    <message>
        <source>Player</source>
        <translation>Player</translation>
    </message>
    <message>
        <source>Title strip</source>
        <translation>Titelleiste</translation>
    </message>
    <message>
        <source>Previous</source>
        <translation>Zurück</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Wiedergabe</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Stopp</translation>
    </message>
    <message>
        <source>Fade out and stop</source>
        <translation>Ausblenden und stoppen</translation>
    </message>
    <message>
        <source>Next</source>
        <translation>Weiter</translation>
    </message>
    <message>
        <source>Volume down</source>
        <translation>Leiser</translation>
    </message>
    <message>
        <source>Volume up</source>
        <translation>Lauter</translation>
    </message>
    <message>
        <source>Shuffle</source>
        <translation>Zufallswiedergabe</translation>
    </message>
    <message>
        <source>Repeat</source>
        <translation>Wiederholen</translation>
    </message>
    <message>
        <source>Playlist</source>
        <translation>Wiedergabeliste</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>Hide</source>
        <translation>Ausblenden</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
</context>
<context>
    <name>CommandLine</name>
    <message>
        <source>A remote control for a media player through its httpQ plugin.
Settings are read from Quendra.ini; see quendra(1).</source>
        <translation>Eine Fernbedienung für einen Mediaplayer über dessen httpQ-Plugin.
Die Einstellungen stehen in Quendra.ini; siehe quendra(1).</translation>
    </message>
    <message>
        <source>Show this help and exit.</source>
        <translation>Diese Hilfe zeigen und beenden.</translation>
    </message>
    <message>
        <source>Show the version and exit.</source>
        <translation>Die Version zeigen und beenden.</translation>
    </message>
    <message>
        <source>unexpected argument &apos;%1&apos;.</source>
        <translation>unerwartetes Argument &apos;%1&apos;.</translation>
    </message>
    <message>
        <source>quendra: another copy runs with %1 but does not answer</source>
        <translation>quendra: eine andere Kopie läuft mit %1, antwortet aber nicht</translation>
    </message>
    <message>
        <source>quendra: no display could be opened (DISPLAY or WAYLAND_DISPLAY name one; QT_QPA_PLATFORM chooses the kind, such as xcb or offscreen)</source>
        <translation>quendra: keine Anzeige ließ sich öffnen (DISPLAY oder WAYLAND_DISPLAY nennen eine; QT_QPA_PLATFORM wählt die Art, etwa xcb oder offscreen)</translation>
    </message>
</context>
<context>
    <name>Marquee</name>
    <message>
        <source>No title available yet...</source>
        <translation>Noch kein Titel verfügbar...</translation>
    </message>
</context>
<context>
    <name>MprisBridge</name>
    <message>
        <source>Quendra closed before the player answered</source>
        <translation>Quendra wurde geschlossen, bevor der Player antwortete</translation>
    </message>
    <message>
        <source>Volume takes a number</source>
        <translation>Die Lautstärke ist eine Zahl</translation>
    </message>
    <message>
        <source>The player did not take the volume</source>
        <translation>Der Player hat die Lautstärke nicht übernommen</translation>
    </message>
</context>
<context>
    <name>WebBrowser</name>
    <message>
        <source>Web control needs the browser module, which is not installed: install the package quendra-webbrowser (sudo apt install quendra-webbrowser). Or choose &quot;direct to httpq&quot; in the settings: the gear on the bar&apos;s title strip, or the tray menu&apos;s Settings.</source>
        <translation>Die Websteuerung braucht das Browsermodul, das nicht installiert ist: Installieren Sie das Paket quendra-webbrowser (sudo apt install quendra-webbrowser). Oder wählen Sie „direkt zu httpq“ in den Einstellungen: das Zahnrad in der Titelleiste des Players oder „Einstellungen“ im Menü des Symbols im Systembereich.</translation>
    </message>
    <message>
        <source>No page set yet. In the settings (the gear on the bar&apos;s title strip, or the tray menu&apos;s Settings) enter the addresses of your player&apos;s control and playlist pages, or choose &quot;direct to httpq&quot; with its server, port and password.</source>
        <translation>Noch keine Seite eingestellt. Tragen Sie in den Einstellungen (das Zahnrad in der Titelleiste des Players oder „Einstellungen“ im Menü des Symbols im Systembereich) die Adressen der Steuerungs- und der Playlist-Seite Ihres Players ein, oder wählen Sie „direkt zu httpq“ mit Server, Port und Passwort.</translation>
    </message>
</context>
<context>
    <name>frmSettings</name>
    <message>
        <source>Settings</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>web control</source>
        <translation>Websteuerung</translation>
    </message>
    <message>
        <source>direct to httpq</source>
        <translation>direkt zu httpq</translation>
    </message>
    <message>
        <source>no proxy</source>
        <translation>kein Proxy</translation>
    </message>
    <message>
        <source>automatic</source>
        <translation>automatisch</translation>
    </message>
    <message>
        <source>manual proxy</source>
        <translation>manueller Proxy</translation>
    </message>
    <message>
        <source>Quendra Control URL</source>
        <translation>Steuerungs-URL</translation>
    </message>
    <message>
        <source>Playlist URL</source>
        <translation>Playlist-URL</translation>
    </message>
    <message>
        <source>httpq password</source>
        <translation>httpq-Passwort</translation>
    </message>
    <message>
        <source>Refresh Songtitle (ms)</source>
        <translation>Abfrage alle (ms)</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Speichern</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>httpq server URL</source>
        <translation>httpq-Server-URL</translation>
    </message>
    <message>
        <source>httpq port</source>
        <translation>httpq-Port</translation>
    </message>
    <message>
        <source>Connection type</source>
        <translation>Verbindungsart</translation>
    </message>
    <message>
        <source>Proxy</source>
        <translation>Proxy</translation>
    </message>
</context>
<context>
    <name>frmSystray</name>
    <message>
        <source>Quendra, a remote control for httpQ</source>
        <translation>Quendra, eine Fernbedienung für httpQ</translation>
    </message>
</context>
<context>
    <name>frm_Quendra</name>
    <message>
        <source>no songinfo</source>
        <translation>keine Titelinfo</translation>
    </message>
    <message>
        <source>stereo</source>
        <translation>stereo</translation>
    </message>
    <message>
        <source>No title available yet...</source>
        <translation>Noch kein Titel verfügbar...</translation>
    </message>
    <message>
        <source>Unknown</source>
        <translation>Unbekannt</translation>
    </message>
    <message>
        <source>&amp;Quendra</source>
        <translation>&amp;Quendra</translation>
    </message>
    <message>
        <source>Playlist</source>
        <translation>Wiedergabeliste</translation>
    </message>
    <message>
        <source>&amp;Settings</source>
        <translation>&amp;Einstellungen</translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <translation>&amp;Schließen</translation>
    </message>
    <message>
        <source>ZadAda Doruziz</source>
        <translation>ZadAda Doruziz</translation>
    </message>
    <message>
        <source>Playing</source>
        <translation>Spielt</translation>
    </message>
    <message>
        <source>Paused</source>
        <translation>Pausiert</translation>
    </message>
    <message>
        <source>Stopped</source>
        <translation>Gestoppt</translation>
    </message>
    <message>
        <source>mono</source>
        <translation>mono</translation>
    </message>
    <message>
        <source>Offline</source>
        <translation>Offline</translation>
    </message>
    <message>
        <source>%1: the player cannot be reached</source>
        <translation>%1: Der Player ist nicht erreichbar</translation>
    </message>
    <message>
        <source>Shuffle on</source>
        <translation>Zufallswiedergabe an</translation>
    </message>
    <message>
        <source>Shuffle off</source>
        <translation>Zufallswiedergabe aus</translation>
    </message>
    <message>
        <source>Repeat on</source>
        <translation>Wiederholen an</translation>
    </message>
    <message>
        <source>Repeat off</source>
        <translation>Wiederholen aus</translation>
    </message>
</context>
<context>
    <name>frm_QuendraPlaylist</name>
    <message>
        <source>Playlist</source>
        <translation>Wiedergabeliste</translation>
    </message>
    <message>
        <source>Loading...</source>
        <translation>Wird geladen...</translation>
    </message>
</context>
</TS>
