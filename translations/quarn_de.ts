<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>Approval</name>
    <message>
        <source>checking the approved list</source>
        <translation>Freigabeliste wird geprüft</translation>
    </message>
    <message>
        <source>approval not required</source>
        <translation>keine Freigabe nötig</translation>
    </message>
    <message>
        <source>not approved (%1)</source>
        <translation>nicht freigegeben (%1)</translation>
    </message>
    <message>
        <source>the image %1 (%2, %3 bytes) is not approved</source>
        <translation>das Abbild %1 (%2, %3 Bytes) ist nicht freigegeben</translation>
    </message>
    <message>
        <source>the image %1 (%2, %3 bytes) was revoked on %4 by %5</source>
        <translation>das Abbild %1 (%2, %3 Bytes) wurde am %4 von %5 zurückgezogen</translation>
    </message>
    <message>
        <source>the image %1 (%2, %3 bytes) cannot be approved: %4</source>
        <translation>die Freigabe des Abbilds %1 (%2, %3 Bytes) lässt sich nicht feststellen: %4</translation>
    </message>
    <message>
        <source>%1, %2 bytes, sha256 %3: %4</source>
        <translation>%1, %2 Bytes, sha256 %3: %4</translation>
    </message>
    <message>
        <source>cannot keep the approved list in %1: %2</source>
        <translation>die Freigabeliste kann nicht in %1 abgelegt werden: %2</translation>
    </message>
    <message>
        <source>no copy of the approved list (%1)</source>
        <translation>keine Kopie der Freigabeliste (%1)</translation>
    </message>
    <message>
        <source>the copy of the approved list %1 is damaged</source>
        <translation>die Kopie der Freigabeliste %1 ist beschädigt</translation>
    </message>
    <message>
        <source>not approved</source>
        <translation>nicht freigegeben</translation>
    </message>
    <message>
        <source>approved by %1 on %2</source>
        <translation>freigegeben von %1 am %2</translation>
    </message>
    <message>
        <source>revoked on %1 by %2</source>
        <translation>zurückgezogen am %1 von %2</translation>
    </message>
    <message>
        <source>no database is configured</source>
        <translation>keine Datenbank eingerichtet</translation>
    </message>
    <message>
        <source>%1, and %2</source>
        <translation>%1, und %2</translation>
    </message>
    <message>
        <source>; approved list of %1 (database unreachable)</source>
        <translation>; Freigabeliste vom %1 (Datenbank nicht erreichbar)</translation>
    </message>
    <message>
        <source>%1 on %2 port %3</source>
        <translation>%1 auf %2 Port %3</translation>
    </message>
    <message>
        <source>the default host</source>
        <translation>dem voreingestellten Host</translation>
    </message>
    <message>
        <source>the approved list of %1 names no database</source>
        <translation>die Freigabeliste von %1 nennt keine Datenbank</translation>
    </message>
    <message>
        <source>the approved list of %1 is of %2, not of %3</source>
        <translation>die Freigabeliste von %1 gehört zu %2, nicht zu %3</translation>
    </message>
    <message>
        <source>the approved list of %1 is dated after this computer&apos;s time</source>
        <translation>die Freigabeliste von %1 ist nach der Uhrzeit dieses Rechners datiert</translation>
    </message>
    <message>
        <source>the approved list of %1 is older than the offline limit (%2 s)</source>
        <translation>die Freigabeliste von %1 ist älter als die Offline-Grenze (%2 s)</translation>
    </message>
    <message>
        <source>the offline limit is 0 s: no copy of the approved list decides</source>
        <translation>die Offline-Grenze ist 0 s: keine Kopie der Freigabeliste entscheidet</translation>
    </message>
</context>
<context>
    <name>Archive</name>
    <message>
        <source>archive wants a month (2026-01), not &quot;%1&quot;</source>
        <translation>archive erwartet einen Monat (2026-01), nicht &quot;%1&quot;</translation>
    </message>
    <message>
        <source>quarn_sessions has no partition %1 (archived already, or no record of %2 came)</source>
        <translation>quarn_sessions hat keine Partition %1 (schon archiviert, oder kein Datensatz von %2 kam)</translation>
    </message>
    <message>
        <source>%1 detached: %2 row(s) of %3 left quarn_sessions and its summaries in %4 s</source>
        <translation>%1 abgetrennt: %2 Zeile(n) von %3 haben quarn_sessions und seine Zusammenfassungen in %4 s verlassen</translation>
    </message>
    <message>
        <source>to keep it in a file, as the owner: pg_dump -t %1 DATABASE &gt; %1.sql; then DROP TABLE %1</source>
        <translation>um sie in einer Datei aufzubewahren, als Eigentümer: pg_dump -t %1 DATABASE &gt; %1.sql; danach DROP TABLE %1</translation>
    </message>
</context>
<context>
    <name>Connection</name>
    <message>
        <source>reading the approved list</source>
        <translation>das Lesen der Freigabeliste</translation>
    </message>
    <message>
        <source>%1 or %2</source>
        <translation>%1 oder %2</translation>
    </message>
    <message>
        <source>approving</source>
        <translation>das Freigeben</translation>
    </message>
    <message>
        <source>revoking</source>
        <translation>das Zurückziehen</translation>
    </message>
    <message>
        <source>pushing</source>
        <translation>das Senden der Datensätze</translation>
    </message>
    <message>
        <source>making the missing part of the schema</source>
        <translation>das Anlegen des fehlenden Teils des Schemas</translation>
    </message>
    <message>
        <source>that owns it (quarn-records schema | psql)</source>
        <translation>seines Eigentümers (quarn-records schema | psql)</translation>
    </message>
    <message>
        <source>Qt&apos;s PostgreSQL driver is not installed (Debian: libqt6sql6-psql)</source>
        <translation>Qts PostgreSQL-Treiber ist nicht installiert (Debian: libqt6sql6-psql)</translation>
    </message>
    <message>
        <source>cannot reach the database: %1</source>
        <translation>die Datenbank ist nicht erreichbar: %1</translation>
    </message>
    <message>
        <source>the database is busy: %1</source>
        <translation>die Datenbank ist belegt: %1</translation>
    </message>
    <message>
        <source>the database refused, no permission: %1</source>
        <translation>die Datenbank lehnte ab, keine Berechtigung: %1</translation>
    </message>
    <message>
        <source>lost the database: %1</source>
        <translation>Verbindung zur Datenbank verloren: %1</translation>
    </message>
    <message>
        <source>the database refused: %1</source>
        <translation>die Datenbank lehnte ab: %1</translation>
    </message>
    <message>
        <source>the database refused the login of %1: %2</source>
        <translation>die Datenbank lehnte die Anmeldung von %1 ab: %2</translation>
    </message>
    <message>
        <source>the database refused the connection: %1</source>
        <translation>die Datenbank lehnte die Verbindung ab: %1</translation>
    </message>
    <message>
        <source>the database has no quarn_images table: apply `quarn-records schema` as its owner</source>
        <translation>die Datenbank hat keine Tabelle quarn_images: `quarn-records schema` als ihr Eigentümer anwenden</translation>
    </message>
    <message>
        <source>not permitted: %1 needs the role %2</source>
        <translation>nicht erlaubt: %1 braucht die Rolle %2</translation>
    </message>
    <message>
        <source>reporting</source>
        <translation>der Bericht</translation>
    </message>
    <message>
        <source>migrating quarn_sessions</source>
        <translation>das Umziehen von quarn_sessions</translation>
    </message>
    <message>
        <source>that owns it</source>
        <translation>ihres Eigentümers</translation>
    </message>
    <message>
        <source>tracing</source>
        <translation>das Verfolgen einer Einheit</translation>
    </message>
    <message>
        <source>listing units</source>
        <translation>das Auflisten von Einheiten</translation>
    </message>
    <message>
        <source>servicing a socket</source>
        <translation>das Warten eines Sockels</translation>
    </message>
    <message>
        <source>reading</source>
        <translation>das Lesen</translation>
    </message>
    <message>
        <source>archiving a month</source>
        <translation>das Archivieren eines Monats</translation>
    </message>
    <message>
        <source>that owns quarn_sessions</source>
        <translation>des Eigentümers von quarn_sessions</translation>
    </message>
    <message>
        <source>the database has no schema: apply `quarn-records schema` as its owner</source>
        <translation>die Datenbank hat kein Schema: `quarn-records schema` als ihr Eigentümer anwenden</translation>
    </message>
