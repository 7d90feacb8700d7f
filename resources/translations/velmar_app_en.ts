<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="ja_JP">
<context>
    <name>Velmar</name>
    <message>
        <source>CPU の映像合成を用意できないため出力できません</source>
        <translation>Output is not possible because CPU compositing could not be set up</translation>
    </message>
    <message>
        <source>CPU の映像合成を用意できないため OBS 出力できません</source>
        <translation>OBS output is not possible because CPU compositing could not be set up</translation>
    </message>
    <message>
        <source>出力できる DeckLink 機器が見つかりません</source>
        <translation>No DeckLink device with an output was found</translation>
    </message>
    <message>
        <source>出力先のディスプレイが見つかりません</source>
        <translation>No display was found for the output</translation>
    </message>
    <message>
        <source>出力先のディスプレイが見つからなくなったため出力を停止しました</source>
        <translation>The output display is gone, so the output was stopped</translation>
    </message>
    <message>
        <source>OBS 出力を開始できません</source>
        <translation>Cannot start the OBS output</translation>
    </message>
    <message>
        <source>SDI 出力を開始しました: %@%@</source>
        <translation>SDI output started: %@%@</translation>
    </message>
    <message>
        <source>%@ 10bit・フィル＋キー</source>
        <translation>%@ 10-bit fill + key</translation>
    </message>
    <message>
        <source>%@ 10bit・フィルのみ</source>
        <translation>%@ 10-bit fill only</translation>
    </message>
    <message>
        <source>（音声は乗せていません）</source>
        <translation> (no audio embedded)</translation>
    </message>
    <message>
        <source>（この機器には音声を乗せられません）</source>
        <translation> (this device cannot carry audio)</translation>
    </message>
    <message>
        <source>（音声は SDI とこのコンピュータの両方へ）</source>
        <translation> (audio to both SDI and this computer)</translation>
    </message>
    <message>
        <source>（音声は SDI へ。このコンピュータからは出しません）</source>
        <translation> (audio to SDI, not played on this computer)</translation>
    </message>
    <message>
        <source>（外部キーヤーを有効にできなかったため、キー信号は出ていません）</source>
        <translation> (the external keyer could not be enabled, so no key signal is sent)</translation>
    </message>
    <message>
        <source>OBS ではメディアソースの「入力」に、tcp:// に続けて %@.netvideo に書かれた接続先を入れてください</source>
        <translation>In OBS, enter tcp:// followed by the address written in %@.netvideo as a Media Source’s “Input”</translation>
    </message>
    <message>
        <source>受信アプリで共有テクスチャ %@ を選択してください</source>
        <translation>In the receiving application, select the shared texture %@</translation>
    </message>
    <message>
        <source>基準信号を出力中: %@（PROGRAM の音声は止めています）</source>
        <translation>Reference signal on: %@ (PROGRAM audio is stopped)</translation>
    </message>
    <message>
        <source>基準信号を止めました</source>
        <translation>Reference signal stopped</translation>
    </message>
    <message>
        <source>LED キャビネットの大きさ</source>
        <translation>LED cabinet size</translation>
    </message>
    <message>
        <source>キャビネット（パネル）1 枚の横×縦のピクセル数を入れてください。キャンバス %@ を左上から区切ります。</source>
        <translation>Enter the width × height in pixels of one cabinet (panel). The canvas %@ is divided from the top left.</translation>
    </message>
    <message>
        <source>%lld〜%lld の整数で入れてください。</source>
        <translation>Enter whole numbers from %lld to %lld.</translation>
    </message>
    <message>
        <source>出す</source>
        <translation>Show</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
</context>
</TS>
