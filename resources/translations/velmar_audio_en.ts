<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="ja_JP">
<context>
    <name>Velmar</name>
    <message>
        <source>音声の形式を用意できません</source>
        <translation>The audio format cannot be prepared</translation>
    </message>
    <message>
        <source>基準信号を出せません: </source>
        <translation>Cannot play the reference signal: </translation>
    </message>
</context>
</TS>