</context>
<context>
    <name>DownloadSession</name>
    <message>
        <source> at block %1 of %2</source>
        <translation> bei Block %1 von %2</translation>
    </message>
    <message>
        <source>Cannot open %1: %2</source>
        <translation>%1 lässt sich nicht öffnen: %2</translation>
    </message>
    <message>
        <source>The download was stopped%1.</source>
        <translation>Das Laden wurde angehalten%1.</translation>
    </message>
    <message>
        <source>The unit refused block %1 of %2 %3 times in a row.</source>
        <translation>Das Gerät hat Block %1 von %2 %3-mal in Folge abgelehnt.</translation>
    </message>
    <message>
        <source>The unit refused or answered wrongly%1 (last reply %2).</source>
        <translation>Das Gerät lehnte ab oder antwortete falsch%1 (letzte Antwort %2).</translation>
    </message>
    <message>
        <source>The port was lost%1: %2.</source>
        <translation>Der Port ging verloren%1: %2.</translation>
    </message>
    <message>
        <source>No reply from the unit within %1 s%2.</source>
        <translation>Keine Antwort vom Gerät innerhalb von %1 s%2.</translation>
    </message>
</context>
<context>
    <name>FrontDoor</name>
    <message>
        <source> (see --help)</source>
        <translation> (siehe --help)</translation>
    </message>
</context>
<context>
    <name>LogReader</name>
    <message>
        <source>not an object</source>
        <translation>kein Objekt</translation>
    </message>
    <message>
        <source>the id is no UUID</source>
        <translation>die id ist keine UUID</translation>
    </message>
    <message>
        <source>cannot read the log %1: %2</source>
        <translation>das Protokoll %1 kann nicht gelesen werden: %2</translation>
    </message>
    <message>
        <source>%1 line %2: damaged record skipped (%3)</source>
        <translation>%1 Zeile %2: beschädigter Datensatz übersprungen (%3)</translation>
    </message>
</context>
<context>
    <name>Migrate</name>
    <message>
        <source>done: %1 row(s) moved in %2 s</source>
        <translation>fertig: %1 Zeile(n) in %2 s umgezogen</translation>
    </message>
    <message>
        <source>the plant&apos;s own columns go over with their values: %1</source>
        <translation>die eigenen Spalten des Werks ziehen mit ihren Werten um: %1</translation>
    </message>
    <message>
        <source>quarn_sessions: %1 row(s) in %2 month(s) (%3 to %4), made by an earlier version (the database has no ledger of its schema)</source>
        <translation>quarn_sessions: %1 Zeile(n) in %2 Monat(en) (%3 bis %4), von einer früheren Version angelegt (die Datenbank führt kein Verzeichnis ihres Schemas)</translation>
    </message>
    <message>
        <source>in one transaction, the table locked meanwhile (pushes end as busy and send later):
  set its tables aside; make this version&apos;s schema (migrations %1 to %2) and its
  ledger; copy every row as it is (ids, first_pass, the server&apos;s stamps), the
  approved list and the sockets&apos; service log; give the new tables and view the old
  ones&apos; grants; count the summaries from the rows; drop the old tables</source>
        <translation>in einer Transaktion, die Tabelle so lange gesperrt (Sendevorgänge enden als ausgelastet und senden später):
  ihre Tabellen beiseitestellen; das Schema dieser Version (Migrationen %1 bis %2) und sein
  Verzeichnis anlegen; jede Zeile unverändert kopieren (IDs, first_pass, die Stempel des
  Servers), die Freigabeliste und das Wartungsprotokoll der Sockel; den neuen Tabellen und der
  View die Rechte der alten geben; die Zusammenfassungen aus den Zeilen zählen; die alten Tabellen löschen</translation>
    </message>
    <message>
        <source>applying %1</source>
        <translation>wende %1 an</translation>
    </message>
    <message>
        <source>the database&apos;s ledger names %1, which this program&apos;s files do not have as it was applied (changed since, or of a later version): nothing was changed</source>
        <translation>das Verzeichnis der Datenbank nennt %1, das die Dateien dieses Programms nicht so haben, wie es angewandt wurde (seitdem geändert, oder von einer späteren Version): nichts wurde geändert</translation>
    </message>
    <message>
        <source>the schema is up to date (version %1, %2): no migration to apply</source>
        <translation>das Schema ist aktuell (Version %1, %2): keine Migration anzuwenden</translation>
    </message>
    <message>
        <source>done: %1 applied in %2 s; the schema is at version %3</source>
        <translation>fertig: %1 in %2 s angewandt; das Schema hat Version %3</translation>
    </message>
    <message>
        <source>the database was made by an earlier version of Quarn Download: its owner brings it up to date with `quarn-records migrate`</source>
        <translation>die Datenbank wurde von einer früheren Version von Quarn Download angelegt: ihr Eigentümer bringt sie mit `quarn-records migrate` auf den neuesten Stand</translation>
    </message>
    <message>
        <source>the database&apos;s schema is at version %1, this program&apos;s at %2: its owner brings it up to date with `quarn-records migrate`</source>
        <translation>das Schema der Datenbank hat Version %1, das dieses Programms %2: ihr Eigentümer bringt sie mit `quarn-records migrate` auf den neuesten Stand</translation>
    </message>
