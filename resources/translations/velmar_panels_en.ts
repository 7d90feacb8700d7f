<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="ja_JP">
<context>
    <name>Velmar</name>
    <message>
        <source>%lld 件のデュレーション</source>
        <translation>Duration of %lld items</translation>
    </message>
    <message>
        <source>1 kHz −18 dBFS（EBU）</source>
        <translation>1 kHz −18 dBFS (EBU)</translation>
    </message>
    <message>
        <source>1 kHz −20 dBFS</source>
        <translation>1 kHz −20 dBFS</translation>
    </message>
    <message>
        <source>1 kHz −20 dBFS 右のみ</source>
        <translation>1 kHz −20 dBFS right only</translation>
    </message>
    <message>
        <source>1 kHz −20 dBFS 左のみ</source>
        <translation>1 kHz −20 dBFS left only</translation>
    </message>
    <message>
        <source>CUT</source>
        <translation>CUT</translation>
    </message>
    <message>
        <source>DSK</source>
        <translation>DSK</translation>
    </message>
    <message>
        <source>DSK のカット ON / OFF（B）</source>
        <translation>DSK cut ON / OFF (B)</translation>
    </message>
    <message>
        <source>DSK のフェード ON / OFF（M）</source>
        <translation>DSK fade ON / OFF (M)</translation>
    </message>
    <message>
        <source>DSK の次の素材（N）</source>
        <translation>Next DSK source (N)</translation>
    </message>
    <message>
        <source>DSK 素材を解除</source>
        <translation>Clear the DSK source</translation>
    </message>
    <message>
        <source>DSK素材</source>
        <translation>DSK media</translation>
    </message>
    <message>
        <source>DSK素材、または名前順で送出するフォルダを選択</source>
        <translation>Choose a DSK file, or a folder to send in name order</translation>
    </message>
    <message>
        <source>END</source>
        <translation>END</translation>
    </message>
    <message>
        <source>FADE</source>
        <translation>FADE</translation>
    </message>
    <message>
        <source>LOOP</source>
        <translation>LOOP</translation>
    </message>
    <message>
        <source>NEXT</source>
        <translation>NEXT</translation>
    </message>
    <message>
        <source>OFF</source>
        <translation>OFF</translation>
    </message>
    <message>
        <source>ON AIR</source>
        <translation>ON AIR</translation>
    </message>
    <message>
        <source>オーディオ</source>
        <translation>Audio</translation>
    </message>
    <message>
        <source>クリア</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>デュレーション</source>
        <translation>Duration</translation>
    </message>
    <message>
        <source>デュレーション（秒）</source>
        <translation>Duration (seconds)</translation>
    </message>
    <message>
        <source>ピンクノイズ −20 dBFS RMS</source>
        <translation>Pink noise −20 dBFS RMS</translation>
    </message>
    <message>
        <source>ファイル…</source>
        <translation>File…</translation>
    </message>
    <message>
        <source>フォルダ…</source>
        <translation>Folder…</translation>
    </message>
    <message>
        <source>共通</source>
        <translation>Default</translation>
    </message>
    <message>
        <source>出力フェーダーを 0 dB に戻す</source>
        <translation>Reset the output fader to 0 dB</translation>
    </message>
    <message>
        <source>基準信号を止める</source>
        <translation>Stop the reference signal</translation>
    </message>
    <message>
        <source>基準信号（このコンピュータの音声出力へ。PROGRAM の音声は止まります）</source>
        <translation>Reference signal (to the computer's audio output; PROGRAM audio stops)</translation>
    </message>
    <message>
        <source>左右識別（EBU、−18 dBFS・左が 3 秒ごとに途切れる）</source>
        <translation>Left/right identification (EBU, −18 dBFS, left interrupted every 3 s)</translation>
    </message>
    <message>
        <source>戻す</source>
        <translation>Reset</translation>
    </message>
    <message>
        <source>最終フレームで停止</source>
        <translation>Stop on the last frame</translation>
    </message>
    <message>
        <source>空欄にすると既定値を使います。</source>
        <translation>Leave empty to use the default.</translation>
    </message>
    <message>
        <source>素材を選択</source>
        <translation>Choose media</translation>
    </message>
    <message>
        <source>素材未選択</source>
        <translation>No media chosen</translation>
    </message>
    <message>
        <source>繰り返し再生</source>
        <translation>Loop playback</translation>
    </message>
    <message>
        <source>選択していないので、このタブの素材すべてが対象です。</source>
        <translation>Nothing is selected, so every clip of this tab is changed.</translation>
    </message>
    <message>
        <source>音声なし</source>
        <translation>No audio</translation>
    </message>
</context>
</TS>
