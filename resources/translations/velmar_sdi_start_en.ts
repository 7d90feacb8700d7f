<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="ja_JP">
<context>
    <name>Velmar</name>
    <message>
        <source>パラメータが不正です</source>
        <translation>Invalid parameters</translation>
    </message>
    <message>
        <source>SDI の機器が見つかりません。ここの SDI カードは仮想のもので、機器はプログラムの起動時に環境変数 VELMAR_VIRTUAL_SDI で決まります（未設定か空なら出力とキーヤーのある 1 台。off なら無し、読めない値も無しで、理由を標準エラーに出します）</source>
        <translation>No SDI device found. The SDI card here is virtual: its devices are set when the program starts by the environment variable VELMAR_VIRTUAL_SDI (unset or empty: one device with output and keyer; “off” gives none, and so does a value that cannot be read, with the reason on standard error)</translation>
    </message>
    <message>
        <source>出力インターフェースを取得できません</source>
        <translation>Cannot get the device's output interface</translation>
    </message>
    <message>
        <source>指定された出力フォーマットに対応していません</source>
        <translation>The chosen output format is not supported</translation>
    </message>
    <message>
        <source>キャンバスのサイズが出力フォーマットと一致しません</source>
        <translation>The canvas size does not match the output format</translation>
    </message>
    <message>
        <source>出力を開始できません。他のアプリがデバイスを使っていないか確認してください</source>
        <translation>Cannot start the output. Check that no other application is using the device</translation>
    </message>
    <message>
        <source>この機器は、プログラムのバッファをそのまま包んだ BGRA（8bit）・v210（10bit フィル）のフレームに対応していません</source>
        <translation>This device does not support BGRA (8-bit) or v210 (10-bit fill) frames made over the program's own buffers</translation>
    </message>
    <message>
        <source>フレームバッファを作れません</source>
        <translation>Cannot create the frame buffers</translation>
    </message>
    <message>
        <source>再生を開始できません</source>
        <translation>Cannot start playback</translation>
    </message>
    <message>
        <source>この機器で 10bit キーを有効にできません</source>
        <translation>Cannot enable the 10-bit key on this device</translation>
    </message>
</context>
</TS>
