<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="ja_JP">
<context>
    <name>Velmar</name>
    <message>
        <source>新しいバージョンの DOVRINE で保存されたプロジェクトです</source>
        <translation>This project was saved by a newer version of DOVRINE</translation>
    </message>
    <message>
        <source>DOVRINE のプロジェクトファイルではありません</source>
        <translation>This is not a DOVRINE project file</translation>
    </message>
    <message>
        <source>プロジェクトファイルが壊れているか、書き換えられています</source>
        <translation>The project file is damaged or has been altered</translation>
    </message>
    <message>
        <source>プロジェクトが安全上限（16 MB / 素材10000件）を超えています</source>
        <translation>The project exceeds the safety limit (16 MB / 10000 media items)</translation>
    </message>
    <message>
        <source>キャンバスまたはフレームレートが対応範囲外です</source>
        <translation>The canvas or frame rate is not supported</translation>
    </message>
    <message>
        <source>素材が %lld 件あります。保存できるのは %lld 件までです</source>
        <translation>The project has %lld media items. At most %lld can be saved</translation>
    </message>
    <message>
        <source>プロジェクトが %@ MB になります。保存できるのは 16 MB までです</source>
        <translation>The project would be %@ MB. At most 16 MB can be saved</translation>
    </message>
    <message>
        <source>保存先フォルダに書き込めません。別のフォルダを選んでください。</source>
        <translation>Cannot write to this folder. Please choose another folder.</translation>
    </message>
    <message>
        <source>選んだフォルダには別の自動保存ファイルがあります。別のフォルダを選んでください。</source>
        <translation>The chosen folder already holds another autosave file. Please choose another folder.</translation>
    </message>
    <message>
        <source>選んだフォルダには自動保存ファイルの名前でシンボリックリンクか他のユーザーのファイルが置かれています。別のフォルダを選んでください。</source>
        <translation>In the chosen folder a symbolic link or another user's file has the name of an autosave file. Please choose another folder.</translation>
    </message>
    <message>
        <source>アクセスを許可</source>
        <translation>Grant Access</translation>
    </message>
</context>
</TS>
