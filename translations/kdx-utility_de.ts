<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>AsciiTab</name>
    <message>
        <source>ASCII(0~31)</source>
        <translation>ASCII(0~31)</translation>
    </message>
    <message>
        <source>ASCII(32~127)</source>
        <translation>ASCII(32~127)</translation>
    </message>
    <message>
        <source>ASCII(128~255)</source>
        <translation>ASCII(128~255)</translation>
    </message>
    <message>
        <source>Send code %1</source>
        <translation>Code %1 senden</translation>
    </message>
    <message>
        <source>Bold means ASCII symbol</source>
        <translation>Fett: ein ASCII-Zeichen</translation>
    </message>
</context>
<context>
    <name>CKDX</name>
    <message>
        <source>Device is already connected.</source>
        <translation>Das Gerät ist bereits verbunden.</translation>
    </message>
    <message>
        <source>Commport open failed.</source>
        <translation>Die Schnittstelle ließ sich nicht öffnen.</translation>
    </message>
    <message>
        <source>Device is not connected.</source>
        <translation>Das Gerät ist nicht verbunden.</translation>
    </message>
    <message>
        <source>Device does not respond.</source>
        <translation>Das Gerät antwortet nicht.</translation>
    </message>
    <message>
        <source>Invalid Baud Rate</source>
        <translation>Ungültige Baudrate</translation>
    </message>
    <message>
        <source>Get Nack</source>
        <translation>NAK erhalten</translation>
    </message>
    <message>
        <source>Invalid parameter.</source>
        <translation>Ungültiger Parameter.</translation>
    </message>
    <message>
        <source>Unknown error code.</source>
        <translation>Unbekannter Fehlercode.</translation>
    </message>
</context>
<context>
    <name>DisplayModel</name>
    <message>
        <source>30- U.S.A</source>
        <translation>30- USA</translation>
    </message>
    <message>
        <source>31- France</source>
        <translation>31- Frankreich</translation>
    </message>
    <message>
        <source>32- Germany</source>
        <translation>32- Deutschland</translation>
    </message>
    <message>
        <source>33- U.K.</source>
        <translation>33- Großbritannien</translation>
    </message>
    <message>
        <source>34- Denmark I</source>
        <translation>34- Dänemark I</translation>
    </message>
    <message>
        <source>35- Sweden</source>
        <translation>35- Schweden</translation>
    </message>
    <message>
        <source>36- Italy</source>
        <translation>36- Italien</translation>
    </message>
    <message>
        <source>37- Spain</source>
        <translation>37- Spanien</translation>
    </message>
    <message>
        <source>38- Japan</source>
        <translation>38- Japan</translation>
    </message>
    <message>
        <source>39- Norway</source>
        <translation>39- Norwegen</translation>
    </message>
    <message>
        <source>3A- Denmark II</source>
        <translation>3A- Dänemark II</translation>
    </message>
    <message>
        <source>3B- East Europe</source>
        <translation>3B- Osteuropa</translation>
    </message>
    <message>
        <source>3C- Russian</source>
        <translation>3C- Russisch</translation>
    </message>
    <message>
        <source>3D- Hebrew</source>
        <translation>3D- Hebräisch</translation>
    </message>
    <message>
        <source>3E- Greek</source>
        <translation>3E- Griechisch</translation>
    </message>
    <message>
        <source>3F- Portuguese</source>
        <translation>3F- Portugiesisch</translation>
    </message>
    <message>
        <source>Mode 1 (Horizontal Scroll)</source>
        <translation>Modus 1 (waagerechter Lauf)</translation>
    </message>
    <message>
        <source>Mode 2 (Vertical Scroll)</source>
        <translation>Modus 2 (senkrechter Lauf)</translation>
    </message>
    <message>
        <source>Mode 3 (Blinking)</source>
        <translation>Modus 3 (blinkend)</translation>
    </message>
    <message>
        <source>Mode 1 + 2</source>
        <translation>Modus 1 + 2</translation>
    </message>
    <message>
        <source>Mode 1 + 3</source>
        <translation>Modus 1 + 3</translation>
    </message>
    <message>
        <source>Mode 2 + 3</source>
        <translation>Modus 2 + 3</translation>
    </message>
    <message>
        <source>Mode 1 + 2 + 3</source>
        <translation>Modus 1 + 2 + 3</translation>
    </message>
    <message>
        <source>Mode 1 (Showing Continuously)</source>
        <translation>Modus 1 (ständig angezeigt)</translation>
    </message>
    <message>
        <source>Mode 2 (Horixontal Scroll)</source>
        <translation>Modus 2 (waagerechter Lauf)</translation>
    </message>
    <message>
        <source>Switch to EPSON Command</source>
        <translation>Zum EPSON-Befehlssatz wechseln</translation>
    </message>
    <message>
        <source>Switch to PRYX Command</source>
        <translation>Zum PRYX-Befehlssatz wechseln</translation>
    </message>
    <message>
        <source>Group A</source>
        <translation>Gruppe A</translation>
    </message>
    <message>
        <source>Group B</source>
        <translation>Gruppe B</translation>
    </message>
