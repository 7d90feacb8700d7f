<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="ja_JP">
<context>
    <name>Velmar</name>
    <message>
        <source>DSK を消してから素材を変更してください</source>
        <translation>Take the DSK off before changing its media</translation>
    </message>
    <message>
        <source>DSK フォルダに対応素材がありません</source>
        <translation>The DSK folder has no supported media</translation>
    </message>
    <message>
        <source>DSK フォルダを読み込めません</source>
        <translation>Cannot read the DSK folder</translation>
    </message>
    <message>
        <source>DSK 素材を読み込めません</source>
        <translation>Cannot load the DSK media</translation>
    </message>
    <message>
        <source>テストパターンを作れませんでした</source>
        <translation>Could not create the test pattern</translation>
    </message>
    <message>
        <source>テストパターンを出力中: %@</source>
        <translation>Test pattern on output: %@</translation>
    </message>
    <message>
        <source>テストパターンを出力中: %@（%@）</source>
        <translation>Test pattern on output: %@ (%@)</translation>
    </message>
    <message>
        <source>PROGRAM に動画がありません</source>
        <translation>No movie on PROGRAM</translation>
    </message>
</context>
</TS>
