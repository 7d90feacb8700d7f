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
    <message>
        <source>通常のローカルファイルではありません</source>
        <translation>Not a regular local file</translation>
    </message>
    <message>
        <source>画像ファイルが 256 MB を超えています</source>
        <translation>The image file is larger than 256 MB</translation>
    </message>
    <message>
        <source>画像のヘッダを読み取れません</source>
        <translation>The image header cannot be read</translation>
    </message>
    <message>
        <source>画像サイズが安全上限（50 MP / 一辺 16384 px）を超えています</source>
        <translation>The image is larger than the safe limit (50 MP, 16384 px a side)</translation>
    </message>
</context>
</TS>