</context>
<context>
    <name>EpsonTab</name>
    <message>
        <source>Blink: type a number from 0 to 255.</source>
        <translation>Blinken: eine Zahl von 0 bis 255 eingeben.</translation>
    </message>
    <message>
        <source>Cursor control</source>
        <translation>Cursorsteuerung</translation>
    </message>
    <message>
        <source>Peripheral</source>
        <translation>Peripherie</translation>
    </message>
    <message>
        <source>aux-device</source>
        <translation>Zusatzgerät</translation>
    </message>
    <message>
        <source>display</source>
        <translation>Anzeige</translation>
    </message>
    <message>
        <source>both</source>
        <translation>beide</translation>
    </message>
    <message>
        <source>&amp;Device</source>
        <translation>&amp;Gerät</translation>
    </message>
    <message>
        <source>Operation</source>
        <translation>Bedienung</translation>
    </message>
    <message>
        <source>Send</source>
        <translation>Senden</translation>
    </message>
    <message>
        <source>Send message</source>
        <translation>Nachricht senden</translation>
    </message>
    <message>
        <source>Switch to Group A Command</source>
        <translation>Zu den Befehlen der Gruppe A wechseln</translation>
    </message>
    <message>
        <source>Switch to native command set</source>
        <translation>Zum eigenen Befehlssatz wechseln</translation>
    </message>
    <message>
        <source>Me&amp;ssage</source>
        <translation>&amp;Nachricht</translation>
    </message>
    <message>
        <source>up</source>
        <translation>hoch</translation>
    </message>
    <message>
        <source>down</source>
        <translation>runter</translation>
    </message>
    <message>
        <source>left</source>
        <translation>links</translation>
    </message>
    <message>
        <source>right</source>
        <translation>rechts</translation>
    </message>
    <message>
        <source>home position</source>
        <translation>Ausgangsposition</translation>
    </message>
    <message>
        <source>Cursor up</source>
        <translation>Cursor hoch</translation>
    </message>
    <message>
        <source>Cursor down</source>
        <translation>Cursor runter</translation>
    </message>
    <message>
        <source>Cursor left</source>
        <translation>Cursor links</translation>
    </message>
    <message>
        <source>Cursor right</source>
        <translation>Cursor rechts</translation>
    </message>
    <message>
        <source>Cursor home position</source>
        <translation>Cursor in Ausgangsposition</translation>
    </message>
    <message>
        <source>bottom position</source>
        <translation>untere Position</translation>
    </message>
    <message>
        <source>Cursor bottom position</source>
        <translation>Cursor in untere Position</translation>
    </message>
    <message>
        <source>left end of the line</source>
        <translation>linkes Zeilenende</translation>
    </message>
    <message>
        <source>Cursor to left end of the line</source>
        <translation>Cursor an das linke Zeilenende</translation>
    </message>
    <message>
        <source>right end of the line</source>
        <translation>rechtes Zeilenende</translation>
    </message>
    <message>
        <source>Cursor to right end of the line</source>
        <translation>Cursor an das rechte Zeilenende</translation>
    </message>
    <message>
        <source>Position</source>
        <translation>Position</translation>
    </message>
    <message>
        <source>Set cursor row and column</source>
        <translation>Zeile und Spalte des Cursors setzen</translation>
    </message>
    <message>
        <source>&amp;row</source>
        <translation>&amp;Zeile</translation>
    </message>
    <message>
        <source>c&amp;olumn</source>
        <translation>S&amp;palte</translation>
    </message>
    <message>
        <source>over-write</source>
        <translation>überschreiben</translation>
    </message>
    <message>
        <source>vertical-scroll</source>
        <translation>senkrecht laufen</translation>
    </message>
    <message>
        <source>horizontal-scroll</source>
        <translation>waagerecht laufen</translation>
    </message>
    <message>
        <source>screen clear</source>
        <translation>Anzeige löschen</translation>
    </message>
    <message>
        <source>Clear screen</source>
        <translation>Anzeige löschen</translation>
    </message>
    <message>
        <source>line clear</source>
        <translation>Zeile löschen</translation>
    </message>
    <message>
        <source>Clear line</source>
        <translation>Zeile löschen</translation>
    </message>
    <message>
        <source>cursor on</source>
        <translation>Cursor ein</translation>
    </message>
    <message>
        <source>reverse</source>
        <translation>invers</translation>
    </message>
    <message>
        <source>Initialize</source>
        <translation>Initialisieren</translation>
    </message>
    <message>
        <source>Initialize display</source>
        <translation>Anzeige initialisieren</translation>
    </message>
    <message>
        <source>SelfTest</source>
        <translation>Selbsttest</translation>
    </message>
    <message>
        <source>Self-test</source>
        <translation>Selbsttest</translation>
    </message>
    <message>
        <source>U.S.A</source>
        <translation>USA</translation>
    </message>
    <message>
        <source>France</source>
        <translation>Frankreich</translation>
    </message>
    <message>
        <source>Germany</source>
        <translation>Deutschland</translation>
    </message>
    <message>
        <source>U.K.</source>
        <translation>Großbritannien</translation>
    </message>
    <message>
        <source>Denmark I</source>
        <translation>Dänemark I</translation>
    </message>
    <message>
        <source>Sweden</source>
        <translation>Schweden</translation>
    </message>
    <message>
        <source>Italy</source>
        <translation>Italien</translation>
    </message>
    <message>
        <source>Spain</source>
        <translation>Spanien</translation>
    </message>
    <message>
        <source>Japan</source>
        <translation>Japan</translation>
    </message>
    <message>
        <source>Norway</source>
        <translation>Norwegen</translation>
    </message>
    <message>
        <source>Denmark II</source>
        <translation>Dänemark II</translation>
    </message>
    <message>
        <source>Spain II</source>
        <translation>Spanien II</translation>
    </message>
    <message>
        <source>Latin America</source>
        <translation>Lateinamerika</translation>
    </message>
    <message>
        <source>Korea</source>
        <translation>Korea</translation>
    </message>
    <message>
        <source>Greek</source>
        <translation>Griechisch</translation>
    </message>
    <message>
        <source>Set</source>
        <translation>Setzen</translation>
    </message>
    <message>
        <source>Set national character set</source>
        <translation>Nationalen Zeichensatz setzen</translation>
    </message>
    <message>
        <source>ignore Expand</source>
        <translation>Expand ignorieren</translation>
    </message>
    <message>
        <source>using Expand</source>
        <translation>Expand verwenden</translation>
    </message>
    <message>
        <source>Set expand</source>
        <translation>Expand setzen</translation>
    </message>
    <message>
        <source>Blink</source>
        <translation>Blinken</translation>
    </message>
    <message>
        <source>Set blink</source>
        <translation>Blinken setzen</translation>
    </message>
    <message>
        <source>&amp;Mode:</source>
        <translation>&amp;Modus:</translation>
    </message>
    <message>
        <source>&amp;National</source>
        <translation>&amp;National</translation>
    </message>
    <message>
        <source>E&amp;xpand</source>
        <translation>E&amp;xpand</translation>
    </message>
    <message>
        <source>&amp;Blink</source>
        <translation>&amp;Blinken</translation>
    </message>
    <message>
        <source>Position: choose a row and a column from the lists.</source>
        <translation>Position: Zeile und Spalte aus den Listen wählen.</translation>
    </message>
    <message>
        <source>National: choose a character set from the list.</source>
        <translation>National: einen Zeichensatz aus der Liste wählen.</translation>
    </message>
    <message>
        <source>Expand: choose an entry of the list or type a number from 0 to 255.</source>
        <translation>Expand: einen Eintrag der Liste wählen oder eine Zahl von 0 bis 255 eingeben.</translation>
    </message>
    <message>
        <source>cursor off</source>
        <translation>Cursor aus</translation>
    </message>
    <message>
        <source>normal</source>
        <translation>normal</translation>
    </message>
    <message>
        <source>Set Position(coordinate)</source>
        <translation>Position setzen (Koordinate)</translation>
    </message>
    <message>
        <source>Cursor row</source>
        <translation>Cursorzeile</translation>
    </message>
    <message>
        <source>Cursor column</source>
        <translation>Cursorspalte</translation>
    </message>
    <message>
        <source>Write mode</source>
        <translation>Schreibmodus</translation>
    </message>
    <message>
        <source>National character set</source>
        <translation>Nationaler Zeichensatz</translation>
    </message>
    <message>
        <source>Expand</source>
        <translation>Erweiterung</translation>
    </message>
    <message>
        <source>Peripheral routing</source>
        <translation>Weiterleitung an das Peripheriegerät</translation>
    </message>
    <message>
        <source>Message</source>
        <translation>Nachricht</translation>
    </message>
    <message>
        <source>Show the cursor</source>
        <translation>Cursor einblenden</translation>
    </message>
    <message>
        <source>Hide the cursor</source>
        <translation>Cursor ausblenden</translation>
    </message>
    <message>
        <source>Show text in reverse</source>
        <translation>Text invers zeigen</translation>
    </message>
    <message>
        <source>Show text normally</source>
        <translation>Text normal zeigen</translation>
    </message>
