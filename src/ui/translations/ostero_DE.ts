<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>Messages</name>
    <message>
        <source>Cannot load library &apos;%s&apos;</source>
        <translation>Die Bibliothek &apos;%s&apos; kann nicht geladen werden</translation>
    </message>
    <message>
        <source>Cannot get Entrypoint for function &apos;%s&apos; in library &apos;%s&apos;</source>
        <translation>Kein Einsprungpunkt für die Funktion &apos;%s&apos; in der Bibliothek &apos;%s&apos;</translation>
    </message>
    <message>
        <source>Information</source>
        <translation>Information</translation>
    </message>
</context>
</TS>