</context>
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
    <name>Push</name>
    <message>
        <source>cannot record how far %1 is sent: %2</source>
        <translation>es lässt sich nicht festhalten, wie weit %1 gesendet ist: %2</translation>
    </message>
    <message>
        <source>%1 line %2: refused by the database (%3); kept in %4</source>
        <translation>%1 Zeile %2: von der Datenbank abgelehnt (%3); aufbewahrt in %4</translation>
    </message>
    <message>
        <source>cannot keep a refused line in %1: %2</source>
        <translation>eine abgelehnte Zeile lässt sich nicht in %1 aufbewahren: %2</translation>
    </message>
    <message>
        <source>another push of %1 is running; it sends these records</source>
        <translation>ein anderer Sendevorgang für %1 läuft; er sendet diese Datensätze</translation>
    </message>
    <message>
        <source>cannot start the push: %1</source>
        <translation>der Sendevorgang kann nicht starten: %1</translation>
    </message>
    <message>
        <source>%1: %2 record(s) wait for the database; %3</source>
        <translation>%1: %2 Datensatz/Datensätze warten auf die Datenbank; %3</translation>
    </message>
    <message>
        <source>sending them in the background</source>
        <translation>sie werden im Hintergrund gesendet</translation>
    </message>
    <message>
        <source>quarn-records is not installed to send them</source>
        <translation>quarn-records ist nicht installiert, um sie zu senden</translation>
    </message>
    <message>
        <source>the database driver gives no PostgreSQL connection to send on</source>
        <translation>der Datenbanktreiber liefert keine PostgreSQL-Verbindung zum Senden</translation>
    </message>
</context>
<context>
    <name>RecordLog</name>
    <message>
        <source>cannot write the log %1: its folder cannot be made (%2)</source>
        <translation>das Protokoll %1 kann nicht geschrieben werden: sein Ordner lässt sich nicht anlegen (%2)</translation>
    </message>
    <message>
        <source>line %1 of %2 was cut short (power lost?); it is kept as it is and skipped by the push</source>
        <translation>Zeile %1 von %2 wurde abgeschnitten (Stromausfall?); sie bleibt, wie sie ist, und wird beim Senden übersprungen</translation>
    </message>
    <message>
        <source>cannot write the log %1: %2</source>
        <translation>das Protokoll %1 kann nicht geschrieben werden: %2</translation>
    </message>
</context>
<context>
    <name>RecordWriter</name>
    <message>
        <source>%1; the records it did not take follow (%2)</source>
        <translation>%1; die Datensätze, die es nicht aufnahm, folgen (%2)</translation>
    </message>
</context>
<context>
    <name>RetestLimit</name>
    <message>
        <source>attempts from the database</source>
        <translation>Versuche laut Datenbank</translation>
    </message>
    <message>
        <source>attempts from the local log</source>
        <translation>Versuche laut lokalem Protokoll</translation>
    </message>
    <message>
        <source>attempts from the local log: database unreachable</source>
        <translation>Versuche laut lokalem Protokoll: Datenbank nicht erreichbar</translation>
    </message>
    <message>
        <source>attempts from the local log: %1</source>
        <translation>Versuche laut lokalem Protokoll: %1</translation>
    </message>
    <message>
        <source>retest limit: to repair</source>
        <translation>Grenze: zur Reparatur</translation>
    </message>
    <message>
        <source>%1 attempts</source>
        <translation>%1 Versuche</translation>
    </message>
</context>
<context>
    <name>ShiftCounters</name>
    <message>
        <source>good %1 · failed %2 · first pass %3 · second pass %4 · final %5 · %6 per hour</source>
        <translation>gut %1 · fehlerhaft %2 · Erstdurchlauf %3 · Zweitdurchlauf %4 · endgültig %5 · %6 pro Stunde</translation>
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
        <source>remove the unit (%1 s)</source>
        <translation>Gerät entnehmen (%1 s)</translation>
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
    <name>Unit</name>
    <message>
        <source>Stopped before the session began.</source>
        <translation>Angehalten, bevor die Sitzung begann.</translation>
    </message>
</context>
<context>
    <name>quarn-flash</name>
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
    <message>
        <source>
Exit status:
  0    every unit loaded good
  1    usage or input error (bad option, a port named twice, COM0 or COM5,
       unreadable or invalid Init.txt, missing, short or unreadable
       download file); nothing was sent to any unit
  2    the port could not be opened
  3    the handshake failed
  4    the login failed
  5    the transfer failed
  6    several units, and not all of them loaded good
  7    a record could not be written to the log (every unit loaded good)
  8    the image is not on the approved list, or was revoked (--approved-only
       or [images] require-approved=true); nothing was sent to any unit
  9    one unit, held by the retest limit (--max-attempts): retest limit: to
       repair; nothing was sent to it
  130  stopped by SIGINT, SIGTERM or SIGHUP
</source>
        <translation>
Exit-Status:
  0    jedes Gerät mit dem Ergebnis good geladen
  1    Aufruf- oder Eingabefehler (input): falsche Option, ein Port zweimal,
       COM0 oder COM5, Init.txt unlesbar oder ungültig, Download-Datei fehlt,
       ist zu kurz oder unlesbar; an kein Gerät wurde etwas gesendet
  2    der Port ließ sich nicht öffnen (port)
  3    der Handshake schlug fehl (handshake)
  4    die Anmeldung schlug fehl (login)
  5    die Übertragung schlug fehl (transfer)
  6    mehrere Geräte, und nicht alle mit dem Ergebnis good geladen
  7    ein Datensatz konnte nicht ins Protokoll geschrieben werden (jedes
       Gerät mit dem Ergebnis good geladen)
  8    das Abbild steht nicht auf der Freigabeliste oder wurde zurückgezogen
       (--approved-only oder [images] require-approved=true); an kein Gerät
       wurde etwas gesendet
  9    ein Gerät, von der Wiederholgrenze zurückgehalten (--max-attempts):
       zur Reparatur; an das Gerät wurde nichts gesendet
  130  gestoppt durch SIGINT, SIGTERM oder SIGHUP (interrupted)
</translation>
    </message>
    <message>
        <source>COM1 to COM4 or a device path; repeat for several units.</source>
        <translation>COM1 bis COM4 oder ein Gerätepfad; für mehrere Geräte wiederholen.</translation>
    </message>
    <message>
        <source>Load FILE instead of Init.txt&apos;s download file.</source>
        <translation>FILE statt der Download-Datei aus Init.txt laden.</translation>
    </message>
    <message>
        <source>Use N instead of Init.txt&apos;s Download_length.</source>
        <translation>N statt Download_length aus Init.txt verwenden.</translation>
    </message>
    <message>
        <source>One JSON object per unit on standard output.</source>
        <translation>Ein JSON-Objekt je Gerät auf der Standardausgabe.</translation>
    </message>
    <message>
        <source>Append each unit&apos;s record to FILE (default:
$XDG_STATE_HOME/quarn-download/sessions.jsonl).</source>
        <translation>Den Datensatz jedes Geräts an FILE anhängen (Vorgabe:
$XDG_STATE_HOME/quarn-download/sessions.jsonl).</translation>
    </message>
    <message>
        <source>Write no log.</source>
        <translation>Kein Protokoll schreiben.</translation>
    </message>
    <message>
        <source>A block refused N times in a row fails the unit (0: never).</source>
        <translation>Ein N-mal hintereinander abgelehnter Block lässt das Gerät scheitern (0: nie).</translation>
    </message>
    <message>
        <source>No progress and no summary.</source>
        <translation>Kein Fortschritt und keine Zusammenfassung.</translation>
    </message>
    <message>
        <source>Keep listening on every port: load each unit that
