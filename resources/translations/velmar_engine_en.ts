<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="ja_JP">
<context>
    <name>Velmar</name>
    <message>
        <source>PROGRAM に送出中の素材がありません</source>
        <translation>Nothing is on PROGRAM</translation>
    </message>
    <message>
        <source>テストパターンを消しました</source>
        <translation>Test pattern cleared</translation>
    </message>
    <message>
        <source>マーカーがありません</source>
        <translation>No markers</translation>
    </message>
    <message>
        <source>画像データをデコードできません</source>
        <translation>The image data cannot be decoded</translation>
    </message>
    <message>
        <source>緊急停止しました</source>
        <translation>Emergency stop</translation>
    </message>
    <message>
        <source>%lld 件を選択しました</source>
        <translation>%lld selected</translation>
    </message>
    <message>
        <source>ファイルが見つかりません: %@</source>
        <translation>File not found: %@</translation>
    </message>
    <message>
        <source>動画の準備中です: %@</source>
        <translation>Movie is still being prepared: %@</translation>
    </message>
    <message>
        <source>画像を読み込めませんでした: %@</source>
        <translation>Could not load the image: %@</translation>
    </message>
    <message>
        <source>確認中です。数秒待ってからもう一度: %@</source>
        <translation>Still being checked. Try again in a few seconds: %@</translation>
    </message>
    <message>
        <source>素材の先読み中です: %@</source>
        <translation>Still preloading: %@</translation>
    </message>
</context>
</TS>
