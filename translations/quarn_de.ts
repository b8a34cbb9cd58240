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
    <name>quarn-flash</name>
    <message>
        <source> (see --help)</source>
        <translation> (siehe --help)</translation>
    </message>
    <message>
        <source>cannot watch for stop signals: %1</source>
        <translation>Stoppsignale können nicht überwacht werden: %1</translation>
    </message>
    <message>
        <source>quarn-flash: stopping every unit</source>
        <translation>quarn-flash: alle Geräte werden gestoppt</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is no port: COM1 to COM%2 or a device path</source>
        <translation>„%1“ ist kein Port: COM1 bis COM%2 oder ein Gerätepfad</translation>
    </message>
    <message>
        <source>--serial wants PORT=SN, not &quot;%1&quot;</source>
        <translation>--serial erwartet PORT=SN, nicht „%1“</translation>
    </message>
    <message>
        <source>--serial %1: %2 is not one of the -p ports</source>
        <translation>--serial %1: %2 ist keiner der Ports von -p</translation>
    </message>
    <message>
        <source>--serial names %1 twice</source>
        <translation>--serial nennt %1 zweimal</translation>
    </message>
    <message>
        <source>more than one INIT given</source>
        <translation>mehr als ein INIT angegeben</translation>
    </message>
    <message>
        <source>no port given (-p PORT)</source>
        <translation>kein Port angegeben (-p PORT)</translation>
    </message>
    <message>
        <source>--serial names one unit; --watch loads many</source>
        <translation>--serial nennt ein Gerät; --watch lädt viele</translation>
    </message>
    <message>
        <source>--max-repeats wants a whole number &gt;= 0, not &quot;%1&quot;</source>
        <translation>--max-repeats erwartet eine ganze Zahl &gt;= 0, nicht „%1“</translation>
    </message>
    <message>
        <source>--log and --no-log together</source>
        <translation>--log und --no-log zusammen</translation>
    </message>
    <message>
        <source>--length wants a number from -32768 to 32767, not &quot;%1&quot;</source>
        <translation>--length erwartet eine Zahl von -32768 bis 32767, nicht „%1“</translation>
    </message>
    <message>
        <source>Invalid Init File %1: %2</source>
        <translation>Ungültige Init-Datei %1: %2</translation>
    </message>
    <message>
        <source>%1 and %2 are the same device (%3)</source>
        <translation>%1 und %2 sind dasselbe Gerät (%3)</translation>
    </message>
    <message>
        <source>Image: </source>
        <translation>Abbild: </translation>
    </message>
    <message>
        <source> %1%  repeats %2</source>
        <translation> %1%  Wiederholungen %2</translation>
    </message>
    <message>
        <source>  %1 B/s  %2 s left</source>
        <translation>  %1 B/s  noch %2 s</translation>
    </message>
    <message>
        <source>%1: %2 of %3 blocks (%4%)</source>
        <translation>%1: %2 von %3 Blöcken (%4%)</translation>
    </message>
    <message>
        <source>port</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>outcome</source>
        <translation>Ergebnis</translation>
    </message>
    <message>
        <source>blocks</source>
        <translation>Blöcke</translation>
    </message>
    <message>
        <source>repeats</source>
        <translation>Wiederh.</translation>
    </message>
    <message>
        <source>seconds</source>
        <translation>Sekunden</translation>
    </message>
    <message>
        <source>standard output failed (%1); records go on to the log only</source>
        <translation>die Standardausgabe versagt (%1); Datensätze gehen nur noch ins Protokoll</translation>
    </message>
    <message>
        <source>: waiting for a unit</source>
        <translation>: wartet auf Gerät</translation>
    </message>
    <message>
        <source>: remove the unit</source>
        <translation>: Gerät entnehmen</translation>
    </message>
    <message>
        <source>quarn-flash: stopping</source>
        <translation>quarn-flash: wird gestoppt</translation>
    </message>
    <message>
        <source>; units are loaded again</source>
        <translation>; Geräte werden wieder geladen</translation>
    </message>
    <message>
        <source>; no unit is loaded until it is approved</source>
        <translation>; kein Gerät wird geladen, bis es freigegeben ist</translation>
    </message>
</context>
<context>
    <name>quarn-records</name>
    <message>
        <source>--length wants a number from -32768 to 32767, not &quot;%1&quot;</source>
        <translation>--length erwartet eine Zahl von -32768 bis 32767, nicht „%1“</translation>
    </message>
    <message>
        <source>Invalid Init File %1: %2</source>
        <translation>Ungültige Init-Datei %1: %2</translation>
    </message>
    <message>
        <source>%1 sends no bytes</source>
        <translation>%1 sendet keine Bytes</translation>
    </message>
    <message>
        <source>%1 by %2 on %3</source>
        <translation>%1 von %2 am %3</translation>
    </message>
    <message>
        <source>approved already (nothing changed)</source>
        <translation>bereits freigegeben (nichts geändert)</translation>
    </message>
    <message>
        <source>%1 on %2 by %3</source>
        <translation>%1 am %2 von %3</translation>
    </message>
    <message>
        <source>revoked already (nothing changed)</source>
        <translation>bereits zurückgezogen (nichts geändert)</translation>
    </message>
    <message>
        <source>quarn-records: %1 (see --help)</source>
        <translation>quarn-records: %1 (siehe --help)</translation>
    </message>
    <message>
        <source>%1 record(s) sent, %2 new; %3 wait</source>
        <translation>%1 Datensatz/Datensätze gesendet, %2 neu; %3 warten</translation>
    </message>
    <message>
        <source>no database: --db, QUARN_DB or [records] database=</source>
        <translation>keine Datenbank: --db, QUARN_DB oder [records] database=</translation>
    </message>
    <message>
        <source>quarn-records: %1; nothing is lost, trying again in %2 s</source>
        <translation>quarn-records: %1; nichts geht verloren, neuer Versuch in %2 s</translation>
    </message>
    <message>
        <source>quarn-records: %1; nothing is lost, push again later</source>
        <translation>quarn-records: %1; nichts geht verloren, später erneut senden</translation>
    </message>
    <message>
        <source>--db or --log, not both</source>
        <translation>--db oder --log, nicht beide</translation>
    </message>
    <message>
        <source>--by takes day, station, file, slot or operator</source>
        <translation>--by nimmt day, station, file, slot oder operator</translation>
    </message>
    <message>
        <source>--since wants a date (2026-12-07), not &quot;%1&quot;</source>
        <translation>--since erwartet ein Datum (2026-12-07), nicht „%1“</translation>
    </message>
    <message>
        <source>--retry wants seconds, not &quot;%1&quot;</source>
        <translation>--retry erwartet Sekunden, nicht „%1“</translation>
    </message>
    <message>
        <source>--%1 is not for %2</source>
        <translation>--%1 gilt nicht für %2</translation>
    </message>
    <message>
        <source>%1 takes %2</source>
        <translation>%1 nimmt %2</translation>
    </message>
    <message>
        <source>%1 takes no arguments</source>
        <translation>%1 nimmt keine Argumente</translation>
    </message>
    <message>
        <source>unknown command &quot;%1&quot;</source>
        <translation>unbekannter Befehl „%1“</translation>
    </message>
    <message>
        <source>Sends quarn-flash&apos;s records to PostgreSQL and reports on them.</source>
        <translation>Sendet die Datensätze von quarn-flash an PostgreSQL und berichtet über sie.</translation>
    </message>
    <message>
        <source>one command: push, report, schema, approve, revoke or images</source>
        <translation>ein Befehl: push, report, schema, approve, revoke oder images</translation>
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
