<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr_FR">
<context>
    <name>Messages</name>
    <message>
        <source>Cannot load library &apos;%s&apos;</source>
        <translation>Impossible de charger la bibliothèque &apos;%s&apos;</translation>
    </message>
    <message>
        <source>Cannot get Entrypoint for function &apos;%s&apos; in library &apos;%s&apos;</source>
        <translation>Point d&apos;entrée de la fonction &apos;%s&apos; introuvable dans la bibliothèque &apos;%s&apos;</translation>
    </message>
    <message>
        <source>Information</source>
        <translation>Information</translation>
    </message>
</context>
</TS>