answers, once, until SIGINT, SIGTERM or SIGHUP.</source>
        <translation>An jedem Port weiter lauschen: jedes Gerät, das antwortet,
einmal laden, bis SIGINT, SIGTERM oder SIGHUP.</translation>
    </message>
    <message>
        <source>List the serial ports and their COM numbers.</source>
        <translation>Die seriellen Ports und ihre COM-Nummern auflisten.</translation>
    </message>
    <message>
        <source>The station&apos;s name in records (default: host name).</source>
        <translation>Name der Station in den Datensätzen (Vorgabe: Hostname).</translation>
    </message>
    <message>
        <source>Who runs the station, for records.</source>
        <translation>Wer die Station bedient, für die Datensätze.</translation>
    </message>
    <message>
        <source>The serial number of the unit on PORT; repeatable.</source>
        <translation>Die Seriennummer des Geräts an PORT; wiederholbar.</translation>
    </message>
    <message>
        <source>Load only an image on the database&apos;s approved list (exit 8 if not).</source>
        <translation>Nur ein Abbild von der Freigabeliste der Datenbank laden (sonst Exit-Status 8).</translation>
    </message>
    <message>
        <source>Show the version.</source>
        <translation>Version anzeigen.</translation>
    </message>
    <message>
        <source>Show this help.</source>
        <translation>Diese Hilfe anzeigen.</translation>
    </message>
    <message>
        <source>Loads the download file into one unit or several at once, each port one unit.
INIT is an Init.txt or the folder that holds it (default: Init.txt here).</source>
        <translation>Lädt die Download-Datei in ein Gerät oder mehrere zugleich, je Port ein Gerät.
INIT ist eine Init.txt oder der Ordner, der sie enthält (Vorgabe: Init.txt hier).</translation>
    </message>
    <message>
        <source>Init.txt or its folder.</source>
        <translation>Init.txt oder ihr Ordner.</translation>
    </message>
    <message>
        <source>A serial number that failed N times is held for repair
(0: no limit; default: [station] max-attempts, 3).</source>
        <translation>Eine Seriennummer, die N-mal fehlschlug, wird zur Reparatur zurückgehalten
(0: keine Grenze; Vorgabe: [station] max-attempts, 3).</translation>
    </message>
    <message>
        <source>--max-attempts wants a whole number &gt;= 0, not &quot;%1&quot;</source>
        <translation>--max-attempts erwartet eine ganze Zahl &gt;= 0, nicht „%1“</translation>
    </message>
</context>
<context>
    <name>quarn-plant</name>
    <message>
        <source>figures of %1</source>
        <translation>Zahlen von %1</translation>
    </message>
    <message>
        <source>no figures yet</source>
        <translation>noch keine Zahlen</translation>
    </message>
    <message>
        <source>connecting to the database</source>
        <translation>Verbindung zur Datenbank wird aufgebaut</translation>
    </message>
    <message>
        <source>live: new records show as they arrive; %1</source>
        <translation>live: neue Datensätze erscheinen, sobald sie eintreffen; %1</translation>
    </message>
    <message>
        <source>polling every %1 s (%2); %3</source>
        <translation>Abfrage alle %1 s (%2); %3</translation>
    </message>
    <message>
        <source>database away since %1 (%2); %3; reconnecting</source>
        <translation>Datenbank weg seit %1 (%2); %3; neue Verbindung wird versucht</translation>
    </message>
    <message>
        <source>no display (DISPLAY and WAYLAND_DISPLAY are not set): the window cannot be shown; quarn-records report reads the same figures without one</source>
        <translation>keine Anzeige (DISPLAY und WAYLAND_DISPLAY sind nicht gesetzt): das Fenster kann nicht gezeigt werden; quarn-records report liest dieselben Zahlen ohne Anzeige</translation>
    </message>
    <message>
        <source>Yield per hour</source>
        <translation>Ausbeute je Stunde</translation>
    </message>
    <message>
        <source>Failures by cause</source>
        <translation>Fehler nach Ursache</translation>
    </message>
    <message>
        <source>Sockets</source>
        <translation>Sockel</translation>
    </message>
    <message>
        <source>hour</source>
        <translation>Stunde</translation>
    </message>
    <message>
        <source>first-pass yield %</source>
        <translation>Erstdurchlauf-Ausbeute %</translation>
    </message>
    <message>
        <source>failures</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>other</source>
        <translation>sonstige</translation>
    </message>
    <message>
        <source>cumulative %</source>
        <translation>kumuliert %</translation>
    </message>
    <message>
        <source>quiet for %1 min</source>
        <translation>still seit %1 min</translation>
    </message>
    <message>
        <source>%1 min ago</source>
        <translation>vor %1 min</translation>
    </message>
    <message>
        <source>%1 at %2</source>
        <translation>%1 um %2</translation>
    </message>
    <message>
        <source>none</source>
        <translation>keiner</translation>
    </message>
    <message>
        <source>Last hour</source>
        <translation>Letzte Stunde</translation>
    </message>
    <message>
        <source>Good today</source>
        <translation>Gut heute</translation>
    </message>
    <message>
        <source>Failed today</source>
        <translation>Fehlerhaft heute</translation>
    </message>
    <message>
        <source>Yield</source>
        <translation>Ausbeute</translation>
    </message>
    <message>
        <source>Last failure</source>
        <translation>Letzter Fehler</translation>
    </message>
    <message>
        <source>Last record</source>
        <translation>Letzter Datensatz</translation>
    </message>
    <message>
        <source>The plant at a glance: each station&apos;s figures, yield per hour, failures by
cause and failing sockets, from the records&apos; database, updated as records
arrive.</source>
        <translation>Das Werk auf einen Blick: die Zahlen jeder Station, Ausbeute je Stunde, Fehler
nach Ursache und auffällige Sockel, aus der Datenbank der Datensätze,
aktualisiert, sobald Datensätze eintreffen.</translation>
    </message>
    <message>
        <source>The database (PostgreSQL URL); default: QUARN_DB,
else [records] database= of the settings file.</source>
        <translation>Die Datenbank (PostgreSQL-URL); Vorgabe: QUARN_DB,