</context>
<context>
    <name>FileCheck</name>
    <message>
        <source>not a regular file</source>
        <translation>keine gewöhnliche Datei</translation>
    </message>
    <message>
        <source>the file is empty</source>
        <translation>die Datei ist leer</translation>
    </message>
</context>
<context>
    <name>LoaderDialogue</name>
    <message>
        <source>the port would not open</source>
        <translation>die Schnittstelle ließ sich nicht öffnen</translation>
    </message>
    <message>
        <source>the serial port failed while the display was being switched to its loader</source>
        <translation>die serielle Schnittstelle fiel aus, während die Anzeige in ihren Firmware-Lader geschaltet wurde</translation>
    </message>
    <message>
        <source>the update was stopped before the transfer began</source>
        <translation>das Update wurde vor Beginn der Übertragung abgebrochen</translation>
    </message>
    <message>
        <source>the firmware code type is neither 0 nor 1</source>
        <translation>der Firmware-Codetyp ist weder 0 noch 1</translation>
    </message>
    <message>
        <source>the display did not answer the request to switch to its loader</source>
        <translation>die Anzeige hat auf die Aufforderung, in ihren Firmware-Lader zu schalten, nicht geantwortet</translation>
    </message>
    <message>
        <source>the display&apos;s loader did not answer the XModem request</source>
        <translation>der Firmware-Lader der Anzeige hat auf die XModem-Anforderung nicht geantwortet</translation>
    </message>
    <message>
        <source>the display&apos;s loader did not take the firmware code type</source>
        <translation>der Firmware-Lader der Anzeige hat den Firmware-Codetyp nicht angenommen</translation>
    </message>
</context>
<context>
    <name>NativeTab</name>
    <message>
        <source>GetVersion</source>
        <translation>Version lesen</translation>
    </message>
    <message>
        <source>Firmware &amp;Version : </source>
        <translation>Firmware-&amp;Version: </translation>
    </message>
    <message>
        <source>Change the KDX Baud-&amp;Rate &amp;&amp; Parity,Data bit,Stop bit::</source>
        <translation>Baud&amp;rate &amp;&amp; Parität,Datenbits,Stoppbits der KDX ändern:</translation>
    </message>
    <message>
        <source>Set</source>
        <translation>Setzen</translation>
    </message>
    <message>
        <source>&amp;International Code:</source>
        <translation>&amp;Internationaler Zeichensatz:</translation>
    </message>
    <message>
        <source>Save the Current View Message (&amp;Layer):</source>
        <translation>Aktuelle Anzeige als Ebene speichern (&amp;Ebene):</translation>
    </message>
    <message>
        <source>Set &amp;Cursor Position:</source>
        <translation>&amp;Cursorposition setzen:</translation>
    </message>
    <message>
        <source>Clear &amp;Display Range:</source>
        <translation>Anzeige&amp;bereich löschen:</translation>
    </message>
    <message>
        <source>&amp;From:</source>
        <translation>&amp;Von:</translation>
    </message>
    <message>
        <source>&amp;To:</source>
        <translation>&amp;Bis:</translation>
    </message>
    <message>
        <source>Layer</source>
        <translation>Ebene</translation>
    </message>
    <message>
        <source>Cursor position</source>
        <translation>Cursorposition</translation>
    </message>
    <message>
        <source>Clear from</source>
        <translation>Löschen ab</translation>
    </message>
    <message>
        <source>Clear to</source>
        <translation>Löschen bis</translation>
    </message>
    <message>
        <source>Display the Saved Demo Message:</source>
        <translation>Gespeicherte Demo-Nachricht zeigen:</translation>
    </message>
    <message>
        <source>L&amp;ayer:</source>
        <translation>E&amp;bene:</translation>
    </message>
    <message>
        <source>&amp;Mode:</source>
        <translation>&amp;Modus:</translation>
    </message>
    <message>
        <source>Show &amp;Saved Message after Reboot Mode :</source>
        <translation>&amp;Gespeicherte Nachricht nach dem Einschalten:</translation>
    </message>
    <message>
        <source>Printer ON</source>
        <translation>Drucker EIN</translation>
    </message>
    <message>
        <source>Printer Off</source>
        <translation>Drucker AUS</translation>
    </message>
    <message>
        <source>&amp;Peripheral Device:</source>
        <translation>&amp;Peripheriegerät:</translation>
    </message>
    <message>
        <source>Get</source>
        <translation>Lesen</translation>
    </message>
    <message>
        <source>Send</source>
        <translation>Senden</translation>
    </message>
    <message>
        <source>&amp;Get/Send Message:</source>
        <translation>Nachricht &amp;lesen/senden:</translation>
    </message>
    <message>
        <source>Switch to Group B Command</source>
        <translation>Zu den Befehlen der Gruppe B wechseln</translation>
    </message>
    <message>
        <source>Stay</source>
        <translation>Stehen</translation>
    </message>
    <message>
        <source>Running</source>
        <translation>Laufen</translation>
    </message>
    <message>
        <source>Layer 1</source>
        <translation>Ebene 1</translation>
    </message>
    <message>
        <source>Layer 2</source>
        <translation>Ebene 2</translation>
    </message>
    <message>
        <source>Layer 3</source>
        <translation>Ebene 3</translation>
    </message>
    <message>
        <source>Layer 1 + 2</source>
        <translation>Ebene 1 + 2</translation>
    </message>
    <message>
        <source>Layer 1 + 3</source>
        <translation>Ebene 1 + 3</translation>
    </message>
    <message>
        <source>Layer 2 + 3</source>
        <translation>Ebene 2 + 3</translation>
    </message>
    <message>
        <source>Layer 1 + 2 + 3</source>
        <translation>Ebene 1 + 2 + 3</translation>
    </message>
    <message>
        <source>Display baud rate</source>
        <translation>Baudrate der Anzeige</translation>
    </message>
    <message>
        <source>Display parity, data bits and stop bits</source>
        <translation>Parität, Daten- und Stoppbits der Anzeige</translation>
    </message>
    <message>
        <source>International code</source>
        <translation>Internationaler Code</translation>
    </message>
    <message>
        <source>Layer to save</source>
        <translation>Zu speichernde Ebene</translation>
    </message>
    <message>
        <source>Demo message layer</source>
        <translation>Ebene der Demo-Nachricht</translation>
    </message>
    <message>
        <source>Demo message mode</source>
        <translation>Modus der Demo-Nachricht</translation>
    </message>
    <message>
        <source>Saved message after reboot</source>
        <translation>Gespeicherte Nachricht nach dem Einschalten</translation>
    </message>
    <message>
        <source>Peripheral device</source>
        <translation>Peripheriegerät</translation>
    </message>
    <message>
        <source>Message</source>
        <translation>Nachricht</translation>
    </message>
    <message>
        <source>The display now uses %1 %2; the PC side follows.</source>
        <translation>Die Anzeige verwendet jetzt %1 %2; die PC-Seite folgt ihr.</translation>
    </message>
    <message>
        <source>%1: the display did not answer at %2 %3 either. If it still uses %4 %5, choose those on the Setting tab.</source>
        <translation>%1: Die Anzeige hat auch mit %2 %3 nicht geantwortet. Verwendet sie noch %4 %5, diese auf der Registerkarte Einstellungen wählen.</translation>
    </message>
