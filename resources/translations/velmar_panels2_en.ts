<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="ja_JP">
<context>
    <name>Velmar</name>
    <message>
        <source>%lld × %lld</source>
        <translation>%lld × %lld</translation>
    </message>
    <message>
        <source>1回</source>
        <translation>1×</translation>
    </message>
    <message>
        <source>2回</source>
        <translation>2×</translation>
    </message>
    <message>
        <source>3回</source>
        <translation>3×</translation>
    </message>
    <message>
        <source>F</source>
        <translation>F</translation>
    </message>
    <message>
        <source>LED キャビネット区切り…（%@ px）</source>
        <translation>LED cabinet grid… (%@ px)</translation>
    </message>
    <message>
        <source>Loop</source>
        <translation>Loop</translation>
    </message>
    <message>
        <source>PEAK  dBFS</source>
        <translation>PEAK  dBFS</translation>
    </message>
    <message>
        <source>出力フェーダー</source>
        <translation>Output fader</translation>
    </message>
    <message>
        <source>PROGRAM の音声の出力レベル（dB）。ダブルクリックで 0 dB に戻します。メーターはフェーダーを通したあとの値です。</source>
        <translation>Output level of PROGRAM audio (dB). Double-click to return to 0 dB. The meter shows the level after the fader.</translation>
    </message>
    <message>
        <source>Rot</source>
        <translation>Rot</translation>
    </message>
    <message>
        <source>SIZE</source>
        <translation>SIZE</translation>
    </message>
    <message>
        <source>TC</source>
        <translation>TC</translation>
    </message>
    <message>
        <source>TONE  %@</source>
        <translation>TONE  %@</translation>
    </message>
    <message>
        <source>Trans</source>
        <translation>Opacity</translation>
    </message>
    <message>
        <source>V終わりまであと</source>
        <translation>Remaining</translation>
    </message>
    <message>
        <source>X</source>
        <translation>X</translation>
    </message>
    <message>
        <source>Y</source>
        <translation>Y</translation>
    </message>
    <message>
        <source>ばらばら</source>
        <translation>Mixed</translation>
    </message>
    <message>
        <source>カラーバー</source>
        <translation>Color bars</translation>
    </message>
    <message>
        <source>コマ戻し</source>
        <translation>Previous frame</translation>
    </message>
    <message>
        <source>コマ送り</source>
        <translation>Next frame</translation>
    </message>
    <message>
        <source>サイズ</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>サンプルピークの目安（dBFS）。緑: -12 dBFS未満／黄: -12〜-3 dBFS／赤: -3〜0 dBFS。色分けは警告用で、VU・LUFS・真のピーク値ではありません。</source>
        <translation>Approximate sample peak (dBFS). Green: below -12 dBFS / yellow: -12 to -3 dBFS / red: -3 to 0 dBFS. The colours are a warning aid, not VU, LUFS or true-peak values.</translation>
    </message>
    <message>
        <source>テストパターン</source>
        <translation>Test Pattern</translation>
    </message>
    <message>
        <source>テストパターンを消す</source>
        <translation>Clear Test Pattern</translation>
    </message>
    <message>
        <source>一時停止</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>不透明度</source>
        <translation>Opacity</translation>
    </message>
    <message>
        <source>位置・サイズ・回転・透明度を初期値に戻す</source>
        <translation>Reset position, size, rotation and opacity</translation>
    </message>
    <message>
        <source>再生</source>
        <translation>Play</translation>
    </message>
    <message>
        <source>動画の繰り返し回数。∞ は次の送出または停止まで繰り返します</source>
        <translation>How many times the movie plays. ∞ repeats until the next take or stop</translation>
    </message>
    <message>
        <source>単色（LED の抜け・ムラ）</source>
        <translation>Solid colours (LED dead pixels, unevenness)</translation>
    </message>
    <message>
        <source>基準信号を出している間は、フェーダーは基準信号に掛かりません（PROGRAM の音声は止めています）</source>
        <translation>While a reference tone plays, the fader does not act on it (PROGRAM audio is stopped)</translation>
    </message>
    <message>
        <source>対象が動画ではありません</source>
        <translation>The targets are not movies</translation>
    </message>
    <message>
        <source>小さい静止画を縦横比を保ってキャンバス内の最大サイズに合わせる</source>
        <translation>Enlarge small stills to the largest size inside the canvas, keeping their aspect ratio</translation>
    </message>
    <message>
        <source>形状・マッピング</source>
        <translation>Geometry and mapping</translation>
    </message>
    <message>
        <source>適用</source>
        <translation>Apply</translation>
    </message>
    <message>
        <source>階調</source>
        <translation>Tone scales</translation>
    </message>
    <message>
        <source>頭出し</source>
        <translation>Cue to start</translation>
    </message>
    <message>
        <source>%.2f 〜 %.2f</source>
        <translation>%.2f – %.2f</translation>
    </message>
    <message>
        <source>0 〜 %lld px</source>
        <translation>0 – %lld px</translation>
    </message>
    <message>
        <source>5 〜 409600 %</source>
        <translation>5 – 409600 %</translation>
    </message>
    <message>
        <source>-180 〜 180°</source>
        <translation>-180 – 180°</translation>
    </message>
    <message>
        <source>0 〜 100 %</source>
        <translation>0 – 100 %</translation>
    </message>
</context>
</TS>