sonst [records] database= der Einstellungsdatei.</translation>
    </message>
    <message>
        <source>Show the records started on or after DATE (2026-12-07).</source>
        <translation>Die Datensätze zeigen, die am oder nach DATE (2026-12-07) begannen.</translation>
    </message>
    <message>
        <source>Show the version.</source>
        <translation>Die Version zeigen.</translation>
    </message>
    <message>
        <source>Show this help.</source>
        <translation>Diese Hilfe zeigen.</translation>
    </message>
    <message>
        <source>unexpected argument &quot;%1&quot;</source>
        <translation>unerwartetes Argument „%1“</translation>
    </message>
    <message>
        <source>--since wants a date (2026-12-07), not &quot;%1&quot;</source>
        <translation>--since erwartet ein Datum (2026-12-07), nicht „%1“</translation>
    </message>
    <message>
        <source>no database: --db, QUARN_DB or [records] database=</source>
        <translation>keine Datenbank: --db, QUARN_DB oder [records] database=</translation>
    </message>
    <message>
        <source>notifications do not arrive</source>
        <translation>Benachrichtigungen kommen nicht an</translation>
    </message>
    <message>
        <source>LISTEN refused: %1</source>
        <translation>LISTEN abgelehnt: %1</translation>
    </message>
    <message>
        <source>the connection closed</source>
        <translation>die Verbindung wurde geschlossen</translation>
    </message>
    <message>
        <source>per 100 sessions</source>
        <translation>je 100 Sitzungen</translation>
    </message>
    <message>
        <source>block repeats</source>
        <translation>Blockwiederholungen</translation>
    </message>
    <message>
        <source>failed</source>
        <translation>fehlerhaft</translation>
    </message>
    <message>
        <source>repeats</source>
        <translation>Wiederholungen</translation>
    </message>
    <message>
        <source>service</source>
        <translation>Wartung</translation>
    </message>
    <message>
        <source>check: %1</source>
        <translation>prüfen: %1</translation>
    </message>
    <message>
        <source>%1 since service</source>
        <translation>%1 seit Wartung</translation>
    </message>
    <message>
        <source>Second pass</source>
        <translation>Zweiter Durchlauf</translation>
    </message>
    <message>
        <source>Final</source>
        <translation>Endausbeute</translation>
    </message>
</context>
<context>
    <name>quarn-plant-web</name>
    <message>
        <source>cannot listen on %1: %2</source>
        <translation>kann nicht auf %1 lauschen: %2</translation>
    </message>
    <message>
        <source>serving %1</source>
        <translation>bedient %1</translation>
    </message>
    <message>
        <source>Quarn Plant</source>
        <translation>Quarn Plant</translation>
    </message>
    <message>
        <source>Plant</source>
        <translation>Werk</translation>
    </message>
    <message>
        <source>%1 units</source>
        <translation>%1 Einheiten</translation>
    </message>
    <message>
        <source>live</source>
        <translation>live</translation>
    </message>
    <message>
        <source>polling: %1</source>
        <translation>Abfrage: %1</translation>
    </message>
    <message>
        <source>database away since %1; the figures are of %2</source>
        <translation>Datenbank weg seit %1; die Zahlen sind von %2</translation>
    </message>
    <message>
        <source>the service cannot be reached since %1; the figures are of %2</source>
        <translation>der Dienst ist seit %1 nicht erreichbar; die Zahlen sind von %2</translation>
    </message>
    <message>
        <source>times in %1</source>
        <translation>Zeiten in %1</translation>
    </message>
    <message>
        <source>CSV</source>
        <translation>CSV</translation>
    </message>
    <message>
        <source>Sessions that failed: %1</source>
        <translation>Fehlgeschlagene Sitzungen: %1</translation>
    </message>
    <message>
        <source>Sessions of %1 at %2</source>
        <translation>Sitzungen von %1 an %2</translation>
    </message>
    <message>
        <source>Sessions of %1 in the hour from %2</source>
        <translation>Sitzungen von %1 in der Stunde ab %2</translation>
    </message>
    <message>
        <source>more</source>
        <translation>mehr</translation>
    </message>
    <message>
        <source>close</source>
        <translation>schließen</translation>
    </message>
    <message>
        <source>Serial number</source>
        <translation>Seriennummer</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>Öffnen</translation>
    </message>
    <message>
        <source>Unit %1</source>
        <translation>Einheit %1</translation>
    </message>
    <message>
        <source>no records of %1</source>
        <translation>keine Datensätze von %1</translation>
    </message>
    <message>
        <source>time</source>
        <translation>Zeit</translation>
    </message>
    <message>
        <source>station</source>
        <translation>Station</translation>
    </message>
    <message>
        <source>socket</source>
        <translation>Sockel</translation>
    </message>
    <message>
        <source>image</source>
        <translation>Abbild</translation>
    </message>
    <message>
        <source>title</source>
        <translation>Titel</translation>
    </message>
    <message>
        <source>approved</source>
        <translation>freigegeben</translation>
    </message>
    <message>
        <source>server</source>
        <translation>Server</translation>
    </message>
    <message>
        <source>outcome</source>
        <translation>Ergebnis</translation>
    </message>
    <message>
        <source>stage</source>
        <translation>Stufe</translation>
    </message>
    <message>
        <source>seconds</source>
        <translation>Sekunden</translation>
    </message>
    <message>
        <source>operator</source>
        <translation>Bediener</translation>
    </message>
    <message>
        <source>pushed by</source>
        <translation>gesendet von</translation>
    </message>
    <message>
        <source>serial</source>
        <translation>Seriennummer</translation>
    </message>
    <message>
        <source>message</source>
        <translation>Meldung</translation>
    </message>
    <message>
        <source>sessions</source>
        <translation>Sitzungen</translation>
    </message>
    <message>
        <source>since service</source>
        <translation>seit Wartung</translation>
    </message>
    <message>
        <source>flagged for</source>
        <translation>markiert wegen</translation>
    </message>
    <message>
        <source>yes</source>
        <translation>ja</translation>
    </message>
    <message>
        <source>no</source>
        <translation>nein</translation>
    </message>
    <message>
        <source>first pass</source>
        <translation>im ersten Durchlauf</translation>
    </message>
    <message>
        <source>passed on attempt %1</source>
        <translation>bestanden im %1. Versuch</translation>
    </message>
    <message>
        <source>held at the retest limit</source>
        <translation>an der Wiederholgrenze zurückgehalten</translation>
    </message>
    <message>
        <source>failing (%1 attempts)</source>
        <translation>fehlerhaft (%1 Versuche)</translation>
    </message>
    <message>
        <source>no attempt</source>
        <translation>kein Versuch</translation>
    </message>
    <message>
        <source>passed only after moving from %1 at %2 to %3 at %4: check that socket</source>
        <translation>erst nach dem Wechsel von %1 an %2 zu %3 an %4 bestanden: diesen Sockel prüfen</translation>
    </message>
    <message>
        <source>Units whose latest good session loaded %1</source>
        <translation>Einheiten, deren letzte gute Sitzung %1 lud</translation>
    </message>
    <message>
        <source>the service answered: %1</source>
        <translation>der Dienst antwortete: %1</translation>
    </message>
    <message>
        <source>no database: --db, QUARN_DB or [records] database=</source>
        <translation>keine Datenbank: --db, QUARN_DB oder [records] database=</translation>
    </message>
    <message>
        <source>[web] time-zone: no time zone &quot;%1&quot;</source>
        <translation>[web] time-zone: keine Zeitzone „%1“</translation>
    </message>
    <message>
        <source>The plant in any browser: the stations&apos; figures, yield per hour, failures by
cause, failing sockets, a unit&apos;s history and a recall list, read-only and
live, from the records&apos; database. By default on 127.0.0.1:8471 only.</source>
        <translation>Das Werk in jedem Browser: die Zahlen der Stationen, Ausbeute je Stunde, Fehler
nach Ursache, auffällige Sockel, der Werdegang einer Einheit und eine Rückrufliste,
nur lesend und live, aus der Datenbank der Datensätze. Vorgabe: nur auf 127.0.0.1:8471.</translation>
    </message>
    <message>
        <source>The database (PostgreSQL URL); default: QUARN_DB,