</context>
<context>
    <name>OpenFailure</name>
    <message>
        <source>%1 is busy: another program has it open; close that program first</source>
        <translation>%1 ist belegt: ein anderes Programm hat sie geöffnet; dieses Programm zuerst schließen</translation>
    </message>
    <message>
        <source>%1 is in use by %2</source>
        <translation>%1 wird von %2 benutzt</translation>
    </message>
    <message>
        <source> (lock file %1)</source>
        <translation> (Sperrdatei %1)</translation>
    </message>
    <message>
        <source>; close that program first</source>
        <translation>; dieses Programm zuerst schließen</translation>
    </message>
    <message>
        <source>permission denied on %1: the user was added to the group &quot;%2&quot; after logging in; log out and in again</source>
        <translation>Zugriff auf %1 verweigert: der Benutzer wurde nach der Anmeldung in die Gruppe &quot;%2&quot; aufgenommen; ab- und wieder anmelden</translation>
    </message>
    <message>
        <source>permission denied on %1: the user is not in the group &quot;%2&quot; that owns the device; add it (usermod -aG %2 USER) and log in again</source>
        <translation>Zugriff auf %1 verweigert: der Benutzer ist nicht in der Gruppe &quot;%2&quot;, der das Gerät gehört; ihn aufnehmen (usermod -aG %2 BENUTZER) und neu anmelden</translation>
    </message>
    <message>
        <source> (%1:%2, mode %3)</source>
        <translation> (%1:%2, Modus %3)</translation>
    </message>
    <message>
        <source>permission denied on %1%2: a udev rule or the administrator must grant this user access</source>
        <translation>Zugriff auf %1%2 verweigert: eine udev-Regel oder der Administrator muss diesem Benutzer Zugriff geben</translation>
    </message>
    <message>
        <source>%1 is not in the port map (%2)</source>
        <translation>%1 ist nicht in der Schnittstellenliste (%2)</translation>
    </message>
    <message>
        <source>the line settings &quot;%1&quot; are not ones this port can take</source>
        <translation>die Leitungseinstellungen &quot;%1&quot; kann diese Schnittstelle nicht annehmen</translation>
    </message>
    <message>
        <source>%1 does not take the line settings &quot;%2&quot;: %3</source>
        <translation>%1 nimmt die Leitungseinstellungen &quot;%2&quot; nicht an: %3</translation>
    </message>
    <message>
        <source>%1: %2 is not a lock file; the administrator must remove it</source>
        <translation>%1: %2 ist keine Sperrdatei; der Administrator muss sie entfernen</translation>
    </message>
    <message>
        <source>%1 does not exist: is the adapter plugged in?</source>
        <translation>%1 gibt es nicht: ist der Adapter eingesteckt?</translation>
    </message>
    <message>
        <source>%1 has no device behind it: is the adapter plugged in?</source>
        <translation>hinter %1 steht kein Gerät: ist der Adapter eingesteckt?</translation>
    </message>
    <message>
        <source>%1 is not a serial device</source>
        <translation>%1 ist kein serielles Gerät</translation>
    </message>
    <message>
        <source>%1 does not answer (input/output error): unplug the adapter and plug it in again</source>
        <translation>%1 antwortet nicht (Ein-/Ausgabefehler): den Adapter aus- und wieder einstecken</translation>
    </message>
    <message>
        <source>%1 was left in exclusive mode by a program that has ended; only root can open it past that: run the command once as root (sudo), which clears it, or %2</source>
        <translation>%1 wurde von einem beendeten Programm im exklusiven Modus hinterlassen; nur root kann es so öffnen: den Befehl einmal als root (sudo) ausführen, was das aufhebt, oder %2</translation>
    </message>
    <message>
        <source>restart the program at the far end of the pseudo-terminal</source>
        <translation>das Programm am anderen Ende des Pseudoterminals neu starten</translation>
    </message>
    <message>
        <source>unplug the adapter and plug it in again</source>
        <translation>den Adapter aus- und wieder einstecken</translation>
    </message>
