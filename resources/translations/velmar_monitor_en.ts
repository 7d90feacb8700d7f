<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="ja_JP">
<context>
    <name>Velmar</name>
    <message>
        <source>SDI 停止中 — SDI と同じ合成・同じ解像度で描いた値</source>
        <translation>SDI stopped — same composite and size as SDI</translation>
    </message>
    <message>
        <source>SDI 出力バッファ（実際に送っている値）</source>
        <translation>SDI output buffer (the values actually sent)</translation>
    </message>
    <message>
        <source>SDI 合成バッファ（10bit 変換前）</source>
        <translation>SDI composite buffer (before 10-bit conversion)</translation>
    </message>
    <message>
        <source>プリマルチプライド</source>
        <translation>Premultiplied</translation>
    </message>
    <message>
        <source>ストレート</source>
        <translation>Straight</translation>
    </message>
    <message>
        <source>無効</source>
        <translation>Off</translation>
    </message>
    <message>
        <source>有効</source>
        <translation>On</translation>
    </message>
    <message>
        <source>なし（10bit・フィルのみ）</source>
        <translation>None (10-bit, fill only)</translation>
    </message>
    <message>
        <source>有効（設定）</source>
        <translation>On (setting)</translation>
    </message>
    <message>
        <source>無効（設定）</source>
        <translation>Off (setting)</translation>
    </message>
    <message>
        <source>取得元</source>
        <translation>Source</translation>
    </message>
    <message>
        <source>フォーマット</source>
        <translation>Format</translation>
    </message>
    <message>
        <source>キー形式</source>
        <translation>Key format</translation>
    </message>
    <message>
        <source>外部キーヤー</source>
        <translation>External keyer</translation>
    </message>
    <message>
        <source>落ちフレーム</source>
        <translation>Dropped frames</translation>
    </message>
    <message>
        <source>サンプル %lld×%lld（%lld×%lld を間引き）・1 秒に最大 8 回・輝度と色差は Rec.709 の計算値。10bit 出力時は変換前の BGRA を測定</source>
        <translation>Samples %lld×%lld (thinned from %lld×%lld) · up to 8 per second · luma and colour difference computed as Rec.709. With 10-bit output the BGRA before conversion is measured</translation>
    </message>
    <message>
        <source>FILL</source>
        <translation>FILL</translation>
    </message>
    <message>
        <source>色差</source>
        <translation>Colour difference</translation>
    </message>
    <message>
        <source>KEY</source>
        <translation>KEY</translation>
    </message>
    <message>
        <source>フィルとキーの整合</source>
        <translation>Fill against key</translation>
    </message>
    <message>
        <source>輝度 最小〜最大</source>
        <translation>Luma min – max</translation>
    </message>
    <message>
        <source>  10bit コード</source>
        <translation>  10-bit code</translation>
    </message>
    <message>
        <source>  mV</source>
        <translation>  mV</translation>
    </message>
    <message>
        <source>輝度 平均</source>
        <translation>Luma average</translation>
    </message>
    <message>
        <source>キーが乗る範囲の輝度</source>
        <translation>Luma where key is above 0</translation>
    </message>
    <message>
        <source>Cb</source>
        <translation>Cb</translation>
    </message>
    <message>
        <source>Cr</source>
        <translation>Cr</translation>
    </message>
    <message>
        <source>  10bit コード Cb</source>
        <translation>  10-bit code Cb</translation>
    </message>
    <message>
        <source>  10bit コード Cr</source>
        <translation>  10-bit code Cr</translation>
    </message>
    <message>
        <source>最小〜最大</source>
        <translation>Min – max</translation>
    </message>
    <message>
        <source>透明（0%）</source>
        <translation>Transparent (0%)</translation>
    </message>
    <message>
        <source>半透明</source>
        <translation>Semi-transparent</translation>
    </message>
    <message>
        <source>不透明（100%）</source>
        <translation>Opaque (100%)</translation>
    </message>
    <message>
        <source>フィル ≤ キー：問題なし</source>
        <translation>Fill ≤ key: no problem</translation>
    </message>
    <message>
        <source>フィル＞キーの画素 %lld / %lld</source>
        <translation>Pixels with fill &gt; key %lld / %lld</translation>
    </message>
    <message>
        <source>プリマルチプライドとして不正な値です。キーヤーで縁が白く浮きます。素材のアルファ設定か、キー形式の選択を確認してください。</source>
        <translation>These values are invalid as premultiplied. The keyer will show white fringes. Check the media's alpha setting or the chosen key format.</translation>
    </message>
    <message>
        <source>キー 0 の範囲にフィルがある画素 %lld / %lld</source>
        <translation>Pixels with fill where key is 0 %lld / %lld</translation>
    </message>
    <message>
        <source>ストレートでは通常の状態です。キーで抜ける部分なので、スイッチャー側では見えません。</source>
        <translation>This is normal for straight alpha. These areas are keyed out, so they are not visible on the switcher.</translation>
    </message>
    <message>
        <source>不正画素を強調</source>
        <translation>Highlight invalid pixels</translation>
    </message>
    <message>
        <source>FILL（SDI フィル）</source>
        <translation>FILL (SDI fill)</translation>
    </message>
    <message>
        <source>KEY（SDI キー）</source>
        <translation>KEY (SDI key)</translation>
    </message>
    <message>
        <source>FILL 輝度波形（Y'）</source>
        <translation>FILL luma waveform (Y')</translation>
    </message>
    <message>
        <source>KEY 波形</source>
        <translation>KEY waveform</translation>
    </message>
    <message>
        <source>RGB パレード</source>
        <translation>RGB parade</translation>
    </message>
    <message>
        <source>ベクトルスコープ（Cb / Cr）</source>
        <translation>Vectorscope (Cb / Cr)</translation>
    </message>
    <message>
        <source>信号を取得しています…</source>
        <translation>Acquiring signal…</translation>
    </message>
    <message>
        <source>信号モニター（SDI フィル / キー）</source>
        <translation>Signal Monitor (SDI Fill / Key)</translation>
    </message>
    <message>
        <source>%@ 〜 %@</source>
        <translation>%@ – %@</translation>
    </message>
</context>
</TS>