else [records] database= of the settings file.</source>
        <translation>Die Datenbank (PostgreSQL-URL); Vorgabe: QUARN_DB,
sonst [records] database= der Einstellungsdatei.</translation>
    </message>
    <message>
        <source>Where to listen (default: [web] listen of the
settings file, else 127.0.0.1:8471; 0.0.0.0:8471
for the plant&apos;s network, best behind nginx with
TLS and a login).</source>
        <translation>Wo gelauscht wird (Vorgabe: [web] listen der
Einstellungsdatei, sonst 127.0.0.1:8471;
0.0.0.0:8471 für das Netz des Werks, am besten
hinter nginx mit TLS und Anmeldung).</translation>
    </message>
    <message>
        <source>Show the version.</source>
        <translation>Die Version zeigen.</translation>
    </message>
    <message>
        <source>Show this help.</source>
        <translation>Diese Hilfe zeigen.</translation>
    </message>
    <message>
        <source>unexpected argument &quot;%1&quot;</source>
        <translation>unerwartetes Argument „%1“</translation>
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
        <source>%1 record(s) sent, %2 new; %3 wait</source>
        <translation>%1 Datensatz/Datensätze gesendet, %2 neu; %3 warten</translation>
    </message>
    <message>
        <source>no database: --db, QUARN_DB or [records] database=</source>
        <translation>keine Datenbank: --db, QUARN_DB oder [records] database=</translation>
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
        <source>The database (PostgreSQL URL).</source>
        <translation>Die Datenbank (PostgreSQL-URL).</translation>
    </message>
    <message>
        <source>The log of records (default:
$XDG_STATE_HOME/quarn-download/sessions.jsonl).</source>
        <translation>Das Protokoll der Datensätze (Vorgabe:
$XDG_STATE_HOME/quarn-download/sessions.jsonl).</translation>
    </message>
    <message>
        <source>report: one row per day, station, file, slot or operator.</source>
        <translation>report: eine Zeile je Tag, Station, Datei, Slot oder Bediener.</translation>
    </message>
    <message>
        <source>report --db: count from the sessions themselves, not
the hourly summaries.</source>
        <translation>report --db: aus den Sitzungen selbst zählen, nicht
aus den stündlichen Zusammenfassungen.</translation>
    </message>
    <message>
        <source>--exact is for --db</source>
        <translation>--exact gilt nur mit --db</translation>
    </message>
    <message>
        <source>schema: the SQL of the roles and their grants.</source>
        <translation>schema: das SQL der Rollen und ihrer Rechte.</translation>
    </message>
    <message>
        <source>approve: the image file instead of Init.txt&apos;s.</source>
        <translation>approve: die Abbild-Datei statt der aus Init.txt.</translation>
    </message>
    <message>
        <source>approve: the length instead of Init.txt&apos;s.</source>
        <translation>approve: die Länge statt der aus Init.txt.</translation>
    </message>
    <message>
        <source>approve, revoke, socket-service: a note kept with the
approval or the service.</source>
        <translation>approve, revoke, socket-service: eine Notiz, die bei der
Freigabe oder der Wartung bleibt.</translation>
    </message>
    <message>
        <source>Show the version.</source>
        <translation>Version anzeigen.</translation>
    </message>
    <message>
        <source>Show this help.</source>
        <translation>Diese Hilfe anzeigen.</translation>
    </message>
    <message>
        <source>%1; nothing was changed</source>
        <translation>%1; nichts wurde geändert</translation>
    </message>
    <message>
        <source>approved</source>
        <translation>freigegeben</translation>
    </message>
    <message>
        <source>revoked</source>
        <translation>zurückgezogen</translation>
    </message>
    <message>
        <source>warning: </source>
        <translation>Warnung: </translation>
    </message>
    <message>
        <source>%1; nothing is lost, trying again in %2 s</source>
        <translation>%1; nichts geht verloren, neuer Versuch in %2 s</translation>
    </message>
    <message>
        <source>%1; nothing is lost, push again later</source>
        <translation>%1; nichts geht verloren, später erneut senden</translation>
    </message>
    <message>
        <source>push: while the database cannot be reached or is busy,
try again every SECONDS until every record is in (%1
tries), holding the log&apos;s lock meanwhile.</source>
        <translation>push: solange die Datenbank nicht erreichbar oder ausgelastet ist,
alle SECONDS Sekunden erneut versuchen, bis jeder Datensatz drin ist
(%1 Versuche); die Sperre des Protokolls bleibt so lange gehalten.</translation>
    </message>
    <message>
        <source>no records of %1</source>
        <translation>keine Datensätze von %1</translation>
    </message>
    <message>
        <source>%1 unit(s)</source>
        <translation>%1 Einheit(en)</translation>
    </message>
    <message>
        <source>the units loaded good with it: %1</source>
        <translation>die damit gut geladenen Einheiten: %1</translation>
    </message>
    <message>
        <source>%1 unit(s) loaded good with it: %2</source>
        <translation>%1 Einheit(en) damit gut geladen: %2</translation>
    </message>
    <message>
        <source>--image wants 12 to 64 hex digits of a sha256, not &quot;%1&quot;</source>
        <translation>--image erwartet 12 bis 64 Hexziffern eines sha256, nicht &quot;%1&quot;</translation>
    </message>
    <message>
        <source>report, units: records started on or after DATE.</source>
        <translation>report, units: Datensätze, begonnen am oder nach DATE.</translation>
    </message>
    <message>
        <source>report, images, trace, units: a JSON array instead of a table.</source>
        <translation>report, images, trace, units: ein JSON-Array statt einer Tabelle.</translation>
    </message>
    <message>
        <source>serviced %1 at %2 by %3 on %4</source>
        <translation>%1 an %2 gewartet von %3 am %4</translation>
    </message>
    <message>
        <source>another push of %1 is running and %2 record(s) still wait for the database; nothing is lost, push again later</source>
        <translation>ein anderer Sendevorgang von %1 läuft, und %2 Datensatz/Datensätze warten noch auf die Datenbank; nichts geht verloren, später erneut senden</translation>
    </message>
    <message>
        <source>--roles or --refill, not both</source>
        <translation>--roles oder --refill, nicht beides</translation>
    </message>
    <message>
        <source>schema: the SQL that counts the summaries again from
the rows (after a partition detached by hand).</source>
        <translation>schema: das SQL, das die Zusammenfassungen aus den
Zeilen neu zählt (nach einer von Hand abgetrennten Partition).</translation>
    </message>
    <message>
        <source>push, report, schema, approve, revoke, images, trace, units, migrate, archive or socket-service.</source>
        <translation>push, report, schema, approve, revoke, images, trace, units, migrate, archive oder socket-service.</translation>
    </message>
    <message>
        <source>one command: push, report, schema, approve, revoke, images, trace, units, migrate, archive or socket-service</source>
        <translation>ein Befehl: push, report, schema, approve, revoke, images, trace, units, migrate, archive oder socket-service</translation>
    </message>
    <message>
        <source>