</context>
<context>
    <name>SettingTab</name>
    <message>
        <source>RS232 Settings</source>
        <translation>RS232-Einstellungen</translation>
    </message>
    <message>
        <source>Find &amp;Display</source>
        <translation>Anzeige &amp;suchen</translation>
    </message>
    <message>
        <source>Ask the display for its version at every rate and framing it has.</source>
        <translation>Die Anzeige bei jeder Baudrate und jedem Rahmenformat, das sie kennt, nach ihrer Version fragen.</translation>
    </message>
    <message>
        <source>&amp;Comport:</source>
        <translation>&amp;Schnittstelle:</translation>
    </message>
    <message>
        <source>&amp;Baud Rate:</source>
        <translation>&amp;Baudrate:</translation>
    </message>
    <message>
        <source>&amp;Parity,Data bit,Stop bit:</source>
        <translation>&amp;Parität,Datenbits,Stoppbits:</translation>
    </message>
    <message>
        <source>Miscellaneous</source>
        <translation>Verschiedenes</translation>
    </message>
    <message>
        <source>Fully Light the Tube</source>
        <translation>Alle Punkte leuchten lassen</translation>
    </message>
    <message>
        <source>Firmware Update</source>
        <translation>Firmware-Update</translation>
    </message>
    <message>
        <source>VT100 Mode Test</source>
        <translation>VT100-Modustest</translation>
    </message>
    <message>
        <source>Display type</source>
        <translation>Anzeigetyp</translation>
    </message>
    <message>
        <source>KDX model:</source>
        <translation>KDX-Modell:</translation>
    </message>
    <message>
        <source>not in the port map</source>
        <translation>nicht in der Schnittstellenliste</translation>
    </message>
    <message>
        <source>not present (%1)</source>
        <translation>nicht vorhanden (%1)</translation>
    </message>
    <message>
        <source>not present</source>
        <translation>nicht vorhanden</translation>
    </message>
    <message>
        <source>device: %1</source>
        <translation>Gerät: %1</translation>
    </message>
    <message>
        <source>COM%1 in the port map %2</source>
        <translation>COM%1 in der Schnittstellenliste %2</translation>
    </message>
    <message>
        <source>Looking for the display on %1 at %2 baud, %3 (setting %4 of %5)...</source>
        <translation>Suche die Anzeige an %1 mit %2 Baud, %3 (Einstellung %4 von %5)...</translation>
    </message>
    <message>
        <source>The search for the display was stopped.</source>
        <translation>Die Suche nach der Anzeige wurde abgebrochen.</translation>
    </message>
    <message>
        <source>The display is in its firmware loader.</source>
        <translation>Die Anzeige ist in ihrem Firmware-Lader.</translation>
    </message>
    <message>
        <source>The display on %1 answers at %2 baud, %3. Its firmware version is %4.</source>
        <translation>Die Anzeige an %1 antwortet mit %2 Baud, %3. Ihre Firmware-Version ist %4.</translation>
    </message>
    <message>
        <source>The display answers at %1 baud.</source>
        <translation>Die Anzeige antwortet mit %1 Baud.</translation>
    </message>
    <message>
        <source> Use %1 baud, %2 on the Setting tab?</source>
        <translation> %1 Baud, %2 auf der Registerkarte Einstellungen verwenden?</translation>
    </message>
    <message>
        <source>Use These Settings</source>
        <translation>Diese Einstellungen verwenden</translation>
    </message>
    <message>
        <source>The Setting tab now uses %1 baud, %2.</source>
        <translation>Die Registerkarte Einstellungen verwendet jetzt %1 Baud, %2.</translation>
    </message>
    <message>
        <source>Find the display&apos;s line settings</source>
        <translation>Die Leitungseinstellungen der Anzeige finden</translation>
    </message>
    <message>
        <source>There is nothing to find on a raw TCP port.</source>
        <translation>Auf einer reinen TCP-Schnittstelle gibt es nichts zu suchen.</translation>
    </message>
    <message>
        <source>%1 is a raw TCP port: its rate and framing stay as the server has them, so there is nothing to try. Give the server&apos;s port an rfc2217:// address, or look for the display on the machine it hangs off.</source>
        <translation>%1 ist eine reine TCP-Schnittstelle: Baudrate und Rahmen bleiben, wie der Server sie eingestellt hat, es gibt also nichts zu probieren. Geben Sie der Schnittstelle des Servers eine rfc2217://-Adresse, oder suchen Sie die Anzeige an dem Rechner, an dem sie hängt.</translation>
    </message>
    <message>
        <source>No display answered on %1 at any of the %2 line settings. Check that the display has power, that its cable is plugged in, and that %1 is the port it is on.</source>
        <translation>Auf %1 hat bei keiner der %2 Leitungseinstellungen eine Anzeige geantwortet. Prüfen Sie, ob die Anzeige Strom hat, ob ihr Kabel steckt und ob sie an %1 hängt.</translation>
    </message>
    <message>
        <source>The display on %1 is in its firmware loader (it answered at %2 baud, %3). Run a firmware update, or power it off and on.</source>
        <translation>Die Anzeige an %1 ist in ihrem Firmware-Lader (sie antwortete bei %2 Baud, %3). Führen Sie ein Firmware-Update durch, oder schalten Sie sie aus und wieder ein.</translation>
    </message>
    <message>
        <source>The display on %1 answers at %2 baud. Its firmware version is %3. This line cannot tell its framing: the display answered alike with %4.</source>
        <translation>Die Anzeige an %1 antwortet bei %2 Baud. Ihre Firmware-Version ist %3. Diese Leitung kann den Rahmen nicht unterscheiden: Die Anzeige antwortete gleich bei %4.</translation>
    </message>
    <message>
        <source> This window has no setting for it. Bring the display to a rate this window lists with kdxctl, for example: kdxctl --port %1 --baud %2 --parity %3 set-baud 19200 N,8,1</source>
        <translation> Dieses Fenster hat dafür keine Einstellung. Stellen Sie die Anzeige mit kdxctl auf eine Baudrate um, die dieses Fenster anbietet, zum Beispiel: kdxctl --port %1 --baud %2 --parity %3 set-baud 19200 N,8,1</translation>
    </message>
    <message>
        <source>Port</source>
        <translation>Schnittstelle</translation>
    </message>
    <message>
        <source>PC baud rate</source>
        <translation>Baudrate des PCs</translation>
    </message>
    <message>
        <source>PC parity, data bits and stop bits</source>
        <translation>Parität, Daten- und Stoppbits des PCs</translation>
    </message>
    <message>
        <source>KDX model</source>
        <translation>KDX-Modell</translation>
    </message>
