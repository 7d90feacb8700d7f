<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="ja_JP">
<context>
    <name>Velmar</name>
    <message>
        <source>カラーバー 75%</source>
        <translation>Color Bars 75%</translation>
    </message>
    <message>
        <source>カラーバー 100%</source>
        <translation>Color Bars 100%</translation>
    </message>
    <message>
        <source>SMPTE 風カラーバー（3段）</source>
        <translation>SMPTE-Style Color Bars (3 Rows)</translation>
    </message>
    <message>
        <source>グレースケール 11段</source>
        <translation>Grayscale, 11 Steps</translation>
    </message>
    <message>
        <source>グラデーション（白・赤・緑・青）</source>
        <translation>Ramps (White, Red, Green, Blue)</translation>
    </message>
    <message>
        <source>白 100%</source>
        <translation>White 100%</translation>
    </message>
    <message>
        <source>黒</source>
        <translation>Black</translation>
    </message>
    <message>
        <source>赤 100%</source>
        <translation>Red 100%</translation>
    </message>
    <message>
        <source>緑 100%</source>
        <translation>Green 100%</translation>
    </message>
    <message>
        <source>青 100%</source>
        <translation>Blue 100%</translation>
    </message>
    <message>
        <source>グレー 50%</source>
        <translation>Gray 50%</translation>
    </message>
    <message>
        <source>クロスハッチ（格子・円・中心）</source>
        <translation>Crosshatch (Grid, Circle, Center)</translation>
    </message>
    <message>
        <source>外周フレーム（端 1px・解像度表示）</source>
        <translation>Edge Frame (1 px Border, Resolution)</translation>
    </message>
    <message>
        <source>1px ライン（縦・横）</source>
        <translation>1 px Lines (Vertical, Horizontal)</translation>
    </message>
    <message>
        <source>1px 市松</source>
        <translation>1 px Checkerboard</translation>
    </message>
    <message>
        <source>LED キャビネット区切り…</source>
        <translation>LED Cabinet Grid…</translation>
    </message>
</context>
</TS>