Commands:
  push     send every record of the log that is not yet in the database
  report   sessions, good, failed by outcome, first-pass yield, median seconds
  schema   print the SQL of the tables, indexes, view and triggers; with
           --roles, of the roles quarn_station, quarn_engineer, quarn_viewer;
           with --refill, of the summaries counted again from the rows
  approve  approve the image an Init.txt (or INIT, or its folder) loads:
           approve [INIT] [--file FILE] [--length N] [--note TEXT]
  revoke   revoke an approval: revoke SHA256 [--note TEXT] (12 hex digits
           or more of it, naming one image)
  images   the approved list, revocations too (--json: a JSON array)
  migrate  apply the migrations the database&apos;s ledger lacks, each whole or
           not at all, or move an earlier release&apos;s database over (its owner&apos;s)
  archive  let a month go: archive YYYY-MM detaches its partition and takes
           its rows out of the summaries, in one transaction (the owner&apos;s)
  trace    one unit&apos;s history: trace SERIAL, every session on every station
           in time order
  units    the units whose latest good session loaded an image: units --image
           SHA256 (12 hex digits or more) [--since DATE]: a recall&apos;s list
  socket-service  a socket was serviced: socket-service STATION SLOT
           [--note TEXT] (SLOT as report --by slot names it)

The database: --db, else QUARN_DB, else [records] database= in the settings
file. URL: postgresql://user@host:port/db?sslmode=verify-full&amp;connect_timeout=5
or postgresql:///db?host=/run/postgresql. Passwords come from ~/.pgpass.

A push gives each statement %1 s (QUARN_PUSH_TIME_LIMIT seconds when set).
One push of a log runs at a time; another one started meanwhile wakes it and
waits for it as long.

Exit status:
  0  done (push: every record is in the database, sent by this push or by
     another push of the log that was running)
  1  usage error (a password in the URL, an unknown or ambiguous sha256 prefix,
     fewer than 12 hex digits of an image)
  2  the database cannot be reached, is busy or refuses (push: or another
     push of the log runs and records still wait); nothing is lost, run
     again later
  3  not permitted: the database refused for lack of rights; the message names
     the role needed (quarn_station, quarn_engineer or quarn_viewer)
</source>
        <translation>
Befehle:
  push     jeden Datensatz des Protokolls senden, der noch nicht in der
           Datenbank ist
  report   Sitzungen, good, fehlerhaft nach Ergebnis, Erstdurchlauf-Ausbeute,
           Median der Sekunden
  schema   das SQL der Tabellen, Indizes, View und Trigger ausgeben; mit
           --roles das der Rollen quarn_station, quarn_engineer, quarn_viewer;
           mit --refill das der aus den Zeilen neu gezählten Zusammenfassungen
  approve  das Abbild freigeben, das eine Init.txt (oder INIT, oder ihr Ordner)
           lädt: approve [INIT] [--file FILE] [--length N] [--note TEXT]
  revoke   eine Freigabe zurückziehen: revoke SHA256 [--note TEXT] (12
           Hexziffern oder mehr davon, die ein Abbild eindeutig nennen)
  images   die Freigabeliste, auch Zurückgezogene (--json: ein JSON-Array)
  migrate  die Migrationen anwenden, die dem Verzeichnis der Datenbank fehlen,
           jede ganz oder gar nicht, oder die Datenbank einer früheren Version
           umziehen (als Eigentümer)
  archive  einen Monat abgeben: archive YYYY-MM trennt seine Partition ab und
           nimmt seine Zeilen aus den Zusammenfassungen, in einer Transaktion
           (als Eigentümer)
  trace    der Werdegang einer Einheit: trace SERIAL, jede Sitzung an jeder
           Station in zeitlicher Reihenfolge
  units    die Einheiten, deren letzte gute Sitzung ein Abbild lud: units
           --image SHA256 (12 Hexziffern oder mehr) [--since DATE]: die Liste
           für einen Rückruf
  socket-service  ein Sockel wurde gewartet: socket-service STATION SLOT
           [--note TEXT] (SLOT, wie report --by slot ihn nennt)

Die Datenbank: --db, sonst QUARN_DB, sonst [records] database= in der
Einstellungsdatei. URL:
postgresql://user@host:port/db?sslmode=verify-full&amp;connect_timeout=5
oder postgresql:///db?host=/run/postgresql. Passwörter kommen aus ~/.pgpass.

Ein Sendevorgang gibt jeder Anweisung %1 s (QUARN_PUSH_TIME_LIMIT Sekunden,
wenn gesetzt). Je Protokoll läuft ein Sendevorgang zugleich; ein weiterer, der
inzwischen startet, weckt ihn und wartet ebenso lange auf ihn.

Exit-Status:
  0  fertig (push: jeder Datensatz ist in der Datenbank, von diesem oder von
     einem anderen laufenden Sendevorgang des Protokolls gesendet)
  1  Aufruffehler (ein Passwort in der URL, ein unbekanntes oder mehrdeutiges
     sha256-Präfix, weniger als 12 Hexziffern eines Abbilds)
  2  die Datenbank ist nicht erreichbar, ausgelastet oder lehnt ab (push: oder
     ein anderer Sendevorgang des Protokolls läuft, und Datensätze warten
     noch); nichts geht verloren, später erneut aufrufen
  3  nicht erlaubt: die Datenbank lehnte mangels Rechten ab; die Meldung nennt
     die nötige Rolle (quarn_station, quarn_engineer oder quarn_viewer)
</translation>
    </message>
    <message>
        <source>verdict: %1</source>
        <translation>Urteil: %1</translation>
    </message>
    <message>
        <source>units: the image, 12 hex digits or more of its sha256;
report: the records of an image (a sha256 prefix, or
part of an approved image&apos;s title).</source>
        <translation>units: das Abbild, 12 Hexziffern oder mehr seines sha256;
report: die Datensätze eines Abbilds (ein sha256-Präfix oder
ein Teil des Titels eines freigegebenen Abbilds).</translation>
    </message>
    <message>
        <source>report: the records of one station.</source>
        <translation>report: die Datensätze einer Station.</translation>
    </message>
    <message>
        <source>first pass</source>
        <translation>im ersten Durchlauf</translation>
    </message>
    <message>
        <source>passed on attempt %1, only after moving from %2 at %3 to %4 at %5</source>
        <translation>bestanden im %1. Versuch, erst nach dem Wechsel von %2 an %3 zu %4 an %5</translation>
    </message>
    <message>
        <source>passed on attempt %1</source>
        <translation>bestanden im %1. Versuch</translation>
    </message>
    <message>
        <source>held at the retest limit</source>
        <translation>an der Wiederholgrenze zurückgehalten</translation>
    </message>
    <message>
        <source>failing (%1 attempts)</source>
        <translation>fehlerhaft (%1 Versuche)</translation>
    </message>
    <message>
        <source>no attempt</source>
        <translation>kein Versuch</translation>
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
    <message>
        <source>no display (DISPLAY and WAYLAND_DISPLAY are not set): the window cannot be shown; quarn-flash --watch loads units without one</source>
        <translation>keine Anzeige (DISPLAY und WAYLAND_DISPLAY sind nicht gesetzt): das Fenster kann nicht gezeigt werden; quarn-flash --watch lädt Geräte ohne Anzeige</translation>
    </message>
    <message>
        <source>One window for a rack of units: a tile per slot, started together or one by one.
