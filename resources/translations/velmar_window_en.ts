<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="ja_JP">
<context>
    <name>Velmar</name>
    <message>
        <source>%lld×%lld  %@</source>
        <translation>%lld×%lld  %@</translation>
    </message>
    <message>
        <source>AUTO TRANS</source>
        <translation>AUTO TRANS</translation>
    </message>
    <message>
        <source>CPU</source>
        <translation>CPU</translation>
    </message>
    <message>
        <source>DROP</source>
        <translation>DROP</translation>
    </message>
    <message>
        <source>GPU</source>
        <translation>GPU</translation>
    </message>
    <message>
        <source>CPU の映像合成を用意できません</source>
        <translation>CPU compositing could not be set up</translation>
    </message>
    <message>
        <source>NEXT をカットで送出・カットチェンジ</source>
        <translation>Take NEXT to air by cut (cut change)</translation>
    </message>
    <message>
        <source>OBS などへ NDI で透過映像と音声を送る</source>
        <translation>Send the picture with transparency and the audio to OBS and others over NDI</translation>
    </message>
    <message>
        <source>同じ PC の受信アプリへ共有テクスチャで透過映像を送る（音声なし）</source>
        <translation>Send the picture with transparency as a shared texture to receiving applications on this PC (no audio)</translation>
    </message>
    <message>
        <source>RAM</source>
        <translation>RAM</translation>
    </message>
    <message>
        <source>SDI 出力</source>
        <translation>SDI output</translation>
    </message>
    <message>
        <source>TEST PATTERN  %@</source>
        <translation>TEST PATTERN  %@</translation>
    </message>
    <message>
        <source>TRANSITION</source>
        <translation>TRANSITION</translation>
    </message>
    <message>
        <source>←→ NEXT   Enter NEXT   V KEY ON/OFF   Space AUTO TRANS   N/B/M DSK   J/K/L 動画   1〜9 タブ   ESC 緊急停止   Tab デュレーション</source>
        <translation>←→ NEXT   Enter NEXT   V KEY ON/OFF   Space AUTO TRANS   N/B/M DSK   J/K/L Movie   1–9 Tabs   ESC Panic   Tab Duration</translation>
    </message>
    <message>
        <source>インポート</source>
        <translation>Import</translation>
    </message>
    <message>
        <source>クリックで入力、横にドラッグで増減</source>
        <translation>Click to type a value, drag sideways to change it</translation>
    </message>
    <message>
        <source>クロマキー</source>
        <translation>Chroma key</translation>
    </message>
    <message>
        <source>サブモニター</source>
        <translation>Sub-monitor</translation>
    </message>
    <message>
        <source>スペースと同じ操作</source>
        <translation>Same as the Space key</translation>
    </message>
    <message>
        <source>バッテリー</source>
        <translation>Battery</translation>
    </message>
    <message>
        <source>現在の PROGRAM の KEY だけをカットで ON / OFF（V）。NEXT は読み込まない</source>
        <translation>Cut only the KEY of the current PROGRAM on or off (V). NEXT is not loaded</translation>
    </message>
    <message>
        <source>確認中</source>
        <translation>Checking</translation>
    </message>
    <message>
        <source>読み込み中…</source>
        <translation>Loading…</translation>
    </message>
    <message>
        <source>電源</source>
        <translation>Power</translation>
    </message>
</context>
</TS>
