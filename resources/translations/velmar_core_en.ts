<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="ja_JP">
<context>
    <name>Velmar</name>
    <message>
        <source>操作ログに書き込めません: %@</source>
        <translation>Cannot write the operation log: %@</translation>
    </message>
    <message>
        <source>シンボリックリンクが置かれています（たどりません）</source>
        <translation>a symbolic link is in its place (not followed)</translation>
    </message>
    <message>
        <source>通常のファイルではありません（パイプ・デバイス・ソケットが置かれています）</source>
        <translation>not a regular file (a pipe, device or socket is in its place)</translation>
    </message>
</context>
</TS>
