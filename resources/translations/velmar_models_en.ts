<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="ja_JP">
<context>
    <name>Velmar</name>
    <message>
        <source>カスタム</source>
        <translation>Custom</translation>
    </message>
    <message>
        <source>カット</source>
        <translation>Cut</translation>
    </message>
    <message>
        <source>フェード</source>
        <translation>Fade</translation>
    </message>
    <message>
        <source>スライド ←（右から入る）</source>
        <translation>Slide ← (enters from the right)</translation>
    </message>
    <message>
        <source>スライド →（左から入る）</source>
        <translation>Slide → (enters from the left)</translation>
    </message>
    <message>
        <source>スライド ↑（下から入る）</source>
        <translation>Slide ↑ (enters from below)</translation>
    </message>
    <message>
        <source>スライド ↓（上から入る）</source>
        <translation>Slide ↓ (enters from above)</translation>
    </message>
    <message>
        <source>ズーム（0%→100%）</source>
        <translation>Zoom (0%→100%)</translation>
    </message>
    <message>
        <source>飛び込み（300%→100%）</source>
        <translation>Dive (300%→100%)</translation>
    </message>
    <message>
        <source>回転</source>
        <translation>Rotate</translation>
    </message>
    <message>
        <source>アクセス権がありません</source>
        <translation>Permission denied</translation>
    </message>
    <message>
        <source>ディスクの空き容量が足りません</source>
        <translation>Not enough space on the disk</translation>
    </message>
    <message>
        <source>読み取り専用のファイルシステムです</source>
        <translation>The file system is read-only</translation>
    </message>
    <message>
        <source>ファイルまたはフォルダが見つかりません</source>
        <translation>No such file or folder</translation>
    </message>
    <message>
        <source>フォルダではありません</source>
        <translation>Not a folder</translation>
    </message>
    <message>
        <source>シンボリックリンクが置かれています</source>
        <translation>A symbolic link is in its place</translation>
    </message>
    <message>
        <source>他のユーザーのファイルが置かれています</source>
        <translation>Another user's file is in its place</translation>
    </message>
    <message>
        <source>通常のファイルではないものが置かれています</source>
        <translation>Something other than a regular file is in its place</translation>
    </message>
    <message>
        <source>ロックファイルが置き換えられ続けています</source>
        <translation>The lock file keeps being replaced</translation>
    </message>
</context>
</TS>
