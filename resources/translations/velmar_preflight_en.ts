<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="ja_JP">
<context>
    <name>Velmar</name>
    <message>
        <source>素材の読み込み</source>
        <translation>Media loading</translation>
    </message>
    <message>
        <source>解像度の確認</source>
        <translation>Resolution</translation>
    </message>
    <message>
        <source>出力フォーマット</source>
        <translation>Output format</translation>
    </message>
    <message>
        <source>SDI 機器</source>
        <translation>SDI device</translation>
    </message>
    <message>
        <source>素材の置き場所</source>
        <translation>Media location</translation>
    </message>
    <message>
        <source>素材がありません</source>
        <translation>No media</translation>
    </message>
    <message>
        <source>確認中です。終わってからもう一度</source>
        <translation>Still being checked. Try again when it has finished</translation>
    </message>
    <message>
        <source>%lld 件すべて読めます</source>
        <translation>All %lld items can be read</translation>
    </message>
    <message>
        <source>%lld 件が読めません: %@</source>
        <translation>%lld items cannot be read: %@</translation>
    </message>
    <message>
        <source>すべてキャンバスと同じ大きさです</source>
        <translation>Everything has the canvas size</translation>
    </message>
    <message>
        <source>縮小 %lld 件 / 原寸中央 %lld 件</source>
        <translation>Scaled down %lld / centred at original size %lld</translation>
    </message>
    <message>
        <source>SDI 機器が見つかりません（サブモニターのみ）</source>
        <translation>No SDI device found (second monitor only)</translation>
    </message>
    <message>
        <source>%@ はこの組み合わせを出せません</source>
        <translation>%@ cannot output this combination</translation>
    </message>
    <message>
        <source>10bit・フィルのみ（キーは出ません）</source>
        <translation>10-bit fill only (no key)</translation>
    </message>
    <message>
        <source>すべて内蔵ストレージにあります</source>
        <translation>Everything is on internal storage</translation>
    </message>
    <message>
        <source>%lld か所が外部ストレージにあります</source>
        <translation>%lld folders are on external storage</translation>
    </message>
    <message>
        <source>SDI 実流し</source>
        <translation>SDI soak test</translation>
    </message>
    <message>
        <source>%lld 秒間、落ちフレームなし</source>
        <translation>No dropped frames in %lld seconds</translation>
    </message>
    <message>
        <source>%lld 秒間で %lld フレーム落ちました</source>
        <translation>%2$lld frames dropped in %1$lld seconds</translation>
    </message>
    <message>
        <source>SDI 出力が途中で止まりました</source>
        <translation>The SDI output stopped during the test</translation>
    </message>
    <message>
        <source>本番前チェック</source>
        <translation>Pre-show check</translation>
    </message>
    <message>
        <source>素材・フォーマット・機器をまとめて確認します。SDI の30秒実流しを始める前に ESC でメイン映像と DSK を OFF にし、受け側でも確認してください。</source>
        <translation>Checks media, format and devices at once. Before starting the 30-second SDI soak test, press ESC to turn the main picture and the DSK off, and check on the receiving side too.</translation>
    </message>
    <message>
        <source>確認する</source>
        <translation>Check</translation>
    </message>
    <message>
        <source>SDI を30秒流す</source>
        <translation>Run SDI for 30 seconds</translation>
    </message>
    <message>
        <source>実流し中 残り %lld 秒</source>
        <translation>Soak test running, %lld s left</translation>
    </message>
    <message>
        <source>ログを開く</source>
        <translation>Open Log</translation>
    </message>
    <message>
        <source>DOVRINE マニュアル</source>
        <translation>DOVRINE Manual</translation>
    </message>
</context>
</TS>
