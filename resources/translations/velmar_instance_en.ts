<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="ja_JP">
<context>
    <name>Velmar</name>
    <message>
        <source>プロジェクトファイル以外は開きません: %@</source>
        <translation>Only project files are opened; not opened: %@</translation>
    </message>
    <message>
        <source>自動保存フォルダは別に起動している DOVRINE が使用中のため、自動保存しません</source>
        <translation>Another running DOVRINE uses the autosave folder, so this one does not autosave</translation>
    </message>
</context>
</TS>