</context>
<context>
    <name>UpDown</name>
    <message>
        <source>%1 spinner</source>
        <translation>%1 Drehfeld</translation>
    </message>
    <message>
        <source>%1 up</source>
        <translation>%1 hoch</translation>
    </message>
    <message>
        <source>%1 down</source>
        <translation>%1 runter</translation>
    </message>
</context>
<context>
    <name>XModemSender</name>
    <message>
        <source>the serial port failed (%1, error %2)</source>
        <translation>die serielle Schnittstelle fiel aus (%1, Fehler %2)</translation>
    </message>
    <message>
        <source>the transfer was stopped</source>
        <translation>die Übertragung wurde abgebrochen</translation>
    </message>
    <message>
        <source>the display did not ask for the file</source>
        <translation>die Anzeige hat die Datei nicht angefordert</translation>
    </message>
    <message>
        <source>the file could not be read (%1)</source>
        <translation>die Datei ließ sich nicht lesen (%1)</translation>
    </message>
    <message>
        <source>it is empty</source>
        <translation>sie ist leer</translation>
    </message>
    <message>
        <source>it became shorter while it was sent</source>
        <translation>sie wurde während des Sendens kürzer</translation>
    </message>
    <message>
        <source>the display cancelled the transfer</source>
        <translation>die Anzeige hat die Übertragung abgebrochen</translation>
    </message>
    <message>
        <source>the display did not answer</source>
        <translation>die Anzeige hat nicht geantwortet</translation>
    </message>
</context>
<context>
    <name>frmFirmwareUpdate</name>
    <message>
        <source>Firmware Update</source>
        <translation>Firmware-Update</translation>
    </message>
    <message>
        <source>File Name &amp; Path:</source>
        <translation>Dateiname &amp; Pfad:</translation>
    </message>
    <message>
        <source>Using Protocol:</source>
        <translation>Protokoll:</translation>
    </message>
    <message>
        <source>XModem - Checksum</source>
        <translation>XModem – Prüfsumme</translation>
    </message>
    <message>
        <source>XModem - CRC</source>
        <translation>XModem – CRC</translation>
    </message>
    <message>
        <source>Firmware Code:</source>
        <translation>Firmware-Code:</translation>
    </message>
    <message>
        <source>Encripted - PX</source>
        <translation>Verschlüsselt – PX</translation>
    </message>
    <message>
        <source>Not Encripted - ZX</source>
        <translation>Nicht verschlüsselt – ZX</translation>
    </message>
    <message>
        <source>&amp;Send</source>
        <translation>&amp;Senden</translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <translation>S&amp;chließen</translation>
    </message>
    <message>
        <source>&amp;Browse...</source>
        <translation>&amp;Durchsuchen...</translation>
    </message>
    <message>
        <source>Stop the firmware update?</source>
        <translation>Das Firmware-Update abbrechen?</translation>
    </message>
    <message>
        <source>Firmware Update failed: the update was stopped before the transfer began.</source>
        <translation>Firmware-Update fehlgeschlagen: Das Update wurde vor Beginn der Übertragung abgebrochen.</translation>
    </message>
    <message>
        <source>Sending File</source>
        <translation>Datei wird gesendet</translation>
    </message>
    <message>
        <source>Firmware Update OK!</source>
        <translation>Firmware-Update erfolgreich!</translation>
    </message>
    <message>
        <source>the transfer did not complete</source>
        <translation>die Übertragung wurde nicht abgeschlossen</translation>
    </message>
    <message>
        <source>Firmware Update failed: %1.</source>
        <translation>Firmware-Update fehlgeschlagen: %1.</translation>
    </message>
    <message>
        <source>Switching the display to its loader</source>
        <translation>Die Anzeige wird in ihren Firmware-Lader geschaltet</translation>
    </message>
    <message>
        <source>Firmware update progress</source>
        <translation>Fortschritt des Firmware-Updates</translation>
    </message>
    <message>
        <source>Firmware file</source>
        <translation>Firmware-Datei</translation>
    </message>
    <message>
        <source>Block check</source>
        <translation>Blockprüfung</translation>
    </message>
    <message>
        <source>Firmware code type</source>
        <translation>Firmware-Codetyp</translation>
    </message>
    <message>
        <source>Stopped</source>
        <translation>Abgebrochen</translation>
    </message>
    <message>
        <source>Failed</source>
        <translation>Fehlgeschlagen</translation>
    </message>
    <message>
        <source>Is the display at %1 baud and switched on?</source>
        <translation>Ist die Anzeige auf %1 Baud eingestellt und eingeschaltet?</translation>
    </message>
    <message>
        <source>Is the adapter still plugged in? The port has been let go, so the next Send opens it afresh.</source>
        <translation>Steckt der Adapter noch? Die Schnittstelle wurde freigegeben, das nächste Senden öffnet sie neu.</translation>
    </message>
    <message>
        <source>Firmware Update failed: %1.

%2 (%3)

%4</source>
        <translation>Firmware-Update fehlgeschlagen: %1.

%2 (%3)

%4</translation>
    </message>
    <message>
        <source>Waiting for the display to ask for the file</source>
        <translation>Warte darauf, dass die Anzeige die Datei anfordert</translation>
    </message>
    <message>
        <source>Sending block %1 of %2</source>
        <translation>Sende Block %1 von %2</translation>
    </message>
    <message>
        <source>Done</source>
        <translation>Fertig</translation>
    </message>
