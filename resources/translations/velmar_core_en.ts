<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="ja_JP">
<context>
    <name>Velmar</name>
    <message>
        <source>操作ログに書き込めません: %@</source>
        <translation>Cannot write the operation log: %@</translation>
    </message>
</context>
</TS>