INIT is an Init.txt or the folder that holds it (default: Init.txt here).</source>
        <translation>Ein Fenster für ein Rack: eine Kachel je Slot, gemeinsam oder einzeln gestartet.
INIT ist eine Init.txt oder der Ordner, der sie enthält (Vorgabe: Init.txt hier).</translation>
    </message>
    <message>
        <source>A slot: COM1 to COM4 or a device path, once per
slot in order (default: the USB serial adapters).</source>
        <translation>Ein Slot: COM1 bis COM4 oder ein Gerätepfad, einmal je
Slot der Reihe nach (Vorgabe: die USB-Seriell-Adapter).</translation>
    </message>
    <message>
        <source>Who works the station.</source>
        <translation>Wer die Station bedient.</translation>
    </message>
    <message>
        <source>The station&apos;s name (default: the host name).</source>
        <translation>Name der Station (Vorgabe: der Hostname).</translation>
    </message>
    <message>
        <source>Append each session&apos;s record to FILE (default:
$XDG_STATE_HOME/quarn-download/sessions.jsonl).</source>
        <translation>Den Datensatz jeder Sitzung an FILE anhängen (Vorgabe:
$XDG_STATE_HOME/quarn-download/sessions.jsonl).</translation>
    </message>
    <message>
        <source>Write no log.</source>
        <translation>Kein Protokoll schreiben.</translation>
    </message>
    <message>
        <source>Start with Auto-start on.</source>
        <translation>Mit eingeschaltetem Autostart beginnen.</translation>
    </message>
    <message>
        <source>A slot without a serial number does not start.</source>
        <translation>Ein Slot ohne Seriennummer startet nicht.</translation>
    </message>
    <message>
        <source>Load only an image on the database&apos;s approved list.</source>
        <translation>Nur ein Abbild von der Freigabeliste der Datenbank laden.</translation>
    </message>
    <message>
        <source>Pick the Init.txt in a file dialog first.</source>
        <translation>Zuerst die Init.txt in einem Dateidialog wählen.</translation>
    </message>
    <message>
        <source>Show the version.</source>
        <translation>Version anzeigen.</translation>
    </message>
    <message>
        <source>Show this help.</source>
        <translation>Diese Hilfe anzeigen.</translation>
    </message>
    <message>
        <source>Init.txt or its folder.</source>
        <translation>Init.txt oder ihr Ordner.</translation>
    </message>
    <message>
        <source>more than one INIT given</source>
        <translation>mehr als ein INIT angegeben</translation>
    </message>
    <message>
        <source>--log and --no-log together</source>
        <translation>--log und --no-log zusammen</translation>
    </message>
    <message>
        <source>Invalid Init File %1: %2</source>
        <translation>Ungültige Init-Datei %1: %2</translation>
    </message>
    <message>
        <source>A serial number that failed N times is held for repair
(0: no limit; default: [station] max-attempts, 3).</source>
        <translation>Eine Seriennummer, die N-mal fehlschlug, wird zur Reparatur zurückgehalten
(0: keine Grenze; Vorgabe: [station] max-attempts, 3).</translation>
    </message>
    <message>
        <source>--max-attempts wants a whole number &gt;= 0, not &quot;%1&quot;</source>
        <translation>--max-attempts erwartet eine ganze Zahl &gt;= 0, nicht „%1“</translation>
    </message>
</context>
<context>
    <name>quarn::plant::ChartTabs</name>
    <message>
        <source>Flagged sockets</source>
        <translation>Markierte Sockel</translation>
    </message>
    <message>
        <source>no socket stands out</source>
        <translation>kein Sockel fällt auf</translation>
    </message>
    <message>
        <source>no such chart</source>
        <translation>kein solches Diagramm</translation>
    </message>
    <message>
        <source>cannot write %1</source>
        <translation>%1 kann nicht geschrieben werden</translation>
    </message>
    <message>
        <source>cannot write %1: %2</source>
        <translation>%1 kann nicht geschrieben werden: %2</translation>
    </message>
</context>
<context>
    <name>quarn::plant::FilterBar</name>
    <message>
        <source>Period</source>
        <translation>Zeitraum</translation>
    </message>
    <message>
        <source>Station</source>
        <translation>Station</translation>
    </message>
    <message>
        <source>every station</source>
        <translation>jede Station</translation>
    </message>
    <message>
        <source>Image</source>
        <translation>Abbild</translation>
    </message>
    <message>
        <source>image: title or sha256 prefix</source>
        <translation>Abbild: Titel oder sha256-Präfix</translation>
    </message>
    <message>
        <source>Sessions whose station said approved (or not) where the database&apos;s approved list says otherwise</source>
        <translation>Sitzungen, deren Station freigegeben (oder nicht) meldete, wo die Freigabeliste der Datenbank anderes sagt</translation>
    </message>
    <message>
        <source>Export PNG…</source>
        <translation>PNG exportieren…</translation>
    </message>
    <message>
        <source>Export CSV…</source>
        <translation>CSV exportieren…</translation>
    </message>
    <message>
        <source>today</source>
        <translation>heute</translation>
    </message>
    <message>
        <source>last 24 hours</source>
        <translation>letzte 24 Stunden</translation>
    </message>
    <message>
        <source>last 7 days</source>
        <translation>letzte 7 Tage</translation>
    </message>
    <message>
        <source>last 30 days</source>
        <translation>letzte 30 Tage</translation>
    </message>
    <message>
        <source>since %1</source>
        <translation>seit %1</translation>
    </message>
    <message>
        <source>Approval mismatches: %1</source>
        <translation>Freigabe-Abweichungen: %1</translation>
    </message>
    <message>
        <source>Units whose latest good session loaded the image: quarn-records units --image lists them</source>
        <translation>Einheiten, deren letzte gute Sitzung das Abbild lud: quarn-records units --image listet sie</translation>
    </message>
    <message>
        <source>Units with the image: %1</source>
        <translation>Einheiten mit dem Abbild: %1</translation>
    </message>
</context>
<context>
    <name>quarn::plant::PlantWindow</name>
    <message>
        <source>Status: %1</source>
        <translation>Status: %1</translation>
    </message>
    <message>
        <source>Export the chart</source>
        <translation>Das Diagramm exportieren</translation>
    </message>
    <message>
        <source>Export the figures</source>
        <translation>Die Zahlen exportieren</translation>
    </message>
    <message>
        <source>PNG (*.png)</source>
        <translation>PNG (*.png)</translation>
    </message>
    <message>
        <source>CSV (*.csv)</source>
        <translation>CSV (*.csv)</translation>
    </message>
    <message>
        <source>The chart was not exported.</source>
        <translation>Das Diagramm wurde nicht exportiert.</translation>
    </message>
    <message>
        <source>The figures were not exported.</source>
        <translation>Die Zahlen wurden nicht exportiert.</translation>
    </message>
</context>
<context>
    <name>quarn::plant::StationTiles</name>
    <message>
        <source>Station %1</source>
        <translation>Station %1</translation>
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
