<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="ja_JP">
<context>
    <name>Velmar</name>
    <message>
        <source>クリックで入力、横にドラッグで増減</source>
        <translation>Click to type a value, drag sideways to change it</translation>
    </message>
</context>
</TS>
