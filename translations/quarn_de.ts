<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>Outcome</name>
    <message>
        <source>input</source>
        <translation>Eingabe</translation>
    </message>
    <message>
        <source>port</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>handshake</source>
        <translation>Handshake</translation>
    </message>
    <message>
        <source>login</source>
        <translation>Anmeldung</translation>
    </message>
    <message>
        <source>transfer</source>
        <translation>Übertragung</translation>
    </message>
</context>
<context>
    <name>ShiftCounters</name>
    <message>
        <source>good %1 · failed %2 · first pass %3 · %4 per hour</source>
        <translation>gut %1 · fehlerhaft %2 · Erstdurchlauf %3 · %4 pro Stunde</translation>
    </message>
</context>
<context>
    <name>SlotStatus</name>
    <message>
        <source>good</source>
        <translation>gut</translation>
    </message>
    <message>
        <source>stopped</source>
        <translation>gestoppt</translation>
    </message>
    <message>
        <source>failed: %1</source>
        <translation>Fehler: %1</translation>
    </message>
    <message>
        <source>not plugged in</source>
        <translation>nicht eingesteckt</translation>
    </message>
    <message>
        <source>ready</source>
        <translation>bereit</translation>
    </message>
    <message>
        <source>waiting for a unit</source>
        <translation>wartet auf Gerät</translation>
    </message>
    <message>
        <source>remove the unit</source>
        <translation>Gerät entnehmen</translation>
    </message>
    <message>
        <source>scan a serial number</source>
        <translation>Seriennummer scannen</translation>
    </message>
</context>
<context>
    <name>StageText</name>
    <message>
        <source>opening</source>
        <translation>Öffnen</translation>
    </message>
    <message>
        <source>quiet line</source>
        <translation>Leitung ruhig</translation>
    </message>
    <message>
        <source>handshake</source>
        <translation>Handshake</translation>
    </message>
    <message>
        <source>pause</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>login</source>
        <translation>Anmeldung</translation>
    </message>
    <message>
        <source>block %1 of %2</source>
        <translation>Block %1 von %2</translation>
    </message>
    <message>
        <source>done</source>
        <translation>fertig</translation>
    </message>
</context>
<context>
    <name>quarn-station</name>
    <message>
        <source>cannot watch for stop signals: %1</source>
        <translation>Stoppsignale können nicht überwacht werden: %1</translation>
    </message>
    <message>
        <source>Invalid Init File.</source>
        <translation>Ungültige Init-Datei.</translation>
    </message>
</context>
<context>
    <name>quarn::station::SlotTile</name>
    <message>
        <source>Slot %1</source>
        <translation>Slot %1</translation>
    </message>
    <message>
        <source>Serial</source>
        <translation>Seriennummer</translation>
    </message>
    <message>
        <source>serial number</source>
        <translation>Seriennummer</translation>
    </message>
    <message>
        <source>Progress</source>
        <translation>Fortschritt</translation>
    </message>
    <message>
        <source>device: %1
stable name: %2</source>
        <translation>Gerät: %1
fester Name: %2</translation>
    </message>
    <message>
        <source>(not plugged in)</source>
        <translation>(nicht eingesteckt)</translation>
    </message>
    <message>
        <source>Last serial</source>
        <translation>Letzte Seriennummer</translation>
    </message>
    <message>
        <source>Status: %1</source>
        <translation>Status: %1</translation>
    </message>
    <message>
        <source>Explanation</source>
        <translation>Erklärung</translation>
    </message>
    <message>
        <source>Flag</source>
        <translation>Hinweis</translation>
    </message>
    <message>
        <source>this serial number already loaded good this shift</source>
        <translation>diese Seriennummer wurde in dieser Schicht schon erfolgreich geladen</translation>
    </message>
    <message>
        <source>Repeats</source>
        <translation>Wiederholungen</translation>
    </message>
    <message>
        <source>Time left</source>
        <translation>Restzeit</translation>
    </message>
    <message>
        <source>%1 s</source>
        <translation>%1 s</translation>
    </message>
</context>
<context>
    <name>quarn::station::StationModel</name>
    <message>
        <source>the database has not taken the records: %1</source>
        <translation>die Datenbank hat die Datensätze nicht angenommen: %1</translation>
    </message>
</context>
<context>
    <name>quarn::station::StationWindow</name>
    <message>
        <source>Station %1</source>
        <translation>Station %1</translation>
    </message>
    <message>
        <source>Station %1 · operator %2</source>
        <translation>Station %1 · Bediener %2</translation>
    </message>
    <message>
        <source>Start all</source>
        <translation>Alle starten</translation>
    </message>
    <message>
        <source>Start failed again</source>
        <translation>Fehlgeschlagene neu starten</translation>
    </message>
    <message>
        <source>Stop all</source>
        <translation>Alle stoppen</translation>
    </message>
    <message>
        <source>Auto-start</source>
        <translation>Autostart</translation>
    </message>
    <message>
        <source>%1; no unit starts until it can be written</source>
        <translation>%1; kein Gerät startet, bis es wieder beschrieben werden kann</translation>
    </message>
    <message>
        <source>no log</source>
        <translation>kein Protokoll</translation>
    </message>
    <message>
        <source>log: %1</source>
        <translation>Protokoll: %1</translation>
    </message>
    <message>
        <source>1 record waits for the database</source>
        <translation>1 Datensatz wartet auf die Datenbank</translation>
    </message>
    <message>
        <source>%1 records wait for the database</source>
        <translation>%1 Datensätze warten auf die Datenbank</translation>
    </message>
    <message>
        <source>records: all in the database</source>
        <translation>Datensätze: alle in der Datenbank</translation>
    </message>
    <message>
        <source>Records: %1</source>
        <translation>Datensätze: %1</translation>
    </message>
    <message>
        <source>%1 (%2)</source>
        <translation>%1 (%2)</translation>
    </message>
    <message>
        <source>Counters: %1</source>
        <translation>Zähler: %1</translation>
    </message>
    <message>
        <source>1 record could not be written to the log and would be lost. Quit?</source>
        <translation>1 Datensatz konnte nicht ins Protokoll geschrieben werden und ginge verloren. Beenden?</translation>
    </message>
    <message>
        <source>%1 records could not be written to the log and would be lost. Quit?</source>
        <translation>%1 Datensätze konnten nicht ins Protokoll geschrieben werden und gingen verloren. Beenden?</translation>
    </message>
    <message>
        <source>Units are still loading. Stop them and quit?</source>
        <translation>Es werden noch Geräte geladen. Anhalten und beenden?</translation>
    </message>
    <message>
        <source>Every running session stops as Cancel does; its record says interrupted and the unit must be loaded again.</source>
        <translation>Jede laufende Sitzung endet wie mit Abbrechen; ihr Datensatz lautet „interrupted“, und das Gerät muss erneut geladen werden.</translation>
    </message>
    <message>
        <source>Image: %1</source>
        <translation>Abbild: %1</translation>
    </message>
</context>
</TS>