</context>
<context>
    <name>frmMain</name>
    <message>
        <source>Setting</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>Main(PRYX)</source>
        <translation>Haupt(PRYX)</translation>
    </message>
    <message>
        <source>Adv.(EPSON)</source>
        <translation>Erw.(EPSON)</translation>
    </message>
    <message>
        <source>Send by ASCII</source>
        <translation>Senden als ASCII</translation>
    </message>
    <message>
        <source>Status:</source>
        <translation>Status:</translation>
    </message>
    <message>
        <source>&amp;Exit</source>
        <translation>&amp;Beenden</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Stop the running search</source>
        <translation>Die laufende Suche abbrechen</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>0: U.S.A</source>
        <translation>0: USA</translation>
    </message>
    <message>
        <source>1: France</source>
        <translation>1: Frankreich</translation>
    </message>
    <message>
        <source>2: Germany</source>
        <translation>2: Deutschland</translation>
    </message>
    <message>
        <source>3: U.K.</source>
        <translation>3: Großbritannien</translation>
    </message>
    <message>
        <source>4: Denmark I</source>
        <translation>4: Dänemark I</translation>
    </message>
    <message>
        <source>5: Sweden</source>
        <translation>5: Schweden</translation>
    </message>
    <message>
        <source>6: Italy</source>
        <translation>6: Italien</translation>
    </message>
    <message>
        <source>7: Spain</source>
        <translation>7: Spanien</translation>
    </message>
    <message>
        <source>8: Japan</source>
        <translation>8: Japan</translation>
    </message>
    <message>
        <source>9: Norway</source>
        <translation>9: Norwegen</translation>
    </message>
    <message>
        <source>A: Denmark II</source>
        <translation>A: Dänemark II</translation>
    </message>
    <message>
        <source>B: East Europe</source>
        <translation>B: Osteuropa</translation>
    </message>
    <message>
        <source>C: Russian</source>
        <translation>C: Russisch</translation>
    </message>
    <message>
        <source>D: Hebrew</source>
        <translation>D: Hebräisch</translation>
    </message>
    <message>
        <source>E: Greek</source>
        <translation>E: Griechisch</translation>
    </message>
    <message>
        <source>Before updating the firmware, please make sure the device baudrate is set to 19200.</source>
        <translation>Bitte vor dem Firmware-Update sicherstellen, dass das Gerät auf 19200 Baud eingestellt ist.</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>Sent; the display gave no acknowledge</source>
        <translation>Gesendet; die Anzeige hat nicht quittiert</translation>
    </message>
</context>
<context>
    <name>frmMainKDXA</name>
    <message>
        <source>Connect to:</source>
        <translation>Verbinden mit:</translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation>Aktualisieren</translation>
    </message>
    <message>
        <source>Set Cursor Position:</source>
        <translation>Cursorposition setzen:</translation>
    </message>
    <message>
        <source>Set</source>
        <translation>Setzen</translation>
    </message>
    <message>
        <source>Clear Display Range (from ~ to ):</source>
        <translation>Anzeigebereich löschen (von ~ bis):</translation>
    </message>
    <message>
        <source>Send Message:</source>
        <translation>Nachricht senden:</translation>
    </message>
    <message>
        <source>Send</source>
        <translation>Senden</translation>
    </message>
    <message>
        <source>Binary Format</source>
        <translation>Binärformat</translation>
    </message>
    <message>
        <source>Status:</source>
        <translation>Status:</translation>
    </message>
    <message>
        <source>&amp;Exit</source>
        <translation>&amp;Beenden</translation>
    </message>
    <message>
        <source>No available comm ports.</source>
        <translation>Keine Schnittstellen verfügbar.</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Invalid Binary Format</source>
        <translation>Ungültiges Binärformat</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>Port</source>
        <translation>Schnittstelle</translation>
    </message>
    <message>
        <source>Refresh the port list</source>
        <translation>Schnittstellenliste neu einlesen</translation>
    </message>
    <message>
        <source>Cursor position</source>
        <translation>Cursorposition</translation>
    </message>
    <message>
        <source>Set cursor position</source>
        <translation>Cursorposition setzen</translation>
    </message>
    <message>
        <source>Clear from</source>
        <translation>Löschen ab</translation>
    </message>
    <message>
        <source>Clear to</source>
        <translation>Löschen bis</translation>
    </message>
    <message>
        <source>Clear display range</source>
        <translation>Anzeigebereich löschen</translation>
    </message>
    <message>
        <source>Message</source>
        <translation>Nachricht</translation>
    </message>
    <message>
        <source>Send message</source>
        <translation>Nachricht senden</translation>
    </message>
    <message>
        <source>Send the message as byte values (Binary Format)</source>
        <translation>Die Nachricht als Bytewerte senden (Binärformat)</translation>
    </message>
    <message>
        <source>Sent; the display gave no acknowledge</source>
        <translation>Gesendet; die Anzeige hat nicht quittiert</translation>
    </message>
</context>
<context>
    <name>frmPassword</name>
    <message>
        <source>Password Required</source>
        <translation>Passwort erforderlich</translation>
    </message>
    <message>
        <source>Enter Password:</source>
        <translation>Passwort eingeben:</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Invalid Password!</source>
        <translation>Ungültiges Passwort!</translation>
    </message>
</context>
<context>
    <name>frmVT100</name>
    <message>
        <source>VT100 Mode Test</source>
        <translation>VT100-Modustest</translation>
    </message>
    <message>
        <source>Position Cursor</source>
        <translation>Cursor positionieren</translation>
    </message>
    <message>
        <source>Contry Code</source>
        <translation>Ländercode</translation>
    </message>
    <message>
        <source>Brightness</source>
        <translation>Helligkeit</translation>
    </message>
    <message>
        <source>Return Code: </source>
        <translation>Rückgabecode: </translation>
    </message>
    <message>
        <source>Type of display : </source>
        <translation>Anzeigetyp: </translation>
    </message>
    <message>
        <source>PROM version : </source>
        <translation>PROM-Version: </translation>
    </message>
    <message>
        <source>Character set : </source>
        <translation>Zeichensatz: </translation>
    </message>
    <message>
        <source>Number of lines : </source>
        <translation>Anzahl der Zeilen: </translation>
    </message>
    <message>
        <source>Column/line : </source>
        <translation>Spalten/Zeile: </translation>
    </message>
</context>
<context>
    <name>modKDX</name>
    <message>
        <source>Type mismatch</source>
        <translation>Typen passen nicht zusammen</translation>
    </message>
</context>
<context>
    <name>monitor::DisplayView</name>
    <message>
        <source>Display picture</source>
        <translation>Bild der Anzeige</translation>
    </message>
    <message>
        <source>Rows and columns of the display</source>
        <translation>Zeilen und Spalten der Anzeige</translation>
    </message>
    <message>
        <source>&amp;Blank</source>
        <translation>&amp;Neu beginnen</translation>
    </message>
    <message>
        <source>Start the picture again from a blank display</source>
        <translation>Das Bild wieder mit einer leeren Anzeige beginnen</translation>
    </message>
    <message>
        <source>cursor %1,%2%3</source>
        <translation>Cursor %1,%2%3</translation>
    </message>
    <message>
        <source> shown</source>
        <translation> sichtbar</translation>
    </message>
    <message>
        <source>text dark</source>
        <translation>Text dunkel</translation>
    </message>
    <message>
        <source>blink %1</source>
        <translation>Blinken %1</translation>
    </message>
    <message>
        <source>lamp test</source>
        <translation>Lampentest</translation>
    </message>
    <message>
        <source>demo</source>
        <translation>Demo</translation>
    </message>
    <message>
        <source>firmware loader</source>
        <translation>Firmware-Lader</translation>
    </message>
