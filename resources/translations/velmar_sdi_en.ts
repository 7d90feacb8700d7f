<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="ja_JP">
<context>
    <name>Velmar</name>
    <message>
        <source>この解像度とフレームレートの組み合わせは、この機器では出せません</source>
        <translation>This device cannot output this combination of resolution and frame rate</translation>
    </message>
    <message>
        <source>出力用のバッファを確保できません</source>
        <translation>Cannot allocate the output buffers</translation>
    </message>
    <message>
        <source>SDI 出力が止まりました: 機器がフレームを送出していません</source>
        <translation>SDI output stopped: the device is no longer playing out frames</translation>
    </message>
    <message>
        <source>SDI 出力中ですが、録画できていません: %@</source>
        <translation>SDI output is running, but nothing is being recorded: %@</translation>
    </message>
</context>
</TS>
