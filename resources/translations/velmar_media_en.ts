<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="ja_JP">
<context>
    <name>Velmar</name>
    <message>
        <source>ファイルが見つかりません</source>
        <translation>File not found</translation>
    </message>
    <message>
        <source>読み込みに時間がかかりすぎます</source>
        <translation>Loading is taking too long</translation>
    </message>
    <message>
        <source>この形式は再生できません</source>
        <translation>This format cannot be played</translation>
    </message>
    <message>
        <source>映像トラックがありません</source>
        <translation>No video track</translation>
    </message>
    <message>
        <source>対応していないコーデック: %@</source>
        <translation>Unsupported codec: %@</translation>
    </message>
    <message>
        <source>デコードできません: %@</source>
        <translation>Cannot decode: %@</translation>
    </message>
    <message>
        <source>デコードできません</source>
        <translation>Cannot decode</translation>
    </message>
</context>
</TS>