</context>
<context>
    <name>monitor::TrafficModel</name>
    <message>
        <source>Time</source>
        <translation>Zeit</translation>
    </message>
    <message>
        <source>Dir</source>
        <translation>Richtung</translation>
    </message>
    <message>
        <source>Bytes</source>
        <translation>Bytes</translation>
    </message>
    <message>
        <source>Meaning</source>
        <translation>Bedeutung</translation>
    </message>
</context>
<context>
    <name>monitor::TrafficWindow</name>
    <message>
        <source>Traffic</source>
        <translation>Datenverkehr</translation>
    </message>
    <message>
        <source>Every byte on the line, decoded (Ctrl+T)</source>
        <translation>Jedes Byte auf der Leitung, entschlüsselt (Strg+T)</translation>
    </message>
    <message>
        <source>&amp;Pause</source>
        <translation>&amp;Anhalten</translation>
    </message>
    <message>
        <source>C&amp;lear</source>
        <translation>&amp;Leeren</translation>
    </message>
    <message>
        <source>Filter</source>
        <translation>Filter</translation>
    </message>
    <message>
        <source>&amp;Copy</source>
        <translation>&amp;Kopieren</translation>
    </message>
    <message>
        <source>Save &amp;As...</source>
        <translation>Speichern &amp;unter...</translation>
    </message>
    <message>
        <source>Save As</source>
        <translation>Speichern unter</translation>
    </message>
    <message>
        <source>Text files (*.txt);;All files (*)</source>
        <translation>Textdateien (*.txt);;Alle Dateien (*)</translation>
    </message>
    <message>
        <source>The traffic could not be saved: %1</source>
        <translation>Der Datenverkehr konnte nicht gespeichert werden: %1</translation>
    </message>
    <message>
        <source>%1 events</source>
        <translation>%1 Ereignisse</translation>
    </message>
    <message>
        <source>, %1 oldest dropped</source>
        <translation>, %1 älteste verworfen</translation>
    </message>
    <message>
        <source>; paused, %1 waiting</source>
        <translation>; angehalten, %1 wartend</translation>
    </message>
    <message>
        <source>The port cannot be watched: %1</source>
        <translation>Die Schnittstelle lässt sich nicht beobachten: %1</translation>
    </message>
    <message>
        <source>Watching stopped: %1</source>
        <translation>Beobachten beendet: %1</translation>
    </message>
    <message>
        <source>Stop &amp;Watching</source>
        <translation>&amp;Beobachten beenden</translation>
    </message>
    <message>
        <source>&amp;Watch a Port...</source>
        <translation>Schnittstelle &amp;beobachten...</translation>
    </message>
    <message>
        <source>Take %1 away from the program and let the display&apos;s port go</source>
        <translation>%1 dem Programm wegnehmen und die Schnittstelle der Anzeige freigeben</translation>
    </message>
    <message>
        <source>Offer a COM name to the program that drives a display and show what passes</source>
        <translation>Dem Programm, das eine Anzeige ansteuert, einen COM-Namen anbieten und zeigen, was durchgeht</translation>
    </message>
    <message>
        <source>; watching %1 offered as %2</source>
        <translation>; beobachte %1, angeboten als %2</translation>
    </message>
    <message>
        <source>Open the Traffic window</source>
        <translation>Das Fenster Datenverkehr öffnen</translation>
    </message>
    <message>
        <source>Pause the table</source>
        <translation>Die Tabelle anhalten</translation>
    </message>
    <message>
        <source>Resume the table</source>
        <translation>Die Tabelle fortsetzen</translation>
    </message>
</context>
<context>
    <name>monitor::frmWatchPort</name>
    <message>
        <source>Watch a Port</source>
        <translation>Schnittstelle beobachten</translation>
    </message>
    <message>
        <source>COM1, /dev/ttyUSB0 or rfc2217://host:4001</source>
        <translation>COM1, /dev/ttyUSB0 oder rfc2217://host:4001</translation>
    </message>
    <message>
        <source>The display&apos;s port</source>
        <translation>Die Schnittstelle der Anzeige</translation>
    </message>
    <message>
        <source>The COM name offered to the program</source>
        <translation>Der dem Programm angebotene COM-Name</translation>
    </message>
    <message>
        <source>Baud rate until the program sets its own</source>
        <translation>Baudrate, bis das Programm eine eigene setzt</translation>
    </message>
    <message>
        <source>Parity, data and stop bits</source>
        <translation>Parität, Daten- und Stoppbits</translation>
    </message>
    <message>
        <source>&amp;Watch</source>
        <translation>Beobachten &amp;starten</translation>
    </message>
    <message>
        <source>&amp;Display&apos;s port:</source>
        <translation>Schnittstelle der &amp;Anzeige:</translation>
    </message>
    <message>
        <source>&amp;Offer to the program as:</source>
        <translation>Dem Programm anbieten a&amp;ls:</translation>
    </message>
    <message>
        <source>&amp;Baud rate:</source>
        <translation>&amp;Baudrate:</translation>
    </message>
    <message>
        <source>&amp;Parity:</source>
        <translation>&amp;Parität:</translation>
    </message>
    <message>
        <source>The program that drives the display opens the COM name offered here instead of the display&apos;s port; everything passes through unchanged and shows in the Traffic window.</source>
        <translation>Das Programm, das die Anzeige ansteuert, öffnet den hier angebotenen COM-Namen statt der Schnittstelle der Anzeige; alles geht unverändert durch und erscheint im Fenster Datenverkehr.</translation>
    </message>
    <message>
        <source>The rate and stop bits the program sets are applied to the display&apos;s port; parity and data bits stay as chosen here.</source>
        <translation>Baudrate und Stoppbits, die das Programm setzt, gelten für die Schnittstelle der Anzeige; Parität und Datenbits bleiben wie hier gewählt.</translation>
    </message>
</context>
</TS>
